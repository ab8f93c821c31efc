#pragma once

#include <memory>

class EventPoster;
class LaserDotSurface;
class Pasteboard;
class ScreenCapture;
class WindowControl;

// The kinds of desktop session this program can drive.
enum class BackendKind {
    None,    // no desktop: events are dropped, nothing is captured
    X11,     // an X server (XTest, root-window grabs, EWMH)
    Gnome,   // GNOME's mutter on Wayland (RemoteDesktop and ScreenCast over D-Bus)
    Kde,     // KDE Plasma's KWin on Wayland
    Wlroots, // sway and other wlroots-protocol compositors
};

// The desktop services of one kind of session, made together because they
// share its connection (an X display, a D-Bus session, a Wayland client).
// The entities never see which backend runs: each service's instance()
// hands out the current backend's implementation unless a test installed
// its own. Services are used from any thread unless their interface says
// otherwise.
class DesktopBackend {
public:
    virtual ~DesktopBackend() = default;

    virtual BackendKind kind() const = 0;
    virtual EventPoster& eventPoster() = 0;
    // Null where there is no screen to capture.
    virtual ScreenCapture* screenCapture() = 0;
    virtual WindowControl& windowControl() = 0;
    // The clipboard; main thread only, like the Pasteboard interface.
    virtual Pasteboard& pasteboard() = 0;
    // A new, hidden surface for the laser pointer's dot; null where this
    // session can show none. Main thread only.
    virtual std::unique_ptr<LaserDotSurface> makeLaserDotSurface() = 0;

    // The backend in use: the one chosen at start-up, else the one that
    // BackendProbe finds on first use.
    static DesktopBackend& current();
    // Makes the backend current for the rest of the process; called once at
    // start-up, before any service is used.
    static void setCurrent(std::unique_ptr<DesktopBackend> backend);
    // Ends every backend made so far, joining their threads, and leaves one
    // without a desktop current. For the end of the program, once nothing
    // else uses a backend: their threads then stop while Qt is still whole,
    // not during the destruction of static objects.
    static void endAll();
    // A new backend of the kind, from the desktop module; without a desktop
    // and the module not loaded, the backend of NoDesktopBackend. Kinds that
    // cannot be driven get a backend without a desktop.
    static std::unique_ptr<DesktopBackend> make(BackendKind kind);

    // "none", "x11", "gnome", "kde", "wlroots": the names of the command
    // line and the log.
    static const char* name(BackendKind kind);
};
