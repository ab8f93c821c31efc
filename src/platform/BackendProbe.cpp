#include "BackendProbe.h"

#include "WaylandConnection.h"
#include "X11Display.h"

#include <algorithm>
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
    const bool x11 = X11Display::instance().available();
    if (!wayland.empty()) {
        const std::vector<std::string> offered = WaylandConnection::OfferedInterfaces();
        const auto offers = [&](const char* name) {
            return std::find(offered.begin(), offered.end(), name) != offered.end();
        };
        if (offers("zwlr_virtual_pointer_manager_v1") && offers("zwp_virtual_keyboard_manager_v1"))
            return {BackendKind::Wlroots,
                    "Wayland session " + wayland + " offers wlroots' virtual pointer and keyboard"};
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
