#pragma once

#include "ChildProcess.h"
#include "SessionBus.h"

#include <functional>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

// What every headless desktop of a test's own starts the same way: a
// private session bus in a fresh 0700 runtime folder (SessionBus), then the
// compositor as the test's child on that bus, with nothing of the machine's
// own display and its output collected. Each desktop waits for its own
// signs of readiness and names the variables that enter() sets in this
// process (until the session ends), so that the code under test and the
// programs the test starts join it. The compositor is ended by its PID.
class CompositorSession {
public:
    CompositorSession(const CompositorSession&) = delete;
    CompositorSession& operator=(const CompositorSession&) = delete;

    // Whether the compositor started and shows itself to clients.
    bool started() const { return ready; }
    // What the compositor has written so far.
    std::string log() { return compositor ? compositor->output() : std::string(); }
    void enter() { bus.enter(variables); }

    // Whether every program is installed (a path, or a name found in PATH).
    static bool Installed(std::initializer_list<const char*> programs);
    // Whether the environment variable asks for a missing desktop to fail
    // the test (as in CI) rather than skip it.
    static bool Required(const char* variable);

protected:
    explicit CompositorSession(uid_t uid = ::getuid(), gid_t gid = ::getgid()) : bus(uid, gid) {}
    ~CompositorSession() { compositor.reset(); }

    // Starts argv as child (the compositor by default) with the bus's
    // variables, an empty DISPLAY and WAYLAND_DISPLAY, and extra.
    void start(const std::vector<std::string>& argv, const std::vector<std::string>& extra = {},
               std::optional<ChildProcess>* child = nullptr, ChildProcess::Stream output = ChildProcess::Stream::Collect);
    // Polls done() every 20 ms while the compositor runs; false when it
    // still does not hold after timeoutMs.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000);
    // The name of a socket in the runtime folder that starts with prefix;
    // empty before there is one.
    std::string socketIn(const std::string& prefix) const;

    SessionBus bus;
    std::optional<ChildProcess> compositor;
    std::vector<std::string> variables; // what enter() sets besides the bus's
    bool ready = false;
};

// Fails the enclosing test when variable asks for the desktop, and skips it
// otherwise, unless installed holds.
#define CORVANE_REQUIRE_DESKTOP(installed, variable, name)                                 \
    if (!(installed)) {                                                                    \
        if (CompositorSession::Required(variable))                                         \
            FAIL() << name " is required (" variable " is set) but not installed";         \
        GTEST_SKIP() << name " is not installed";                                          \
    }
