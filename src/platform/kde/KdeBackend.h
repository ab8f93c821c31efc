#pragma once

#include "DataControlClipboard.h"
#include "DesktopBackend.h"
#include "KdeEventPoster.h"
#include "KwinScreenShot.h"
#include "KwinScript.h"
#include "PlasmaWindowControl.h"
#include "WaylandConnection.h"
#include "WaylandKeymap.h"
#include "WaylandOutputs.h"

// The services of a KDE Plasma (KWin) Wayland session, on one Wayland
// connection kept for the program's life: fake input, the seat's keymap
// and outputs, the data-control clipboard, window management; and on the
// session bus KWin's screenshot interface and its scripting (which tells
// where the pointer is). KWin offers fake input, window
// management and screenshots only to a program that its desktop entry
// names (KdePermission); when they are refused, one line says which entry
// is needed. docs/backends.md lists what each service falls back to.
class KdeBackend : public DesktopBackend {
public:
    KdeBackend();
    ~KdeBackend() override;

    BackendKind kind() const override { return BackendKind::Kde; }
    EventPoster& eventPoster() override { return poster; }
    ScreenCapture* screenCapture() override { return &capture; }
    WindowControl& windowControl() override { return windows; }
    Pasteboard& pasteboard() override { return clipboard; }
    // A layer-shell overlay; null where KWin offers no layer shell.
    std::unique_ptr<LaserDotSurface> makeLaserDotSurface() override;

    // Whether the session is KWin's: its registry offers Plasma's shell
    // protocol, or org.kde.KWin is on the session bus.
    static bool Detected();

private:
    WaylandConnection connection;
    WaylandKeymap keymap;
    WaylandOutputs outputs;
    DataControlClipboard clipboard;
    PlasmaWindowControl windows;
    KwinScript script;
    KdeEventPoster poster;
    KwinScreenShot capture;
};
