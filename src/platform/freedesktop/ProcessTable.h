#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// One process as /proc shows it.
struct ProcessInfo {
    pid_t pid = 0;
    unsigned long long startTicks = 0; // start time after boot, in clock ticks
    std::string exe;                   // the running executable ("" when unreadable)
    std::vector<std::string> argv;     // the command line
};

// The processes of the user running this program.
class ProcessTable {
public:
    ProcessTable() = delete;

    // Every live process (not a zombie, not a kernel thread) whose real user
    // is ours, ordered by start time, then pid.
    static std::vector<ProcessInfo> currentUser();
    // One process, whatever its user; empty when it is gone or a zombie.
    static std::optional<ProcessInfo> read(pid_t pid);
};
