#pragma once

#include <string>
#include <vector>

// What the X server itself knows about one of this process's windows, read
// over a connection of its own to the display in DISPLAY.
class X11WindowFacts {
public:
    explicit X11WindowFacts(unsigned long window);

    // Whether the window bypasses the window manager.
    bool overrideRedirect() const { return bypassesManager; }
    // The atoms named in its _NET_WM_STATE, such as "_NET_WM_STATE_ABOVE".
    const std::vector<std::string>& states() const { return stateNames; }
    // Whether the window is mapped and viewable.
    bool viewable() const { return isViewable; }

private:
    bool bypassesManager = false;
    bool isViewable = false;
    std::vector<std::string> stateNames;
};
