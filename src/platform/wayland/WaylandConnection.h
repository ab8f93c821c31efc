#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
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
// (libwayland serialises them); call flush() after a batch. A proxy of the
// default queue that receives events is made, and gets its listener, inside
// run(), so that none of its events can be dispatched before the listener
// is there.
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
    // The version a bound proxy of the interface got (0 when not offered).
    std::uint32_t version(const std::string& interface, std::uint32_t maxVersion) const;
    // Every global of the interface offered now (several outputs, seats).
    std::vector<Global> globalsOf(const std::string& interface) const;
    // Binds one of them at min(its version, maxVersion), on the default
    // queue, without flushing: call it inside run() and add the listener
    // there.
    void* bind(const Global& global, const wl_interface* interface, std::uint32_t maxVersion);
    // Runs task on the dispatch thread between two dispatches (at once when
    // called there, or when the connection no longer dispatches) and
    // returns when it has run.
    void run(const std::function<void()>& task);

    // Sends the requests queued so far.
    void flush();
    // Waits until the compositor has handled every request sent before.
    // Events it sent in reply to proxies of the default queue have been read
    // by then but may still be waiting for the dispatch thread: callers that
    // need their effect wait on their own state. False when the connection
    // broke.
    bool roundtrip();
    // Waits until the dispatch thread has handled every event the compositor
    // sent in reply to the requests sent before, so listeners of the default
    // queue have seen them. False on a time-out or a broken connection.
    bool sync(std::chrono::milliseconds timeout);
    // Dispatches a queue of the caller's own on the calling thread until
    // done() holds; false when the time runs out or the connection broke.
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
    void runTasks();

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    mutable std::mutex globalsMutex;
    std::vector<Global> globals;
    std::thread dispatcher;
    int wakeFd = -1;
    std::atomic<bool> stopping{false};

    struct Task {
        const std::function<void()>* run;
        bool* done;
    };
    std::mutex tasksMutex; // guards tasks and dispatching
    std::condition_variable tasksDone;
    std::deque<Task> tasks;
    bool dispatching = true;
};
