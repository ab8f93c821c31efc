#include "DesktopProbe.h"

#include "GnomeProbe.h"
#include "KdeBackend.h"
#include "WlrootsBackend.h"
#include "X11Display.h"

#include <cstdlib>

BackendChoice DesktopProbe::Detect()
{
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const std::string wayland = display ? display : "";
    if (!wayland.empty() && GnomeProbe::Offered())
        return {BackendKind::Gnome, "Wayland session " + wayland + ", org.gnome.Mutter.RemoteDesktop on the session bus"};
    if (!wayland.empty() && KdeBackend::Detected())
        return {BackendKind::Kde, "Wayland session " + wayland + " of KWin"};
    if (!wayland.empty() && WlrootsBackend::Detected())
        return {BackendKind::Wlroots, "Wayland session " + wayland + " offers wlroots' virtual pointer and keyboard"};
    const bool x11 = X11Display::instance().available();
    if (!wayland.empty()) {
        if (x11)
            return {BackendKind::X11, "Wayland session " + wayland + " without a supported compositor; XWayland " +
                                          X11Display::instance().name() + " reaches X11 windows only"};
        return {BackendKind::None, "Wayland session " + wayland + " without a supported compositor"};
    }
    if (x11)
        return {BackendKind::X11, "X server " + X11Display::instance().name()};
    return {BackendKind::None, "no desktop session"};
}

