#pragma once

#include <QColor>
#include <QRect>
#include <functional>

// Where the laser pointer's dot is drawn: one borderless shape above every
// window, full-screen slide shows included, that never takes the keyboard
// focus. LightCtl decides where the dot is, its colour and its size; a
// surface only shows it. Each desktop backend makes its own (on X11 a window
// outside the window manager's stacking; on a Wayland compositor whatever
// that compositor lets float above full-screen windows). Rectangles are in
// desktop pixels: origin at the top-left corner of the desktop, y growing
// downwards. Main thread only.
class LaserDotSurface {
public:
    virtual ~LaserDotSurface() = default;

    // The dot's rectangle on the desktop.
    virtual void setGeometry(const QRect& rect) = 0;
    virtual QRect geometry() const = 0;
    // The fill, its alpha included, and the corner radius asked for; the
    // drawn radius never exceeds half the shorter side (60 × 20 with radius
    // 30 is a capsule with round ends of radius 10).
    virtual void setAppearance(const QColor& fill, double cornerRadius) = 0;
    // Shows the dot at this opacity, or takes it off the screen at 0.
    virtual void setOpacity(double opacity) = 0;
    virtual bool visible() const = 0;
    // Puts a shown dot back above windows that were stacked over it since.
    virtual void raise() = 0;
    // Called with the dot's new rectangle after the user dragged it with the
    // mouse, on desktops where the dot takes clicks (elsewhere never).
    virtual void setDragListener(std::function<void(const QRect&)> listener) = 0;
};
