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

bool WaylandConnection::connected() const
{
    return display != nullptr && wl_display_get_error(display) == 0;
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

bool WaylandConnection::dispatchUntil(wl_event_queue* queue, const std::function<bool()>& done,
                                      std::chrono::milliseconds timeout)
{
    if (display == nullptr)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const int fd = wl_display_get_fd(display);
    for (;;) {
        if (wl_display_dispatch_queue_pending(display, queue) < 0)
            return false;
        if (done())
            return true;
        if (wl_display_prepare_read_queue(display, queue) != 0)
            continue; // events came in meanwhile
        flush();
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        const int polled = left.count() > 0 ? ::poll(&ready, 1, static_cast<int>(left.count())) : 0;
        if (polled <= 0 || (ready.revents & (POLLERR | POLLHUP))) {
            wl_display_cancel_read(display);
            if (polled < 0 && errno == EINTR)
                continue;
            return false;
        }
        if (wl_display_read_events(display) < 0)
            return false;
    }
}

void* WaylandConnection::Wrap(void* proxy, wl_event_queue* queue)
{
    void* wrapper = wl_proxy_create_wrapper(proxy);
    wl_proxy_set_queue(static_cast<wl_proxy*>(wrapper), queue);
    return wrapper;
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
