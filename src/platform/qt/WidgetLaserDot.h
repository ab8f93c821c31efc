#pragma once

#include "LaserDotSurface.h"

#include <QAbstractNativeEventFilter>
#include <memory>

class LightDotView;
class QWidget;

// The dot as a Qt top-level window: frameless and translucent, outside the
// window manager's stacking on X11 (so above full-screen slide shows), never
// taking the keyboard focus, cut to the dot's shape so that no dark corners
// show without a compositor. The dot itself is a LightDotView filling the
// window; dragging it moves the window. Made hidden; needs a QApplication.
class WidgetLaserDot : public LaserDotSurface, private QAbstractNativeEventFilter {
public:
    WidgetLaserDot();
    ~WidgetLaserDot() override;

    void setGeometry(const QRect& rect) override;
    QRect geometry() const override;
    void setAppearance(const QColor& fill, double cornerRadius) override;
    void setOpacity(double opacity) override;
    bool visible() const override;
    void raise() override;
    void setDragListener(std::function<void(const QRect&)> listener) override;

    QWidget* window() const { return win.get(); }
    LightDotView* dotView() const { return dot; }

private:
    void updateShape();
    bool moveNatively(const QRect& rect);
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    std::unique_ptr<QWidget> win;
    LightDotView* dot = nullptr; // owned by the window
    int movesUnconfirmed = 0; // native moves whose notice from the server has not come
};
