#pragma once

#include "DesktopBackend.h"

#include <optional>
#include <string>

// Which backend a session gets, and why (for the start-up log line).
struct BackendChoice {
    BackendKind kind = BackendKind::None;
    std::string reason;
};

// Finds what the desktop session offers, by capability rather than by the
// desktop's name. In order:
//  1. a backend forced by name (the command line, else CORVANE_BACKEND);
//  2. a Wayland session (WAYLAND_DISPLAY set) and which compositor runs it;
//  3. an X server that accepts a connection on DISPLAY (DISPLAY alone never
//     means X11 on a Wayland desktop: XWayland sets it too);
//  4. no desktop.
// XDG_SESSION_TYPE is only a hint and is not consulted.
class BackendProbe {
public:
    BackendProbe() = delete;

    static BackendChoice Detect(const std::string& forced = {});
    // The kind a backend name stands for ("x11", "gnome", "kde", "wlroots").
    static std::optional<BackendKind> Parse(const std::string& name);
};
