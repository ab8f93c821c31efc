#pragma once

#include "DesktopBackend.h"
#include "QtPasteboard.h"
#include "X11EventPoster.h"
#include "X11ScreenCapture.h"
#include "X11WindowControl.h"

// The services of an X11 session, all on the one X connection (X11Display):
// XTest input, root-window grabs, EWMH window requests, and Qt's clipboard.
// It also serves a session without a desktop (kind None): with no display
// the connection is absent, events are dropped with one "No event source"
// line, captures are empty and no windows are listed. The laser pointer's
// dot is a Qt window wherever the program has widgets.
class X11Backend : public DesktopBackend {
public:
    explicit X11Backend(BackendKind kind) : backendKind(kind) {}

    BackendKind kind() const override { return backendKind; }
    EventPoster& eventPoster() override { return poster; }
    ScreenCapture* screenCapture() override { return &capture; }
    WindowControl& windowControl() override { return windows; }
    Pasteboard& pasteboard() override { return clipboard; }
    // The Qt window of WidgetLaserDot, in a widget application.
    std::unique_ptr<LaserDotSurface> makeLaserDotSurface() override;

private:
    const BackendKind backendKind;
    X11EventPoster poster;
    X11ScreenCapture capture;
    X11WindowControl windows;
    QtPasteboard clipboard;
};
