#pragma once

#include "DesktopBackend.h"
#include "GnomeClipboard.h"
#include "GnomeEventPoster.h"
#include "GnomeRemoteDesktop.h"
#include "GnomeScreenCapture.h"
#include "GnomeWindowControl.h"
#include "SeatKeymap.h"

// The services of a GNOME (mutter) Wayland session, all on one
// remote-desktop session kept for the program's life (GnomeRemoteDesktop):
// input, the monitor's stream for screenshots, the session's clipboard; the
// keyboard layout from the Wayland seat; the laser pointer's dot as an
// XWayland window. docs/backends.md lists what each service falls back to.
class GnomeBackend : public DesktopBackend {
public:
    GnomeBackend();

    BackendKind kind() const override { return BackendKind::Gnome; }
    EventPoster& eventPoster() override { return poster; }
    ScreenCapture& screenCapture() override { return capture; }
    WindowControl& windowControl() override { return windows; }
    Pasteboard& pasteboard() override { return clipboard; }
    // The XWayland dot where XWayland runs, else none.
    std::unique_ptr<LaserDotSurface> makeLaserDotSurface() override;

private:
    GnomeRemoteDesktop session;
    SeatKeymap keymap;
    GnomeClipboard clipboard;
    GnomeEventPoster poster;
    GnomeScreenCapture capture;
    GnomeWindowControl windows;
};
