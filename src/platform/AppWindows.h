#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// One top-level window of an application on the X display.
struct ClientWindow {
    unsigned long id = 0;
    pid_t pid = 0;             // _NET_WM_PID, 0 when the window does not say
    std::string instanceName;  // WM_CLASS res_name
    std::string className;     // WM_CLASS res_class
};

// The applications' windows and the requests a task switcher makes to them:
// bring one forward, ask one to close. Without a display there are no
// windows and every request does nothing.
class AppWindows {
public:
    AppWindows() = delete;

    // The window manager's client list (_NET_CLIENT_LIST); without a window
    // manager that keeps one, the root window's viewable children.
    static std::vector<ClientWindow> list();
    // Asks the window manager to activate the window (_NET_ACTIVE_WINDOW to
    // the root window); without a window manager that supports it, maps,
    // raises and focuses the window directly. False without a display.
    static bool activate(unsigned long window);
    // Asks the window to close the way a window manager's close button
    // does: _NET_CLOSE_WINDOW when the window manager supports it, else
    // WM_DELETE_WINDOW when the window takes it. False when it can be asked
    // neither way (or there is no display).
    static bool close(unsigned long window);
};
