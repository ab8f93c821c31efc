#pragma once

#include "ChildProcess.h"
#include "SessionBus.h"

#include <optional>
#include <string>
#include <vector>

// A headless GNOME desktop of the test's own: a private session bus in a
// fresh runtime folder (SessionBus), PipeWire and WirePlumber, and mutter
// with one virtual monitor and XWayland. enter() points this process, and
// the programs it starts afterwards, at that desktop. Everything it started
// is ended by its PID on destruction.
class GnomeSession {
public:
    // Whether mutter, PipeWire and WirePlumber are installed.
    static bool installed();
    // Whether a missing install fails the test (CORVANE_REQUIRE_GNOME set).
    static bool required();

    GnomeSession(int width, int height);
    ~GnomeSession();
    GnomeSession(const GnomeSession&) = delete;
    GnomeSession& operator=(const GnomeSession&) = delete;

    bool started() const { return ready; }
    // XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS, WAYLAND_DISPLAY, DISPLAY
    // (XWayland) and XAUTHORITY, set until the session bus ends.
    void enter();
    // What mutter printed.
    std::string log() { return mutter ? mutter->output() : std::string(); }

private:
    SessionBus bus;
    std::optional<ChildProcess> pipewire;
    std::optional<ChildProcess> wireplumber;
    std::optional<ChildProcess> mutter;
    std::string waylandDisplay;
    std::string xDisplay;
    std::string xAuthority;
    bool ready = false;
};

// Starts the desktop for the enclosing test, or skips the test (fails it
// when CORVANE_REQUIRE_GNOME is set) when mutter is not installed.
#define CORVANE_START_GNOME(var, ...)                                                           \
    if (!GnomeSession::installed()) {                                                           \
        if (GnomeSession::required())                                                           \
            FAIL() << "mutter is required (CORVANE_REQUIRE_GNOME is set) but not installed";   \
        GTEST_SKIP() << "mutter is not installed";                                              \
    }                                                                                           \
    GnomeSession var{__VA_ARGS__};                                                              \
    ASSERT_TRUE(var.started()) << "the GNOME desktop did not start:\n" << var.log()
