#include "WlrootsWindowControl.h"

#include "WaylandConnection.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <algorithm>
#include <chrono>
#include <wayland-client.h>

struct WlrootsWindowControl::Toplevel {
    WlrootsWindowControl* owner = nullptr;
    zwlr_foreign_toplevel_handle_v1* handle = nullptr;
    std::uint64_t id = 0;
    std::string appId;
    bool activated = false;
    bool minimised = false;
    bool described = false; // a first "done" came
};

namespace {

// How long list() waits for the compositor's latest news.
constexpr std::chrono::seconds kSettleTimeout{2};

} // namespace

WlrootsWindowControl::WlrootsWindowControl(WaylandConnection& connection, wl_seat* seat)
    : connection(connection), seat(seat)
{
    const std::vector<WaylandConnection::Global> offered = connection.globalsOf("zwlr_foreign_toplevel_manager_v1");
    if (offered.empty())
        return;
    static const zwlr_foreign_toplevel_manager_v1_listener listener = {
        .toplevel = &WlrootsWindowControl::OnToplevel,
        .finished = [](void*, zwlr_foreign_toplevel_manager_v1*) {},
    };
    {
        const std::unique_lock hold = connection.holdDispatch();
        manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
            connection.bind(offered.front(), &zwlr_foreign_toplevel_manager_v1_interface, 3));
        zwlr_foreign_toplevel_manager_v1_add_listener(manager, &listener, this);
        connection.flush();
    }
    connection.settle(kSettleTimeout);
}

WlrootsWindowControl::~WlrootsWindowControl()
{
    std::lock_guard lock(mutex);
    for (const auto& toplevel : toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(toplevel->handle);
    if (manager)
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
    connection.flush();
}

void WlrootsWindowControl::OnToplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                                      zwlr_foreign_toplevel_handle_v1* handle)
{
    static const zwlr_foreign_toplevel_handle_v1_listener listener = {
        .title = [](void*, zwlr_foreign_toplevel_handle_v1*, const char*) {},
        .app_id = &WlrootsWindowControl::OnAppId,
        .output_enter = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
        .output_leave = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
        .state = &WlrootsWindowControl::OnState,
        .done = &WlrootsWindowControl::OnDone,
        .closed = &WlrootsWindowControl::OnClosed,
        .parent = [](void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {},
    };
    auto* self = static_cast<WlrootsWindowControl*>(data);
    auto toplevel = std::make_unique<Toplevel>();
    toplevel->owner = self;
    toplevel->handle = handle;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &listener, toplevel.get());
    std::lock_guard lock(self->mutex);
    toplevel->id = self->nextId++;
    self->toplevels.push_back(std::move(toplevel));
}

void WlrootsWindowControl::OnAppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId)
{
    auto* toplevel = static_cast<Toplevel*>(data);
    std::lock_guard lock(toplevel->owner->mutex);
    toplevel->appId = appId;
}

void WlrootsWindowControl::OnState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states)
{
    bool activated = false, minimised = false;
    const auto* values = static_cast<const std::uint32_t*>(states->data);
    for (std::size_t i = 0; i < states->size / sizeof(std::uint32_t); ++i) {
        activated = activated || values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
        minimised = minimised || values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED;
    }
    auto* toplevel = static_cast<Toplevel*>(data);
    std::lock_guard lock(toplevel->owner->mutex);
    toplevel->activated = activated;
    toplevel->minimised = minimised;
}

void WlrootsWindowControl::OnDone(void* data, zwlr_foreign_toplevel_handle_v1*)
{
    auto* toplevel = static_cast<Toplevel*>(data);
    std::lock_guard lock(toplevel->owner->mutex);
    toplevel->described = true;
}

void WlrootsWindowControl::OnClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* toplevel = static_cast<Toplevel*>(data);
    WlrootsWindowControl* self = toplevel->owner;
    std::lock_guard lock(self->mutex);
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
    std::erase_if(self->toplevels, [&](const auto& t) { return t.get() == toplevel; });
}

std::vector<ClientWindow> WlrootsWindowControl::list()
{
    connection.settle(kSettleTimeout);
    std::vector<ClientWindow> windows;
    std::lock_guard lock(mutex);
    for (const auto& toplevel : toplevels) {
        if (toplevel->described)
            windows.push_back(ClientWindow{toplevel->id, 0, toplevel->appId, toplevel->appId});
    }
    return windows;
}

template <typename Fn>
bool WlrootsWindowControl::With(std::uint64_t window, Fn&& fn)
{
    std::lock_guard lock(mutex);
    for (const auto& toplevel : toplevels) {
        if (toplevel->id == window) {
            fn(toplevel->handle);
            connection.flush();
            return true;
        }
    }
    return false;
}

bool WlrootsWindowControl::activate(std::uint64_t window)
{
    return seat != nullptr &&
           With(window, [&](zwlr_foreign_toplevel_handle_v1* handle) {
               zwlr_foreign_toplevel_handle_v1_unset_minimized(handle);
               zwlr_foreign_toplevel_handle_v1_activate(handle, seat);
           });
}

bool WlrootsWindowControl::close(std::uint64_t window)
{
    return With(window, [](zwlr_foreign_toplevel_handle_v1* handle) { zwlr_foreign_toplevel_handle_v1_close(handle); });
}

void WlrootsWindowControl::minimizeActive()
{
    connection.settle(kSettleTimeout);
    std::lock_guard lock(mutex);
    for (const auto& toplevel : toplevels) {
        if (toplevel->activated)
            zwlr_foreign_toplevel_handle_v1_set_minimized(toplevel->handle);
    }
    connection.flush();
}

void WlrootsWindowControl::toggleShowingDesktop()
{
    connection.settle(kSettleTimeout);
    std::lock_guard lock(mutex);
    const bool allMinimised =
        std::all_of(toplevels.begin(), toplevels.end(), [](const auto& t) { return t->minimised; });
    for (const auto& toplevel : toplevels) {
        if (allMinimised)
            zwlr_foreign_toplevel_handle_v1_unset_minimized(toplevel->handle);
        else
            zwlr_foreign_toplevel_handle_v1_set_minimized(toplevel->handle);
    }
    connection.flush();
}
