#include "InputCtl.h"

#include "ui_InputCtl.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

InputCtl::InputCtl() = default;
InputCtl::~InputCtl() = default;

QWidget* InputCtl::window() const
{
    return win.get();
}

QWidget& InputCtl::load()
{
    if (win)
        return *win;
    // Floats above ordinary windows, as a utility panel does.
    win = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
    ui = std::make_unique<Ui::InputCtl>();
    ui->setupUi(win.get());
    QObject::connect(ui->sendBtn, &QPushButton::clicked, win.get(), [this] { sendMsg(); });
    QObject::connect(ui->txtTf, &QLineEdit::returnPressed, win.get(), [this] { sendMsg(); });
    if (QScreen* screen = QGuiApplication::primaryScreen())
        win->move(screen->availableGeometry().center() - win->rect().center());
    return *win;
}

void InputCtl::show()
{
    QWidget& window = load();
    windowAlpha = 1.0;
    window.setWindowOpacity(windowAlpha);
    window.show();
    window.raise();
    window.activateWindow();
    ui->txtTf->setFocus();
}

void InputCtl::hide()
{
    if (!win)
        return;
    windowAlpha = 0.0;
    win->hide();
}

void InputCtl::resetTxt(const std::string& text)
{
    show();
    ui->txtTf->setText(QString::fromStdString(text));
}

std::string InputCtl::getTxt()
{
    if (!win || !win->isVisible() || windowAlpha <= 0.01)
        show();
    return ui->txtTf->text().toStdString();
}

bool InputCtl::getSendFlag()
{
    return sendFlag;
}

void InputCtl::resetSendFlag()
{
    sendFlag = false;
    resetTxt(std::string());
}

void InputCtl::sendMsg()
{
    sendFlag = true;
}
