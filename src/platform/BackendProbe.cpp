#include "BackendProbe.h"

#include "GnomeProbe.h"
#include "KdeBackend.h"
#include "WlrootsBackend.h"
#include "X11Display.h"

#include <cstdlib>

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

BackendChoice BackendProbe::Detect(const std::string& forced)
{
    const std::string wanted = forced.empty() ? Environment("CORVANE_BACKEND") : forced;
    if (!wanted.empty() && wanted != "auto") {
        if (const std::optional<BackendKind> kind = Parse(wanted))
            return {*kind, "forced"};
        return {BackendKind::None, "unknown backend \"" + wanted + "\""};
    }

    const std::string wayland = Environment("WAYLAND_DISPLAY");
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

std::optional<BackendKind> BackendProbe::Parse(const std::string& name)
{
    for (BackendKind kind : {BackendKind::X11, BackendKind::Gnome, BackendKind::Kde, BackendKind::Wlroots}) {
        if (name == DesktopBackend::name(kind))
            return kind;
    }
    return std::nullopt;
}
