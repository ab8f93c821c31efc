#include "WidgetLaserDot.h"

#include "LightDotView.h"

#include <QWidget>

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
}

WidgetLaserDot::~WidgetLaserDot() = default;

void WidgetLaserDot::setGeometry(const QRect& rect)
{
    const bool resized = rect.size() != win->size();
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

void WidgetLaserDot::updateShape()
{
    // Without a compositor a translucent window's corners would show as
    // black: the window takes the dot's shape.
    win->setMask(dot->shape().translated(dot->pos()));
}
