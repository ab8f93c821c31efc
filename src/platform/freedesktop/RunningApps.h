#pragma once

#include "WindowControl.h"
#include "ProcessTable.h"

#include <string>
#include <sys/types.h>
#include <vector>

class DesktopEntry;

// A snapshot of what runs: the user's processes and the applications'
// windows, and which of them belong to a desktop entry.
//
// A process belongs to an entry when one of the entry's programs (see
// DesktopExec::programs) is
//  - its executable: same name, or the same file once symbolic links are
//    resolved (the program looked up in PATH when given by name);
//  - its command's program (argv[0]) by path or name;
//  - when the process is an interpreter (sh, python3, ...), its script
//    argument (the first argument that is not an option) by path or name;
// or when the entry names a StartupWMClass and the process owns
// (_NET_WM_PID) a window of that class or instance name (compared without
// case).
//
// Where the desktop does not say which process owns a window (a Wayland
// compositor's window list gives app ids only), a window belongs to the
// entry whose name its app id is: the entry's id, its StartupWMClass, or the
// name of one of its programs (compared without case).
class RunningApps {
public:
    // Reads the processes of the current user and the window list now.
    RunningApps();

    // The processes of the entry, oldest first. The first is "the" running
    // instance that the quit operations address.
    std::vector<ProcessInfo> instances(const DesktopEntry& entry) const;
    // Whether a process or a window of the entry is there.
    bool running(const DesktopEntry& entry) const;
    // The windows of one running instance of the entry, in window-list
    // order: those its process owns, and those whose owner the desktop does
    // not say and whose app id names the entry (pid 0: only those).
    std::vector<ClientWindow> windowsOf(const DesktopEntry& entry, pid_t pid) const;

private:
    // A process with the names it can be told by, resolved once.
    struct Seen {
        ProcessInfo info;
        std::string commandFile; // argv[0] with symbolic links resolved
        std::string script;      // for an interpreter, the script it runs
        std::string scriptFile;  // the script with symbolic links resolved
    };
    std::vector<Seen> processes;
    std::vector<ClientWindow> windows;
};
