#include "WidgetLaserDot.h"

#include "LightDotView.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>
#include <xcb/xcb.h>
// Last: Xlib's macros (None, Status...) clash with Qt's names.
#include <X11/Xlib.h>

WidgetLaserDot::WidgetLaserDot()
    // Bypassing the window manager keeps the dot above every managed window,
    // full-screen ones included, and out of task bars and window switchers;
    // it never takes the focus from the slide show.
    : win(std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                                 Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus |
                                                 Qt::NoDropShadowWindowHint))
{
    win->setWindowTitle(QStringLiteral("Corvane 激光笔"));
    win->setAttribute(Qt::WA_TranslucentBackground);
    win->setAttribute(Qt::WA_ShowWithoutActivating);
    dot = new LightDotView(win.get());
    dot->setObjectName(QStringLiteral("contentV"));
    QCoreApplication::instance()->installNativeEventFilter(this);
}

WidgetLaserDot::~WidgetLaserDot()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

void WidgetLaserDot::setGeometry(const QRect& rect)
{
    const bool resized = rect.size() != win->size();
    // (An unchanged place asks nothing of the server, which would send no notice.)
    if (!resized && win->isVisible() && (rect == win->geometry() || moveNatively(rect)))
        return;
    win->setGeometry(rect);
    // A move keeps the shape: only a new size needs a new one.
    if (resized) {
        dot->setGeometry(0, 0, rect.width(), rect.height());
        updateShape();
    }
}

QRect WidgetLaserDot::geometry() const
{
    return win->geometry();
}

void WidgetLaserDot::setAppearance(const QColor& fill, double cornerRadius)
{
    dot->setColor(fill);
    dot->setCornerRadius(cornerRadius);
    updateShape();
}

void WidgetLaserDot::setOpacity(double opacity)
{
    if (opacity <= 0.0) {
        win->hide();
        return;
    }
    win->setWindowOpacity(opacity);
    win->show();
    win->raise();
}

bool WidgetLaserDot::visible() const
{
    return win->isVisible();
}

void WidgetLaserDot::raise()
{
    win->raise();
}

void WidgetLaserDot::setDragListener(std::function<void(const QRect&)> listener)
{
    dot->onDragged = [this, listener = std::move(listener)] {
        if (listener)
            listener(win->geometry());
    };
}

// A move of the shown dot goes to the X server as one configure request,
// flushed at once: Qt's own move would also rewrite the window's size hints
// (one more request, and a property notice back for each move) and wait for
// the event loop to flush. Qt is told the new geometry at once, as its own
// platform code tells it after a move. Only on X11, at one device pixel per
// point (the widget's coordinates are the window's) and within the window's
// screen.
bool WidgetLaserDot::moveNatively(const QRect& rect)
{
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    QWindow* window = win->windowHandle();
    if (display == nullptr || window == nullptr || window->screen() == nullptr ||
        !window->screen()->geometry().contains(rect) || win->devicePixelRatioF() != 1.0)
        return false;
    XMoveWindow(display, static_cast<Window>(win->winId()), rect.x(), rect.y());
    XFlush(display);
    ++movesUnconfirmed;
    QWindowSystemInterface::handleGeometryChange<QWindowSystemInterface::SynchronousDelivery>(window, rect);
    return true;
}

// Qt would answer the server's notice of each native move with four round
// trips (it asks for the window's place again, and for its frame, which this
// window never has: it bypasses the window manager), though it knows the
// place already. Such notices stop here; any other (a resize, a move by
// another client, one sent by a client) goes to Qt as it is. Qt reads X
// events on the main thread, where the moves are made too.
bool WidgetLaserDot::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (movesUnconfirmed == 0 || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if (event->response_type != XCB_CONFIGURE_NOTIFY) // the sent-event bit is clear
        return false;
    const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
    if (configure->window != static_cast<xcb_window_t>(win->winId()))
        return false;
    --movesUnconfirmed;
    const QRect placed(configure->x, configure->y, configure->width, configure->height);
    // The last notice must show the place Qt was told; earlier ones show
    // places already passed.
    return movesUnconfirmed > 0 ? placed.size() == win->size() : placed == win->geometry();
}

void WidgetLaserDot::updateShape()
{
    // Without a compositor a translucent window's corners would show as
    // black: the window takes the dot's shape.
    win->setMask(dot->shape().translated(dot->pos()));
}
