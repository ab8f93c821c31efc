#include "WaylandConnection.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <wayland-client.h>

WaylandConnection::WaylandConnection()
{
    display = wl_display_connect(nullptr);
    if (display == nullptr)
        return;
    static const wl_registry_listener listener = {.global = &WaylandConnection::OnGlobal,
                                                  .global_remove = &WaylandConnection::OnGlobalRemove};
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, this);
    if (wl_display_roundtrip(display) < 0) {
        wl_registry_destroy(registry);
        wl_display_disconnect(display);
        registry = nullptr;
        display = nullptr;
        return;
    }
    wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    dispatcher = std::thread([this] { dispatchLoop(); });
}

WaylandConnection::~WaylandConnection()
{
    if (display == nullptr)
        return;
    stopDispatching();
    ::close(wakeFd);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
}

void WaylandConnection::stopDispatching()
{
    if (!dispatcher.joinable())
        return;
    stopping.store(true);
    const std::uint64_t one = 1;
    (void)!::write(wakeFd, &one, sizeof one);
    dispatcher.join();
    std::lock_guard lock(settleMutex);
    settledChanged.notify_all();
}

void WaylandConnection::OnGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface,
                                 std::uint32_t version)
{
    auto* self = static_cast<WaylandConnection*>(data);
    std::lock_guard lock(self->globalsMutex);
    self->globals.push_back({name, interface, version});
}

void WaylandConnection::OnGlobalRemove(void* data, wl_registry*, std::uint32_t name)
{
    auto* self = static_cast<WaylandConnection*>(data);
    std::lock_guard lock(self->globalsMutex);
    std::erase_if(self->globals, [&](const Global& global) { return global.name == name; });
}

bool WaylandConnection::offers(const std::string& interface) const
{
    std::lock_guard lock(globalsMutex);
    return std::any_of(globals.begin(), globals.end(),
                       [&](const Global& global) { return global.interface == interface; });
}

std::uint32_t WaylandConnection::version(const std::string& interface, std::uint32_t maxVersion) const
{
    std::lock_guard lock(globalsMutex);
    for (const Global& global : globals) {
        if (global.interface == interface)
            return std::min(global.version, maxVersion);
    }
    return 0;
}

void* WaylandConnection::bind(const wl_interface* interface, std::uint32_t maxVersion)
{
    if (registry == nullptr)
        return nullptr;
    std::uint32_t name = 0;
    std::uint32_t version = 0;
    {
        std::lock_guard lock(globalsMutex);
        for (const Global& global : globals) {
            if (global.interface == interface->name) {
                name = global.name;
                version = std::min(global.version, maxVersion);
                break;
            }
        }
    }
    if (name == 0)
        return nullptr;
    return bind(Global{name, interface->name, version}, interface, version);
}

std::vector<WaylandConnection::Global> WaylandConnection::globalsOf(const std::string& interface) const
{
    std::lock_guard lock(globalsMutex);
    std::vector<Global> found;
    std::copy_if(globals.begin(), globals.end(), std::back_inserter(found),
                 [&](const Global& global) { return global.interface == interface; });
    return found;
}

void* WaylandConnection::bind(const Global& global, const wl_interface* interface, std::uint32_t maxVersion)
{
    if (registry == nullptr)
        return nullptr;
    void* proxy = wl_registry_bind(registry, global.name, interface, std::min(global.version, maxVersion));
    flush();
    return proxy;
}

std::unique_lock<std::mutex> WaylandConnection::holdDispatch()
{
    return std::unique_lock(dispatchMutex);
}

void WaylandConnection::flush()
{
    if (display == nullptr)
        return;
    // While the compositor is busy its socket may be full: that is waited
    // out (for a while), since a request queued on a full buffer would end
    // the connection.
    for (int tries = 0; tries < 200 && wl_display_flush(display) < 0 && errno == EAGAIN; ++tries) {
        pollfd writable{wl_display_get_fd(display), POLLOUT, 0};
        ::poll(&writable, 1, 10);
    }
}

bool WaylandConnection::roundtrip()
{
    if (display == nullptr)
        return false;
    // The dispatch thread owns the default queue, so this waits for a sync
    // callback on a queue of its own.
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), queue);
    wl_callback* callback = wl_display_sync(wrapped);
    wl_proxy_wrapper_destroy(wrapped);
    bool done = false;
    static const wl_callback_listener listener = {
        .done = [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback_add_listener(callback, &listener, &done);
    int result = 0;
    while (!done && result >= 0)
        result = wl_display_dispatch_queue(display, queue);
    wl_callback_destroy(callback);
    wl_event_queue_destroy(queue);
    return result >= 0;
}

bool WaylandConnection::settle(std::chrono::milliseconds timeout)
{
    if (display == nullptr || stopping.load())
        return false;
    static const wl_callback_listener listener = {.done = [](void* data, wl_callback* callback, std::uint32_t) {
        auto* self = static_cast<WaylandConnection*>(data);
        wl_callback_destroy(callback);
        std::lock_guard lock(self->settleMutex);
        ++self->settled;
        self->settledChanged.notify_all();
    }};
    std::uint64_t ticket = 0;
    {
        const std::unique_lock hold = holdDispatch();
        std::lock_guard lock(settleMutex);
        // Sync callbacks come back in the order they were asked for.
        ticket = ++settleRequests;
        wl_callback_add_listener(wl_display_sync(display), &listener, this);
        wl_display_flush(display);
    }
    std::unique_lock lock(settleMutex);
    return settledChanged.wait_for(lock, timeout, [&] { return settled >= ticket || stopping.load(); }) &&
           settled >= ticket;
}

void WaylandConnection::dispatchLoop()
{
    const int fd = wl_display_get_fd(display);
    while (!stopping.load()) {
        while (wl_display_prepare_read(display) != 0) {
            std::lock_guard hold(dispatchMutex);
            wl_display_dispatch_pending(display);
        }
        wl_display_flush(display);
        pollfd ready[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(ready, 2, -1) < 0 && errno != EINTR) {
            wl_display_cancel_read(display);
            return;
        }
        if (ready[0].revents & (POLLERR | POLLHUP)) {
            wl_display_cancel_read(display);
            return; // the compositor has gone
        }
        if (stopping.load() || (ready[0].revents & POLLIN) == 0) {
            wl_display_cancel_read(display);
            continue;
        }
        if (wl_display_read_events(display) < 0)
            return;
        std::lock_guard hold(dispatchMutex);
        wl_display_dispatch_pending(display);
    }
}

std::vector<std::string> WaylandConnection::OfferedInterfaces()
{
    std::vector<std::string> names;
    wl_display* probe = wl_display_connect(nullptr);
    if (probe == nullptr)
        return names;
    wl_registry* list = wl_display_get_registry(probe);
    static const wl_registry_listener listener = {
        .global =
            [](void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t) {
                static_cast<std::vector<std::string>*>(data)->push_back(interface);
            },
        .global_remove = [](void*, wl_registry*, std::uint32_t) {},
    };
    wl_registry_add_listener(list, &listener, &names);
    wl_display_roundtrip(probe);
    wl_registry_destroy(list);
    wl_display_disconnect(probe);
    return names;
}
