#include "LightCtl.h"

#include "DesktopBackend.h"
#include "LaserDotSurface.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
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

QRect LightCtl::geometry() const
{
    return {QPoint(static_cast<int>(std::lround(topLeft.x())), static_cast<int>(std::lround(topLeft.y()))), size};
}

void LightCtl::load()
{
    if (loaded)
        return;
    loaded = true;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        topLeft = QPointF(screen->geometry().center()) - QPointF(size.width() / 2.0, size.height() / 2.0);
    dot = DesktopBackend::current().makeLaserDotSurface();
    if (!dot)
        return;
    dot->setAppearance(fill, radius);
    dot->setDragListener([this](const QRect& rect) { topLeft = rect.topLeft(); });
    raiseTimer = std::make_unique<QTimer>();
    raiseTimer->setInterval(kRaiseIntervalMs);
    QObject::connect(raiseTimer.get(), &QTimer::timeout, [this] { dot->raise(); });
    place();
}

void LightCtl::place()
{
    if (dot)
        dot->setGeometry(geometry());
}

void LightCtl::setAlpha(double alpha)
{
    load();
    windowAlpha = alpha;
    if (!dot)
        return;
    dot->setOpacity(windowAlpha);
    if (windowAlpha <= 0.0)
        raiseTimer->stop();
    else
        raiseTimer->start();
}

void LightCtl::show()
{
    setAlpha(1.0);
}

void LightCtl::hide()
{
    if (loaded)
        setAlpha(0.0);
}

void LightCtl::alphaSwitch()
{
    if (!loaded) {
        setAlpha(windowAlpha); // made and shown at its first alpha
        return;
    }
    setAlpha(windowAlpha == 0.0 ? 1.0 : 0.0);
}

void LightCtl::move(float dx, float dy)
{
    if (!loaded || windowAlpha != 1.0)
        return; // a hidden pointer stays where it was
    if (!std::isfinite(dx) || !std::isfinite(dy))
        return;
    topLeft = MovedTopLeft(topLeft, size.height(), dx, dy, DesktopSize());
    place();
}

// A change made with the show flag off leaves the pointer hidden, with the
// new colour or size kept for the next show; it is never shown in between.
void LightCtl::lightColor(int rgb, float alpha, bool showIt)
{
    load();
    const double opacity = std::isfinite(alpha) ? std::clamp(static_cast<double>(alpha), 0.0, 1.0) : 1.0;
    fill = QColor::fromRgbF(static_cast<float>(((rgb & 0xFF0000) >> 16) / 255.0),
                            static_cast<float>(((rgb & 0xFF00) >> 8) / 255.0), static_cast<float>((rgb & 0xFF) / 255.0),
                            static_cast<float>(opacity));
    if (dot)
        dot->setAppearance(fill, radius);
    setAlpha(showIt ? 1.0 : 0.0);
}

void LightCtl::lightSize(int width, int height, bool showIt)
{
    load();
    const int w = std::clamp(width, 1, kMaxSize);
    const int h = std::clamp(height, 1, kMaxSize);
    // The bottom-left corner stays: the top edge moves by the change of height.
    topLeft.ry() += size.height() - h;
    size = QSize(w, h);
    radius = w / 2.0;
    if (dot)
        dot->setAppearance(fill, radius);
    place();
    setAlpha(showIt ? 1.0 : 0.0);
}
