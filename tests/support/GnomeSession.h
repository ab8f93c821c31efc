#pragma once

#include "CompositorSession.h"

#include <optional>

// A headless GNOME desktop of the test's own (a CompositorSession): PipeWire
// and WirePlumber, and mutter with one virtual monitor and XWayland. enter()
// also sets DISPLAY (XWayland) and XAUTHORITY.
class GnomeSession : public CompositorSession {
public:
    static bool installed() { return Installed({"mutter", "pipewire", "wireplumber", "Xwayland"}); }

    GnomeSession(int width, int height);
    ~GnomeSession() { compositor.reset(); } // mutter before the services it uses

private:
    std::optional<ChildProcess> pipewire;
    std::optional<ChildProcess> wireplumber;
};

// Starts the desktop for the enclosing test, or skips the test (fails it
// when CORVANE_REQUIRE_GNOME is set) when mutter is not installed.
#define CORVANE_START_GNOME(var, ...)                                                           \
    CORVANE_REQUIRE_DESKTOP(GnomeSession::installed(), "CORVANE_REQUIRE_GNOME", "mutter")       \
    GnomeSession var{__VA_ARGS__};                                                              \
    ASSERT_TRUE(var.started()) << "the GNOME desktop did not start:\n" << var.log()
