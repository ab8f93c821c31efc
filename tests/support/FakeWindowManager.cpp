#include "FakeWindowManager.h"

#include <chrono>
#include <thread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

FakeWindowManager::FakeWindowManager() : display(XOpenDisplay(nullptr))
{
    if (display == nullptr)
        return;
    XSelectInput(display, root(), SubstructureNotifyMask);
    XSync(display, False);
}

FakeWindowManager::~FakeWindowManager()
{
    if (display != nullptr)
        XCloseDisplay(display);
}

unsigned long FakeWindowManager::root() const
{
    return DefaultRootWindow(display);
}

unsigned long FakeWindowManager::atom(const char* name) const
{
    return XInternAtom(display, name, False);
}

void FakeWindowManager::announce()
{
    const Window check = XCreateSimpleWindow(display, root(), 0, 0, 1, 1, 0, 0, 0);
    for (const Window on : {root(), check})
        set("_NET_SUPPORTING_WM_CHECK", XA_WINDOW, {check}, on);
    set("_NET_SUPPORTED", XA_ATOM, {atom("_NET_ACTIVE_WINDOW"), atom("_NET_CLOSE_WINDOW"), atom("_NET_CLIENT_LIST")});
}

void FakeWindowManager::set(const char* property, unsigned long type, std::vector<unsigned long> values,
                            unsigned long window)
{
    XChangeProperty(display, window != 0 ? window : root(), atom(property), type, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(values.data()), static_cast<int>(values.size()));
    XSync(display, False);
}

std::optional<FakeWindowManager::Request> FakeWindowManager::awaitRequest(const char* type, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ClientMessage && event.xclient.message_type == atom(type))
                return Request{event.xclient.window, event.xclient.data.l[0]};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

void FakeWindowManager::askToClose(unsigned long window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom("WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(atom("WM_DELETE_WINDOW"));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}
