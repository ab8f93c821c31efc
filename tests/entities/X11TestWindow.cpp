#include "X11TestWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <poll.h>
#include <thread>

X11TestWindow::X11TestWindow(int x, int y, int width, int height)
{
    display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return;
    const Window root = DefaultRootWindow(display);
    window = XCreateSimpleWindow(display, root, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                 0, 0, 0xFFFFFF);
    XSelectInput(display, window,
                 KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                     StructureNotifyMask | FocusChangeMask);
    // Requests addressed to the window manager arrive at the root window.
    XSelectInput(display, root, SubstructureNotifyMask);
    // Follow keymap changes through XKB events, as the toolkits do: the X
    // server tells an XKB client about a changed key code that way, in order
    // with the key events that follow.
    int xkbEvent = 0, xkbError = 0, major = XkbMajorVersion, minor = XkbMinorVersion, opcode = 0;
    if (XkbQueryExtension(display, &opcode, &xkbEvent, &xkbError, &major, &minor)) {
        XkbSelectEvents(display, XkbUseCoreKbd, XkbMapNotifyMask | XkbNewKeyboardNotifyMask,
                        XkbMapNotifyMask | XkbNewKeyboardNotifyMask);
        xkbEventBase = xkbEvent;
    }
    XMapRaised(display, window);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify && event.xmap.window == window)
            break;
    }
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
    received.clear();
}

X11TestWindow::~X11TestWindow()
{
    if (display == nullptr)
        return;
    XDestroyWindow(display, window);
    XCloseDisplay(display);
}

void X11TestWindow::pump()
{
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        WindowEvent recorded;
        recorded.type = event.type;
        switch (event.type) {
        case KeyPress:
        case KeyRelease:
            recorded.detail = event.xkey.keycode;
            recorded.keysym = XLookupKeysym(&event.xkey, 0);
            recorded.state = event.xkey.state;
            break;
        case ButtonPress:
        case ButtonRelease:
            recorded.detail = event.xbutton.button;
            recorded.state = event.xbutton.state;
            recorded.x = event.xbutton.x_root;
            recorded.y = event.xbutton.y_root;
            break;
        case MotionNotify:
            recorded.state = event.xmotion.state;
            recorded.x = event.xmotion.x_root;
            recorded.y = event.xmotion.y_root;
            break;
        case ClientMessage: {
            char* name = XGetAtomName(display, event.xclient.message_type);
            recorded.message = name ? name : "";
            if (name)
                XFree(name);
            recorded.data0 = event.xclient.data.l[0];
            recorded.about = event.xclient.window;
            break;
        }
        case MappingNotify: XRefreshKeyboardMapping(&event.xmapping); continue;
        default:
            if (xkbEventBase != 0 && event.type == xkbEventBase)
                XkbRefreshKeyboardMapping(reinterpret_cast<XkbMapNotifyEvent*>(&event));
            continue;
        }
        received.push_back(recorded);
    }
}

bool X11TestWindow::waitFor(const std::function<bool(const std::vector<WindowEvent>&)>& done, int timeoutMs)
{
    if (display == nullptr)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pump();
        if (done(received))
            return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        ::poll(&connection, 1, static_cast<int>(left.count()));
    }
}

std::vector<WindowEvent> X11TestWindow::settle(int ms)
{
    waitFor([](const std::vector<WindowEvent>&) { return false; }, ms);
    return received;
}

void X11TestWindow::clear()
{
    if (display != nullptr) {
        XSync(display, False);
        pump();
    }
    received.clear();
}

void X11TestWindow::becomeActiveWindow()
{
    const Window root = DefaultRootWindow(display);
    const Window active = window;
    XChangeProperty(display, root, XInternAtom(display, "_NET_ACTIVE_WINDOW", False), XA_WINDOW, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&active), 1);
    XSync(display, False);
}

void X11TestWindow::pointer(int& x, int& y)
{
    Window root, child;
    int windowX, windowY;
    unsigned mask;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &windowX, &windowY, &mask);
}

bool X11TestWindow::waitForPointer(int x, int y, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int px = -1, py = -1;
        pointer(px, py);
        if (px == x && py == y)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::vector<WindowEvent> OfType(const std::vector<WindowEvent>& events, int type)
{
    std::vector<WindowEvent> selected;
    for (const WindowEvent& event : events) {
        if (event.type == type)
            selected.push_back(event);
    }
    return selected;
}
