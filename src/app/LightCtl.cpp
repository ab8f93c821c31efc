#include "LightCtl.h"

#include "LightDotView.h"
#include "ui_LightCtl.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {

// The size of the whole desktop (every monitor), where the pointer may go.
QSizeF DesktopSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? QSizeF(screen->virtualSize()) : QSizeF();
}

// The window's new top-left corner (Qt coordinates: origin at the top-left
// of the desktop, y downwards) after a move by (dx, dy), bounded as the
// class comment describes. The bounds are applied to the bottom-left corner
// in y-up coordinates: with H the desktop's height and h the window's, a
// window whose top edge is at y (y down) has its bottom-left corner at
// Y = H - (y + h) (y up), and back y = H - Y - h.
QPointF MovedTopLeft(QPointF corner, double windowHeight, double dx, double dy, QSizeF desktop)
{
    const double width = desktop.width();
    const double height = desktop.height();
    double x = corner.x() + dx;
    double y = height - (corner.y() + windowHeight) - dy; // y up: the phone's dy goes down
    x = x > 0 ? x : 0;
    y = y > 0 ? y : 0;
    if (x >= width)
        x = width - 1;
    if (y >= height)
        y = height - 1;
    return {x, height - y - windowHeight};
}

} // namespace

LightCtl::LightCtl() = default;
LightCtl::~LightCtl() = default;

QWidget* LightCtl::window() const
{
    return win.get();
}

LightDotView* LightCtl::contentView() const
{
    return ui ? ui->contentV : nullptr;
}

QWidget& LightCtl::load()
{
    if (win)
        return *win;
    // Bypassing the window manager keeps the dot above every managed
    // window, full-screen ones included, and out of task bars and window
    // switchers; it never takes the focus from the slide show.
    win = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                                 Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus |
                                                 Qt::NoDropShadowWindowHint);
    win->setAttribute(Qt::WA_TranslucentBackground);
    win->setAttribute(Qt::WA_ShowWithoutActivating);
    ui = std::make_unique<Ui::LightCtl>();
    ui->setupUi(win.get());
    ui->contentV->setColor(Qt::red);
    ui->contentV->setCornerRadius(ui->contentV->width() / 2.0);
    ui->contentV->onDragged = [this] { topLeft = win->pos(); };
    updateShape();

    raiseTimer = new QTimer(win.get());
    raiseTimer->setInterval(kRaiseIntervalMs);
    QObject::connect(raiseTimer, &QTimer::timeout, win.get(), [this] { win->raise(); });

    if (QScreen* screen = QGuiApplication::primaryScreen())
        topLeft = QPointF(screen->geometry().center()) - QPointF(win->width() / 2.0, win->height() / 2.0);
    place();
    return *win;
}

void LightCtl::place()
{
    win->move(QPoint(static_cast<int>(std::lround(topLeft.x())), static_cast<int>(std::lround(topLeft.y()))));
}

void LightCtl::updateShape()
{
    // Without a compositor a translucent window's corners would show as
    // black: the window takes the dot's shape.
    win->setMask(ui->contentV->shape().translated(ui->contentV->pos()));
}

void LightCtl::setAlpha(double alpha)
{
    QWidget& window = load();
    windowAlpha = alpha;
    if (windowAlpha <= 0.0) {
        raiseTimer->stop();
        window.hide();
        return;
    }
    window.setWindowOpacity(windowAlpha);
    window.show();
    window.raise();
    raiseTimer->start();
}

void LightCtl::show()
{
    setAlpha(1.0);
}

void LightCtl::hide()
{
    if (win)
        setAlpha(0.0);
}

void LightCtl::alphaSwitch()
{
    if (!win) {
        setAlpha(windowAlpha); // made and shown as the interface file has it
        return;
    }
    setAlpha(windowAlpha == 0.0 ? 1.0 : 0.0);
}

void LightCtl::move(float dx, float dy)
{
    if (!win || windowAlpha != 1.0)
        return; // a hidden pointer stays where it was
    if (!std::isfinite(dx) || !std::isfinite(dy))
        return;
    topLeft = MovedTopLeft(topLeft, win->height(), dx, dy, DesktopSize());
    place();
}

// A change made with the show flag off leaves the pointer hidden, with the
// new colour or size kept for the next show; it is never shown in between.
void LightCtl::lightColor(int rgb, float alpha, bool showIt)
{
    load();
    const double opacity = std::isfinite(alpha) ? std::clamp(static_cast<double>(alpha), 0.0, 1.0) : 1.0;
    ui->contentV->setColor(QColor::fromRgbF(static_cast<float>(((rgb & 0xFF0000) >> 16) / 255.0),
                                            static_cast<float>(((rgb & 0xFF00) >> 8) / 255.0),
                                            static_cast<float>((rgb & 0xFF) / 255.0), static_cast<float>(opacity)));
    setAlpha(showIt ? 1.0 : 0.0);
}

void LightCtl::lightSize(int width, int height, bool showIt)
{
    load();
    const int w = std::clamp(width, 1, kMaxSize);
    const int h = std::clamp(height, 1, kMaxSize);
    // The bottom-left corner stays: the top edge moves by the change of height.
    topLeft.ry() += win->height() - h;
    win->resize(w, h);
    place();
    ui->contentV->setGeometry(0, 0, w, h);
    ui->contentV->setCornerRadius(ui->contentV->width() / 2.0);
    updateShape();
    setAlpha(showIt ? 1.0 : 0.0);
}
