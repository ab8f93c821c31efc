#include "X11Display.h"

#include <X11/Xlib.h>
#include <cstdlib>
#include <poll.h>

X11Display& X11Display::instance()
{
    static X11Display connection;
    return connection;
}

namespace {

void SendClientMessage(Display* d, Window destination, Window window, Atom type, long eventMask,
                       const long (&data)[3])
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    for (int i = 0; i < 3; ++i)
        event.xclient.data.l[i] = data[i];
    XSendEvent(d, destination, False, eventMask, &event);
}

} // namespace

void X11Display::SendRootRequest(Display* d, unsigned long window, unsigned long type, long l0, long l1, long l2)
{
    SendClientMessage(d, DefaultRootWindow(d), window, type, SubstructureRedirectMask | SubstructureNotifyMask,
                      {l0, l1, l2});
}

void X11Display::SendProtocolMessage(Display* d, unsigned long window, unsigned long protocol, long l1, long l2)
{
    SendClientMessage(d, window, window, XInternAtom(d, "WM_PROTOCOLS", False), NoEventMask,
                      {static_cast<long>(protocol), l1, l2});
}

namespace {

// Requests on windows that vanished meanwhile (a closed application window,
// a focus that moved on) fail asynchronously; Xlib's default handler would
// end the whole process for that.
int IgnoreRequestError(Display*, XErrorEvent*)
{
    return 0;
}

} // namespace

X11Display::X11Display()
{
    XInitThreads();
    XSetErrorHandler(IgnoreRequestError);
    Open();
}

X11Display::~X11Display()
{
    // The process is ending; the server cleans up after the connection.
}

void X11Display::Open()
{
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == 0)
        return;
    display = XOpenDisplay(name);
    if (display != nullptr) {
        displayName = name;
        openings.fetch_add(1, std::memory_order_acq_rel);
    }
}

bool X11Display::available()
{
    std::lock_guard lock(mutex);
    return display != nullptr;
}

bool X11Display::WaitForEvents(Display* d, std::chrono::milliseconds timeout)
{
    if (XPending(d) > 0)
        return true;
    ++waiters;
    mutex.unlock();
    pollfd connection{ConnectionNumber(d), POLLIN, 0};
    ::poll(&connection, 1, static_cast<int>(timeout.count()));
    mutex.lock();
    if (--waiters == 0)
        waitersLeft.notify_all();
    return XPending(d) > 0;
}

void X11Display::Reopen()
{
    std::unique_lock lock(mutex);
    waitersLeft.wait(lock, [this] { return waiters == 0; });
    if (display != nullptr)
        XCloseDisplay(display);
    display = nullptr;
    displayName.clear();
    Open();
}

std::string X11Display::name()
{
    std::lock_guard lock(mutex);
    return displayName;
}
