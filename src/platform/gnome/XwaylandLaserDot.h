#pragma once

#include "LaserDotSurface.h"

#include <string>

typedef struct _XDisplay Display;

// The laser pointer's dot on a GNOME Wayland desktop: an override-redirect
// window of XWayland, drawn with Xlib. mutter stacks override-redirect X11
// windows above every Wayland window, full-screen ones included, and the
// window's input shape is empty, so clicks go through to what is under the
// dot. Its bounding shape is the dot; the fill's alpha becomes the window's
// opacity. Needs XWayland (the DISPLAY that mutter sets); without it the
// surface shows nothing.
class XwaylandLaserDot : public LaserDotSurface {
public:
    explicit XwaylandLaserDot(const std::string& displayName);
    ~XwaylandLaserDot() override;
    XwaylandLaserDot(const XwaylandLaserDot&) = delete;
    XwaylandLaserDot& operator=(const XwaylandLaserDot&) = delete;

    bool usable() const { return display != nullptr; }
    unsigned long windowId() const { return window; }

    void setGeometry(const QRect& rect) override;
    QRect geometry() const override { return frame; }
    void setAppearance(const QColor& fill, double cornerRadius) override;
    void setOpacity(double opacity) override;
    bool visible() const override { return shown; }
    void raise() override;
    void setDragListener(std::function<void(const QRect&)>) override {}

private:
    void redraw();

    Display* display = nullptr;
    unsigned long window = 0;
    QRect frame{0, 0, 1, 1};
    QColor color = Qt::red;
    double radius = 0;
    double opacity = 1.0;
    bool shown = false;
};
