#pragma once

#include "WindowControl.h"

// The windows of an X desktop: the window manager's client list, and
// activate/close requests as a pager sends them (EWMH), with ICCCM
// fallbacks where no window manager takes them.
class X11WindowControl : public WindowControl {
public:
    // The window manager's client list (_NET_CLIENT_LIST); without a window
    // manager that keeps one, the root window's viewable children. The
    // names are WM_CLASS, the pid _NET_WM_PID.
    std::vector<ClientWindow> list() override;
    // Asks the window manager to activate the window (_NET_ACTIVE_WINDOW to
    // the root window); without a window manager that supports it, maps,
    // raises and focuses the window directly. False without a display.
    bool activate(std::uint64_t window) override;
    // _NET_CLOSE_WINDOW when the window manager supports it, else
    // WM_DELETE_WINDOW when the window takes it. False when it can be asked
    // neither way (or there is no display).
    bool close(std::uint64_t window) override;
};
