#pragma once

#include "DesktopBackend.h"
#include "GnomeClipboard.h"
#include "GnomeEventPoster.h"
#include "GnomeRemoteDesktop.h"
#include "GnomeScreenCapture.h"
#include "GnomeWindowControl.h"
#include "WaylandConnection.h"
#include "WaylandKeymap.h"

// The services of a GNOME (mutter) Wayland session, all on one
// remote-desktop session kept for the program's life (GnomeRemoteDesktop):
// input, the monitor's stream for screenshots, the session's clipboard; the
// keyboard layout from the Wayland seat (WaylandKeymap); the laser pointer's dot as an
// XWayland window. docs/backends.md lists what each service falls back to.
class GnomeBackend : public DesktopBackend {
public:
    GnomeBackend();
    ~GnomeBackend() override;

    BackendKind kind() const override { return BackendKind::Gnome; }
    EventPoster& eventPoster() override { return poster; }
    ScreenCapture* screenCapture() override { return &capture; }
    WindowControl& windowControl() override { return windows; }
    Pasteboard& pasteboard() override { return clipboard; }
    // The XWayland dot where XWayland runs, else none.
    std::unique_ptr<LaserDotSurface> makeLaserDotSurface() override;

private:
    GnomeRemoteDesktop session;
    WaylandConnection wayland;
    WaylandKeymap keymap{wayland};
    GnomeClipboard clipboard;
    GnomeEventPoster poster;
    GnomeScreenCapture capture;
    GnomeWindowControl windows;
};
