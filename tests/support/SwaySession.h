#pragma once

#include "ChildProcess.h"
#include "SessionBus.h"

#include <optional>
#include <string>
#include <vector>

// A headless sway of the test's own: one 1280x800 output, no XWayland, no
// window borders, in a fresh runtime folder with a private session bus.
// sway refuses to run as root, so a root test runs it as the unprivileged
// user 65534 (root's clients can still connect). While the session lives,
// this process belongs to it: XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS and
// WAYLAND_DISPLAY point to it and DISPLAY is empty. sway and the bus are
// ended by their PIDs on destruction.
class SwaySession {
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 800;

    SwaySession();
    ~SwaySession();
    SwaySession(const SwaySession&) = delete;
    SwaySession& operator=(const SwaySession&) = delete;

    // Whether sway is on PATH.
    static bool installed();
    // Whether the compositor runs and shows its output to clients.
    bool started() const { return ready; }
    // The compositor's socket name (WAYLAND_DISPLAY) and its runtime folder.
    const std::string& display() const { return socket; }
    const std::string& runtimeDir() const { return session.runtimeDir(); }
    // Runs a sway command (as in its configuration) through swaymsg.
    bool command(const std::string& line);
    // What the compositor has written so far.
    std::string output() { return sway ? sway->output() : std::string(); }

private:
    SessionBus session;
    std::optional<ChildProcess> sway;
    std::string socket;
    bool ready = false;
};
