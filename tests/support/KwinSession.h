#pragma once

#include "ChildProcess.h"
#include "SessionBus.h"

#include <optional>
#include <string>
#include <vector>

// A headless KDE Plasma compositor of the test's own: KWin on a virtual
// 1280 × 800 output with its own Wayland socket, on a private session bus
// (SessionBus) in a fresh runtime folder, started from the test's
// environment (use a UserSandbox: KWin reads and writes its settings, and
// reads the desktop entries that grant its restricted interfaces, in the
// XDG folders). enter() points this process at it, so the probe windows
// and the programs the test starts join the session. Everything is ended
// by its PID on destruction.
//
// The installed kwin_wayland carries a file capability that a container
// may not grant; the session runs a copy without it, under the same name
// (KWin loads its own Qt platform plugin only in a program of that name).
class KwinSession {
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 800;

    // compositing: KWin's KWIN_COMPOSE, "O2" (OpenGL, rendered in software
    // without a GPU) or "Q" (QPainter, which keeps input handling free of
    // the software renderer's long frames).
    explicit KwinSession(const std::string& compositing = "O2");
    ~KwinSession();
    KwinSession(const KwinSession&) = delete;
    KwinSession& operator=(const KwinSession&) = delete;

    // Whether KWin is installed; required() says whether a missing one
    // must fail the test (CORVANE_REQUIRE_X, as in CI) rather than skip it.
    static bool installed();
    static bool required();

    // Whether KWin started and answers on its socket.
    bool started() const { return ready; }
    // Sets XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS and WAYLAND_DISPLAY in
    // this process (and empties DISPLAY) until the session ends.
    void enter();
    // KWin's standard error so far (scripts' print() lines among it).
    std::string log();

    // Grants a program KWin's restricted interfaces the way an installed
    // Corvane gets them: the desktop entry that the build configures for
    // installation, with Exec naming this program, written to
    // XDG_DATA_HOME/applications/<name>.desktop.
    static void Allow(const std::string& program, const std::string& name);

private:
    SessionBus bus;
    std::string socket;
    std::optional<ChildProcess> kwin;
    bool ready = false;
};

// Starts a KWin session for the enclosing test and enters it, or skips the
// test (fails it in CI) when KWin is not installed.
#define CORVANE_START_KWIN(var)                                                              \
    if (!KwinSession::installed()) {                                                         \
        if (KwinSession::required())                                                         \
            FAIL() << "kwin_wayland is required (CORVANE_REQUIRE_X is set) but not installed"; \
        GTEST_SKIP() << "kwin_wayland is not installed";                                     \
    }                                                                                        \
    var.emplace();                                                                           \
    ASSERT_TRUE(var->started()) << "KWin did not start:\n" << var->log();                    \
    var->enter()
