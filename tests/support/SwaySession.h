#pragma once

#include "CompositorSession.h"

#include <string>

// A headless sway of the test's own (a CompositorSession): one 1280x800
// output, no XWayland, no window borders. sway refuses to run as root, so a
// root test runs it as the unprivileged user 65534 (root's clients can
// still connect). The session is entered as soon as sway has its socket.
class SwaySession : public CompositorSession {
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 800;

    SwaySession();

    static bool installed() { return Installed({"sway"}); }
    // Runs a sway command (as in its configuration) through swaymsg.
    bool command(const std::string& line);
    std::string output() { return log(); }
};
