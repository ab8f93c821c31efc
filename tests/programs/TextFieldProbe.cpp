// A one-line text field for the input tests: it takes the keyboard focus and
// prints "READY <window id>" once it has it, then "TEXT <hex of the UTF-8
// text>" after every change, so a test can read back exactly what arrived.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLineEdit field;
    field.setWindowTitle(QStringLiteral("Corvane text field probe"));
    field.setMaxLength(1 << 20);
    field.setGeometry(0, 0, 600, 60);

    QObject::connect(&field, &QLineEdit::textChanged, [](const QString& text) {
        std::printf("TEXT %s\n", text.toUtf8().toHex().constData());
        std::fflush(stdout);
    });
    bool ready = false;
    QObject::connect(&app, &QApplication::focusChanged, [&](QWidget*, QWidget* now) {
        if (now == &field && !ready) {
            ready = true;
            std::printf("READY %llu\n", static_cast<unsigned long long>(field.winId()));
            std::fflush(stdout);
        }
    });
    field.show();
    // Without a window manager nobody hands out the focus: ask for it until
    // the field has it.
    QTimer focusRequest;
    QObject::connect(&focusRequest, &QTimer::timeout, [&] {
        if (ready) {
            focusRequest.stop();
            return;
        }
        field.activateWindow();
        field.setFocus();
    });
    focusRequest.start(50);
    return app.exec();
}
