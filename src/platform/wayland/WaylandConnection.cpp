#include "WaylandConnection.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <iterator>
#include <memory>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
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
    stopping.store(true);
    const std::uint64_t one = 1;
    (void)!::write(wakeFd, &one, sizeof one);
    dispatcher.join();
    ::close(wakeFd);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
}

bool WaylandConnection::connected() const
{
    return display != nullptr && wl_display_get_error(display) == 0;
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
    if (registry == nullptr || global.interface != interface->name)
        return nullptr;
    return wl_registry_bind(registry, global.name, interface, std::min(global.version, maxVersion));
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
    void* proxy = wl_registry_bind(registry, name, interface, version);
    flush();
    return proxy;
}

void WaylandConnection::flush()
{
    if (display != nullptr)
        wl_display_flush(display);
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

bool WaylandConnection::sync(std::chrono::milliseconds timeout)
{
    if (!connected())
        return false;
    // Shared with the callback, which may still come after a time-out.
    struct Wait {
        std::mutex mutex;
        std::condition_variable signal;
        bool done = false;
    };
    const auto wait = std::make_shared<Wait>();
    static const wl_callback_listener listener = {.done = [](void* data, wl_callback* callback, std::uint32_t) {
        auto* held = static_cast<std::shared_ptr<Wait>*>(data);
        {
            std::lock_guard lock((*held)->mutex);
            (*held)->done = true;
        }
        (*held)->signal.notify_all();
        wl_callback_destroy(callback);
        delete held;
    }};
    run([&] {
        wl_callback_add_listener(wl_display_sync(display), &listener, new std::shared_ptr<Wait>(wait));
        wl_display_flush(display);
    });
    std::unique_lock lock(wait->mutex);
    return wait->signal.wait_for(lock, timeout, [&] { return wait->done; });
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
        wl_display_flush(display);
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

void WaylandConnection::run(const std::function<void()>& task)
{
    if (display == nullptr)
        return;
    if (std::this_thread::get_id() == dispatcher.get_id()) {
        task();
        return;
    }
    std::unique_lock lock(tasksMutex);
    if (!dispatching) { // nothing dispatches any more: nothing can race
        task();
        return;
    }
    bool done = false;
    tasks.push_back({&task, &done});
    const std::uint64_t one = 1;
    (void)!::write(wakeFd, &one, sizeof one);
    tasksDone.wait(lock, [&] { return done; });
}

void WaylandConnection::runTasks()
{
    std::unique_lock lock(tasksMutex);
    while (!tasks.empty()) {
        const Task task = tasks.front();
        tasks.pop_front();
        lock.unlock();
        (*task.run)();
        lock.lock();
        *task.done = true;
    }
    tasksDone.notify_all();
}

void WaylandConnection::dispatchLoop()
{
    const int fd = wl_display_get_fd(display);
    while (!stopping.load()) {
        while (wl_display_prepare_read(display) != 0)
            wl_display_dispatch_pending(display);
        wl_display_flush(display);
        pollfd ready[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(ready, 2, -1) < 0 && errno != EINTR) {
            wl_display_cancel_read(display);
            break;
        }
        if (ready[0].revents & (POLLERR | POLLHUP)) {
            wl_display_cancel_read(display);
            break; // the compositor has gone
        }
        if (ready[1].revents & POLLIN) {
            std::uint64_t count = 0;
            (void)!::read(wakeFd, &count, sizeof count);
        }
        if (stopping.load() || (ready[0].revents & POLLIN) == 0) {
            wl_display_cancel_read(display);
            runTasks();
            continue;
        }
        if (wl_display_read_events(display) < 0)
            break;
        wl_display_dispatch_pending(display);
        runTasks();
    }
    {
        std::lock_guard lock(tasksMutex);
        dispatching = false;
    }
    runTasks();
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
