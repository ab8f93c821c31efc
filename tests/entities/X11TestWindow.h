#pragma once

#include <functional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

// One event a test window received.
struct WindowEvent {
    int type = 0;             // KeyPress, ButtonPress, MotionNotify, ClientMessage, ...
    unsigned detail = 0;      // button number or key code
    unsigned long keysym = 0; // for key events: the unshifted keysym
    unsigned state = 0;       // modifier and button mask
    int x = 0;
    int y = 0;
    std::string message;      // for client messages: the type's name
    long data0 = 0;           // for client messages: the first value
    unsigned long about = 0;  // for client messages: the window they concern
};

// A plain Xlib window of the test's own on the current DISPLAY, through a
// connection of its own: it takes the keyboard focus and records the pointer
// and key events it receives, and the requests sent to the window manager
// (client messages to the root window).
class X11TestWindow {
public:
    X11TestWindow(int x, int y, int width, int height);
    ~X11TestWindow();
    X11TestWindow(const X11TestWindow&) = delete;
    X11TestWindow& operator=(const X11TestWindow&) = delete;

    bool open() const { return display != nullptr; }
    unsigned long id() const { return window; }
    Display* connection() const { return display; }

    // Collects events until done(events) holds or the time is up; returns
    // whether it held.
    bool waitFor(const std::function<bool(const std::vector<WindowEvent>&)>& done, int timeoutMs = 5000);
    // Collects events for a short while (to see that nothing more arrives).
    std::vector<WindowEvent> settle(int ms = 200);
    std::vector<WindowEvent> events() const { return received; }
    // Forgets the events received so far, those still on their way included.
    void clear();

    // Announces this window as the active one, as a window manager would.
    void becomeActiveWindow();
    // The pointer position as the X server reports it.
    void pointer(int& x, int& y);
    // Waits until the pointer is at (x, y).
    bool waitForPointer(int x, int y, int timeoutMs = 5000);

private:
    void pump();

    Display* display = nullptr;
    unsigned long window = 0;
    int xkbEventBase = 0;
    std::vector<WindowEvent> received;
};

// Events of one type, in order.
std::vector<WindowEvent> OfType(const std::vector<WindowEvent>& events, int type);
