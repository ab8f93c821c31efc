#pragma once

#include "ChildProcess.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// What a desktop session of its own needs before its compositor starts: a
// fresh runtime folder (mode 0700, owned by the session's user) and a
// private D-Bus session bus listening in it. environment() gives the
// variables a compositor and its clients take; nothing of the machine's own
// session is used. The bus is ended by its PID and the folder removed on
// destruction.
class SessionBus {
public:
    // uid/gid: the user the compositor will run as (the test's own by default).
    explicit SessionBus(uid_t uid = ::getuid(), gid_t gid = ::getgid());
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    bool started() const { return bus.has_value() && !address.empty(); }
    const std::string& runtimeDir() const { return runtime; }
    const std::string& busAddress() const { return address; }
    // "XDG_RUNTIME_DIR=…", "DBUS_SESSION_BUS_ADDRESS=…"
    std::vector<std::string> environment() const;
    // Sets both variables, and the extra "NAME=VALUE" entries, in this
    // process (restored on destruction), so the code under test finds the
    // session.
    void enter(const std::vector<std::string>& extra = {});
    // Whether a program on the bus owns the name within timeoutMs.
    bool waitForName(const std::string& name, int timeoutMs = 20000) const;

private:
    std::string runtime;
    std::string address;
    std::optional<ChildProcess> bus;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};
