#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

typedef struct _XDisplay Display;

// The one connection to the session's X server that the platform code uses
// for input injection, pointer queries, window requests and screen grabs.
// Every Xlib call goes through With(), which serialises the calls of the
// connection threads. Without a display (no DISPLAY, or the server refuses)
// the connection is absent and With() runs nothing.
class X11Display {
public:
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    // The connection of this process, opened on first use from DISPLAY.
    static X11Display& instance();

    bool available();
    // Runs fn(display) under the connection's lock and returns true; returns
    // false without running it when there is no display.
    template <typename Fn>
    bool With(Fn&& fn)
    {
        std::lock_guard lock(mutex);
        if (display == nullptr)
            return false;
        fn(display);
        return true;
    }
    // Only from inside With(), on its display: waits up to timeout for
    // events with the connection's lock released, so that other threads can
    // use the connection meanwhile (a client that keeps someone waiting must
    // not hold up everyone's input). Events another thread's round trip read
    // meanwhile wait in Xlib's queue, which poll cannot see: wait in short
    // steps. True when events are waiting.
    bool WaitForEvents(Display* d, std::chrono::milliseconds timeout);
    // Closes the connection and opens DISPLAY again (a test that starts its
    // own X server calls this after setting DISPLAY). Waits until no thread
    // is inside WaitForEvents.
    void Reopen();
    // The display name in use, empty when there is none.
    std::string name();
    // Changes each time a connection is opened, so that code keeping
    // per-connection state can tell a new connection from the old one.
    unsigned long generation() const { return openings.load(std::memory_order_acquire); }

    // Client messages with 32-bit data, sent on a connection the caller holds
    // (inside With(), or a connection of its own).
    // A request about a window to the window manager (EWMH): sent to the
    // root window for substructure-redirect listeners.
    static void SendRootRequest(Display* d, unsigned long window, unsigned long type, long l0, long l1 = 0,
                                long l2 = 0);
    // A WM_PROTOCOLS message (WM_DELETE_WINDOW, _NET_WM_PING) to the window itself.
    static void SendProtocolMessage(Display* d, unsigned long window, unsigned long protocol, long l1, long l2 = 0);

private:
    X11Display();
    ~X11Display();
    void Open();

    std::mutex mutex;
    std::condition_variable waitersLeft;
    int waiters = 0; // threads inside WaitForEvents, the lock released
    Display* display = nullptr;
    std::string displayName;
    std::atomic<unsigned long> openings{0};
};
