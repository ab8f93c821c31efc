#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// One top-level window of an application, as the desktop lists it.
struct ClientWindow {
    std::uint64_t id = 0;      // the desktop's handle of the window
    pid_t pid = 0;             // the owning process, 0 when the desktop does not say
    std::string instanceName;  // X11 WM_CLASS res_name; a Wayland app id
    std::string className;     // X11 WM_CLASS res_class; a Wayland app id
};

// The applications' windows and the requests a task switcher makes to them:
// bring one forward, ask one to close. Where the desktop lists no windows
// (no display, or a compositor that keeps them to itself) the list is empty
// and every request does nothing.
class WindowControl {
public:
    virtual ~WindowControl() = default;

    // The windows in the desktop's stacking or creation order.
    virtual std::vector<ClientWindow> list() = 0;
    // Brings the window forward and gives it the focus. False when it could
    // not be asked.
    virtual bool activate(std::uint64_t window) = 0;
    // Asks the window to close the way its close button does. False when it
    // could not be asked.
    virtual bool close(std::uint64_t window) = 0;

    // The window control in use: the desktop backend's, unless a test
    // installed another.
    static WindowControl& instance();
    // Installs a window control; null restores the backend's.
    static void setInstance(WindowControl* control);
};
