#include "XwaylandLaserDot.h"

#include <QPainterPath>
#include <QRegion>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>
#include <algorithm>
#include <vector>

XwaylandLaserDot::XwaylandLaserDot(const std::string& displayName)
{
    display = XOpenDisplay(displayName.c_str());
    if (display == nullptr)
        return;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = 0;
    window = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, CopyFromParent, InputOutput,
                           CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XStoreName(display, window, "Corvane 激光笔");
    // No input region: every click goes to the window below.
    XShapeCombineRectangles(display, window, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    XFlush(display);
}

XwaylandLaserDot::~XwaylandLaserDot()
{
    if (display != nullptr)
        XCloseDisplay(display);
}

void XwaylandLaserDot::setGeometry(const QRect& rect)
{
    frame = rect;
    redraw();
}

void XwaylandLaserDot::setAppearance(const QColor& fill, double cornerRadius)
{
    color = fill;
    radius = cornerRadius;
    redraw();
}

void XwaylandLaserDot::setOpacity(double newOpacity)
{
    opacity = newOpacity;
    shown = opacity > 0.0;
    if (display == nullptr)
        return;
    if (shown) {
        redraw();
        XMapRaised(display, window);
    } else {
        XUnmapWindow(display, window);
    }
    XFlush(display);
}

void XwaylandLaserDot::raise()
{
    if (display == nullptr || !shown)
        return;
    XRaiseWindow(display, window);
    XFlush(display);
}

void XwaylandLaserDot::redraw()
{
    if (display == nullptr)
        return;
    XMoveResizeWindow(display, window, frame.x(), frame.y(), static_cast<unsigned>(std::max(1, frame.width())),
                      static_cast<unsigned>(std::max(1, frame.height())));
    // The window is cut to the dot: a rounded rectangle whose radius is at
    // most half the shorter side.
    const double drawn = std::clamp(radius, 0.0, std::min(frame.width(), frame.height()) / 2.0);
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, frame.width(), frame.height()), drawn, drawn);
    const QRegion shape(path.toFillPolygon().toPolygon());
    std::vector<XRectangle> rectangles;
    for (const QRect& r : shape)
        rectangles.push_back({static_cast<short>(r.x()), static_cast<short>(r.y()),
                              static_cast<unsigned short>(r.width()), static_cast<unsigned short>(r.height())});
    XShapeCombineRectangles(display, window, ShapeBounding, 0, 0, rectangles.data(),
                            static_cast<int>(rectangles.size()), ShapeSet, YXBanded);
    // A 24-bit TrueColor pixel; the colour's alpha and the dot's opacity
    // become the window's opacity, which mutter honours.
    const unsigned long pixel = (static_cast<unsigned long>(color.red()) << 16) |
                                (static_cast<unsigned long>(color.green()) << 8) |
                                static_cast<unsigned long>(color.blue());
    XSetWindowBackground(display, window, pixel);
    XClearWindow(display, window);
    const double alpha = std::clamp(color.alphaF() * opacity, 0.0, 1.0);
    const unsigned long cardinal = static_cast<unsigned long>(alpha * 0xffffffffu);
    const Atom property = XInternAtom(display, "_NET_WM_WINDOW_OPACITY", False);
    if (alpha >= 1.0)
        XDeleteProperty(display, window, property);
    else
        XChangeProperty(display, window, property, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&cardinal), 1);
    XFlush(display);
}
