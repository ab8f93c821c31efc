#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct wl_display;
struct wl_interface;
struct wl_registry;

// One client connection to the Wayland compositor of WAYLAND_DISPLAY, kept
// for the program's whole life (compositors tie virtual devices, selections
// and overlays to the connection that made them). It lists the globals the
// compositor offers, binds them, and runs a thread that dispatches the
// connection's default event queue, so listeners set on proxies of that
// queue are called on that thread. Requests may be sent from any thread
// (libwayland serialises them); call flush() after a batch.
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

    bool connected() const { return display != nullptr; }
    wl_display* get() const { return display; }

    // Whether the compositor offers a global of the interface.
    bool offers(const std::string& interface) const;
    // Binds the first global of the interface at min(its version,
    // maxVersion); null when it is not offered. The proxy belongs to the
    // default queue.
    void* bind(const wl_interface* interface, std::uint32_t maxVersion);
    // The version a bound proxy of the interface got (0 when not offered).
    std::uint32_t version(const std::string& interface, std::uint32_t maxVersion) const;

    // Sends the requests queued so far.
    void flush();
    // Waits until the compositor has handled every request sent before.
    // Events it sent in reply to proxies of the default queue have been read
    // by then but may still be waiting for the dispatch thread: callers that
    // need their effect wait on their own state. False when the connection
    // broke.
    bool roundtrip();

    // The interface names a compositor offers, from a short connection of
    // its own; empty without a compositor. Used to choose a backend.
    static std::vector<std::string> OfferedInterfaces();

private:
    static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                         std::uint32_t version);
    static void OnGlobalRemove(void* data, wl_registry* registry, std::uint32_t name);
    void dispatchLoop();

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    mutable std::mutex globalsMutex;
    std::vector<Global> globals;
    std::thread dispatcher;
    int wakeFd = -1;
    std::atomic<bool> stopping{false};
};
