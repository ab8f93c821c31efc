#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct wl_display;
struct wl_event_queue;
struct wl_interface;
struct wl_registry;

// One client connection to the Wayland compositor of WAYLAND_DISPLAY, kept
// for the program's whole life (compositors tie virtual devices, selections
// and overlays to the connection that made them). It lists the globals the
// compositor offers, binds them, and runs a thread that dispatches the
// connection's default event queue, so listeners set on proxies of that
// queue are called on that thread. Requests may be sent from any thread
// (libwayland serialises them); call flush() after a batch. A new proxy's
// listener is set while holdDispatch() is held, so that no event of the
// proxy is dispatched before its listener is there; code that holds a lock
// of its own that its listeners take acquires holdDispatch() first.
class WaylandConnection {
public:
    struct Global {
        std::uint32_t name = 0;
        std::string interface;
        std::uint32_t version = 0;
    };

    // Connects and reads the globals; connected() tells whether it worked.
    WaylandConnection();
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    // Whether the connection was made and the compositor has not closed it.
    bool connected() const;
    wl_display* get() const { return display; }

    // Whether the compositor offers a global of the interface.
    bool offers(const std::string& interface) const;
    // Binds the first global of the interface at min(its version,
    // maxVersion); null when it is not offered. The proxy belongs to the
    // default queue.
    void* bind(const wl_interface* interface, std::uint32_t maxVersion);
    // Every global of the interface (several outputs, for one), and a bind
    // of one of them at min(its version, maxVersion).
    std::vector<Global> globalsOf(const std::string& interface) const;
    void* bind(const Global& global, const wl_interface* interface, std::uint32_t maxVersion);
    // The version a bound proxy of the interface got (0 when not offered).
    std::uint32_t version(const std::string& interface, std::uint32_t maxVersion) const;

    // Keeps the dispatch thread from calling listeners while held.
    std::unique_lock<std::mutex> holdDispatch();
    // Sends the requests queued so far, waiting while the compositor's
    // socket is full. Callers that send many requests at once flush every
    // few dozen: libwayland ends the connection when its buffer overflows.
    void flush();
    // Waits until the dispatch thread has handled every event the compositor
    // sent before it handled the requests sent so far, so listeners have
    // seen their replies. False after the timeout or when the connection
    // broke.
    bool settle(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    // Ends the dispatch thread: no listener runs after this returns.
    // Owners call it before destroying the proxies their listeners use;
    // requests can still be sent. The destructor calls it too.
    void stopDispatching();

    // Dispatches a queue of the caller's own on the calling thread until
    // done() holds, for requests that wait for their answer where they are
    // made; false when the time runs out or the connection broke.
    bool dispatchUntil(wl_event_queue* queue, const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // A stand-in for proxy in requests whose new objects deliver their
    // events to queue; destroy it with wl_proxy_wrapper_destroy.
    template <typename Proxy>
    static Proxy* OnQueue(Proxy* proxy, wl_event_queue* queue)
    {
        return static_cast<Proxy*>(Wrap(proxy, queue));
    }

    // The interface names a compositor offers, from a short connection of
    // its own; empty without a compositor. Used to choose a backend.
    static std::vector<std::string> OfferedInterfaces();

private:
    static void* Wrap(void* proxy, wl_event_queue* queue);
    static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                         std::uint32_t version);
    static void OnGlobalRemove(void* data, wl_registry* registry, std::uint32_t name);
    void dispatchLoop();

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    mutable std::mutex globalsMutex;
    std::vector<Global> globals;
    std::thread dispatcher;
    std::mutex dispatchMutex; // held while listeners run
    int wakeFd = -1;
    std::atomic<bool> stopping{false};
    std::mutex settleMutex; // guards settled
    std::condition_variable settledChanged;
    std::uint64_t settled = 0; // sync callbacks handled so far
    std::uint64_t settleRequests = 0;
};
