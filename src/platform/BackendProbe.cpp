#include "BackendProbe.h"

#include "DesktopModule.h"

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

    // Only a session that names a display may have one: the desktop
    // module, and the libraries that reach a display, load only then.
    if (Environment("WAYLAND_DISPLAY").empty() && Environment("DISPLAY").empty())
        return {BackendKind::None, "no desktop session"};
    return DesktopModule::instance().detectBackend();
}

std::optional<BackendKind> BackendProbe::Parse(const std::string& name)
{
    for (BackendKind kind : {BackendKind::X11, BackendKind::Gnome, BackendKind::Kde, BackendKind::Wlroots}) {
        if (name == DesktopBackend::name(kind))
            return kind;
    }
    return std::nullopt;
}
