#pragma once

#include "DataControlClipboard.h"
#include "DesktopBackend.h"
#include "WaylandConnection.h"
#include "WaylandKeymap.h"
#include "WaylandOutputs.h"
#include "WlrootsEventPoster.h"
#include "WlrootsScreenCapture.h"
#include "WlrootsWindowControl.h"

// The services of a wlroots compositor (sway, Hyprland, river, labwc,
// Wayfire and their kin), all on one Wayland connection kept for the
// program's life: a virtual pointer and keyboard on the seat's layout,
// screencopy, the foreign-toplevel window list, the data-control clipboard
// and a layer-shell overlay for the laser pointer's dot.
class WlrootsBackend : public DesktopBackend {
public:
    WlrootsBackend();
    ~WlrootsBackend() override;

    // Whether the compositor took the connection and the input devices.
    bool ready();

    BackendKind kind() const override { return BackendKind::Wlroots; }
    EventPoster& eventPoster() override { return poster; }
    ScreenCapture* screenCapture() override { return &capture; }
    WindowControl& windowControl() override { return windows; }
    Pasteboard& pasteboard() override { return clipboard; }
    // A layer-shell overlay; null where the compositor offers no layer shell.
    std::unique_ptr<LaserDotSurface> makeLaserDotSurface() override;

    // Whether the session's registry offers wlroots' virtual pointer and
    // keyboard.
    static bool Detected();

private:
    WaylandConnection connection;
    WaylandKeymap keymap{connection};
    WaylandOutputs outputs{connection};
    DataControlClipboard clipboard{connection};
    WlrootsWindowControl windows{connection, keymap.seat()};
    WlrootsEventPoster poster{connection, keymap, outputs, windows};
    WlrootsScreenCapture capture{connection, outputs};
};
