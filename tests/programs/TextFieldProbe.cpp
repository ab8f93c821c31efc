// A one-line text field for the input tests, on any Qt platform (X11 or a
// Wayland compositor). It takes the keyboard focus and prints, one line per
// fact, on standard output:
//   READY <window id>               once it has the focus
//   TEXT <hex of the UTF-8 text>    after every change of the text
//   PRESS <button> <x> <y>          a mouse button went down (window coordinates)
//   RELEASE <button> <x> <y>        and up
//   MOVE <x> <y>                    the pointer moved over the window
//   WHEEL <dx> <dy>                 a wheel turned (angle delta in eighths of a degree)
//   KEY <Qt key, hex> <modifiers, hex>   a key went down
//   KEYUP <Qt key, hex>             and up
//   CLOSE                           the window was asked to close (its close button, the desktop)
//   CLIPBOARD <hex of the UTF-8 text>    the clipboard's text, after "PASTEBOARD?" or a change
// Standard input takes commands, one per line:
//   COPY <hex of UTF-8 text>        puts the text on the clipboard
//   PASTEBOARD?                     prints the clipboard line
// Options: --fullscreen shows the window full screen; --app-id NAME names the
// program to the desktop (the Wayland app id).
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QStyleHints>
#include <QTimer>
#include <QWheelEvent>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

void Say(const char* format, auto... values)
{
    std::printf(format, values...);
    std::printf("\n");
    std::fflush(stdout);
}

void SayClipboard()
{
    Say("CLIPBOARD %s", QGuiApplication::clipboard()->text().toUtf8().toHex().constData());
}

// Reports the input events that reach the probe's window.
class InputReporter : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWindowType())
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            Say("%s %d %d %d", event->type() == QEvent::MouseButtonPress ? "PRESS" : "RELEASE",
                static_cast<int>(mouse->button()), qRound(mouse->position().x()), qRound(mouse->position().y()));
            break;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            Say("MOVE %d %d", qRound(mouse->position().x()), qRound(mouse->position().y()));
            break;
        }
        case QEvent::Wheel: {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            Say("WHEEL %d %d", wheel->angleDelta().x(), wheel->angleDelta().y());
            break;
        }
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            Say("KEY %x %x", static_cast<unsigned>(key->key()), static_cast<unsigned>(key->modifiers().toInt()));
            break;
        }
        case QEvent::KeyRelease:
            Say("KEYUP %x", static_cast<unsigned>(static_cast<QKeyEvent*>(event)->key()));
            break;
        case QEvent::Close:
            Say("CLOSE");
            break;
        default:
            break;
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // A steady text cursor: screenshots of the field taken at different
    // moments show the same pixels.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
    bool fullScreen = false;
    for (int i = 1; i < argc; ++i) {
        fullScreen = fullScreen || std::strcmp(argv[i], "--fullscreen") == 0;
        if (std::strcmp(argv[i], "--app-id") == 0 && i + 1 < argc)
            QGuiApplication::setDesktopFileName(QString::fromUtf8(argv[++i]));
    }

    QLineEdit field;
    field.setWindowTitle(QStringLiteral("Corvane text field probe"));
    field.setMaxLength(1 << 20);
    field.setGeometry(0, 0, 600, 60);
    field.setMouseTracking(true);
    // A right click is reported, and opens no menu that would take the keys.
    field.setContextMenuPolicy(Qt::NoContextMenu);
    InputReporter reporter;
    app.installEventFilter(&reporter);

    QObject::connect(&field, &QLineEdit::textChanged,
                     [](const QString& text) { Say("TEXT %s", text.toUtf8().toHex().constData()); });
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [] { SayClipboard(); });
    bool ready = false;
    QObject::connect(&app, &QApplication::focusChanged, [&](QWidget*, QWidget* now) {
        if (now == &field && !ready) {
            ready = true;
            Say("READY %llu", static_cast<unsigned long long>(field.winId()));
        }
    });

    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&commands, &QSocketNotifier::activated, [&] {
        char bytes[4096];
        const ssize_t got = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (got <= 0) {
            commands.setEnabled(false);
            return;
        }
        pending.append(bytes, got);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QByteArray command = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (command.startsWith("COPY "))
                QGuiApplication::clipboard()->setText(QString::fromUtf8(QByteArray::fromHex(command.mid(5))));
            else if (command == "PASTEBOARD?")
                SayClipboard();
        }
    });

    if (fullScreen)
        field.showFullScreen();
    else
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
