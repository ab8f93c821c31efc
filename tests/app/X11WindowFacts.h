#pragma once

// What the X server itself knows about a window, read over a connection of
// its own to the display in DISPLAY.
class X11WindowFacts {
public:
    explicit X11WindowFacts(unsigned long window);

    // Whether the window bypasses the window manager.
    bool overrideRedirect() const { return bypassesManager; }
    // Whether its _NET_WM_STATE asks to stay above ordinary windows.
    bool above() const { return keepsAbove; }
    bool viewable() const { return isViewable; }

private:
    bool bypassesManager = false;
    bool keepsAbove = false;
    bool isViewable = false;
};
