#include "PlasmaWindowControl.h"

#include "WaylandConnection.h"
#include "plasma-window-management-client-protocol.h"

#include <algorithm>
#include <sstream>
#include <wayland-client.h>

namespace {

// Windows by UUID need version 13; resource names come with 16.
constexpr std::uint32_t kMinimumVersion = 13;
constexpr std::uint32_t kVersion = 16;

template <typename... Args>
void Ignore(void*, org_kde_plasma_window*, Args...)
{
}

} // namespace

PlasmaWindowControl::PlasmaWindowControl(WaylandConnection& wayland) : connection(wayland)
{
    if (connection.version("org_kde_plasma_window_management", kVersion) < kMinimumVersion)
        return;
    static const org_kde_plasma_window_management_listener listener = {
        .show_desktop_changed = &PlasmaWindowControl::OnShowDesktop,
        .window = [](void*, org_kde_plasma_window_management*, std::uint32_t) {},
        .stacking_order_changed = [](void*, org_kde_plasma_window_management*, wl_array*) {},
        .stacking_order_uuid_changed = &PlasmaWindowControl::OnStackingOrder,
        .window_with_uuid = &PlasmaWindowControl::OnWindow,
    };
    {
        const std::unique_lock hold = connection.holdDispatch();
        manager = static_cast<org_kde_plasma_window_management*>(
            connection.bind(&org_kde_plasma_window_management_interface, kVersion));
        if (manager == nullptr)
            return;
        org_kde_plasma_window_management_add_listener(manager, &listener, this);
        connection.flush();
    }
    // The windows that are open already are announced at once.
    catchUp();
}

PlasmaWindowControl::~PlasmaWindowControl()
{
    for (const Window& window : windows)
        org_kde_plasma_window_destroy(window.proxy);
    if (manager != nullptr)
        org_kde_plasma_window_management_destroy(manager);
    connection.flush();
}

PlasmaWindowControl::Window* PlasmaWindowControl::Find(void* data, org_kde_plasma_window* proxy)
{
    auto& windows = static_cast<PlasmaWindowControl*>(data)->windows;
    const auto found =
        std::find_if(windows.begin(), windows.end(), [&](const Window& window) { return window.proxy == proxy; });
    return found == windows.end() ? nullptr : &*found;
}

void PlasmaWindowControl::OnWindow(void* data, org_kde_plasma_window_management* manager, std::uint32_t,
                                   const char* uuid)
{
    static const org_kde_plasma_window_listener listener = {
        .title_changed = Ignore<const char*>,
        .app_id_changed =
            [](void* data, org_kde_plasma_window* proxy, const char* appId) {
                std::lock_guard lock(static_cast<PlasmaWindowControl*>(data)->mutex);
                if (Window* window = Find(data, proxy))
                    window->facts.className = appId;
            },
        .state_changed =
            [](void* data, org_kde_plasma_window* proxy, std::uint32_t state) {
                std::lock_guard lock(static_cast<PlasmaWindowControl*>(data)->mutex);
                if (Window* window = Find(data, proxy))
                    window->state = state;
            },
        .virtual_desktop_changed = Ignore<std::int32_t>,
        .themed_icon_name_changed = Ignore<const char*>,
        .unmapped =
            [](void* data, org_kde_plasma_window* proxy) {
                auto* self = static_cast<PlasmaWindowControl*>(data);
                std::lock_guard lock(self->mutex);
                self->forget(proxy);
            },
        .initial_state =
            [](void* data, org_kde_plasma_window* proxy) {
                std::lock_guard lock(static_cast<PlasmaWindowControl*>(data)->mutex);
                if (Window* window = Find(data, proxy))
                    window->complete = true;
            },
        .parent_window = Ignore<org_kde_plasma_window*>,
        .geometry = Ignore<std::int32_t, std::int32_t, std::uint32_t, std::uint32_t>,
        .icon_changed = Ignore<>,
        .pid_changed =
            [](void* data, org_kde_plasma_window* proxy, std::uint32_t pid) {
                std::lock_guard lock(static_cast<PlasmaWindowControl*>(data)->mutex);
                if (Window* window = Find(data, proxy))
                    window->facts.pid = static_cast<pid_t>(pid);
            },
        .virtual_desktop_entered = Ignore<const char*>,
        .virtual_desktop_left = Ignore<const char*>,
        .application_menu = Ignore<const char*, const char*>,
        .activity_entered = Ignore<const char*>,
        .activity_left = Ignore<const char*>,
        .resource_name_changed =
            [](void* data, org_kde_plasma_window* proxy, const char* name) {
                std::lock_guard lock(static_cast<PlasmaWindowControl*>(data)->mutex);
                if (Window* window = Find(data, proxy))
                    window->facts.instanceName = name;
            },
    };
    auto* self = static_cast<PlasmaWindowControl*>(data);
    std::lock_guard lock(self->mutex);
    Window window;
    window.proxy = org_kde_plasma_window_management_get_window_by_uuid(manager, uuid);
    window.uuid = uuid;
    window.facts.id = ++self->lastId;
    org_kde_plasma_window_add_listener(window.proxy, &listener, self);
    self->windows.push_back(std::move(window));
}

void PlasmaWindowControl::OnStackingOrder(void* data, org_kde_plasma_window_management*, const char* uuids)
{
    auto* self = static_cast<PlasmaWindowControl*>(data);
    std::lock_guard lock(self->mutex);
    self->stacking.clear();
    std::istringstream list(uuids);
    for (std::string uuid; std::getline(list, uuid, ';');)
        self->stacking.push_back(uuid);
}

void PlasmaWindowControl::OnShowDesktop(void* data, org_kde_plasma_window_management*, std::uint32_t state)
{
    auto* self = static_cast<PlasmaWindowControl*>(data);
    std::lock_guard lock(self->mutex);
    self->showingDesktop = state == ORG_KDE_PLASMA_WINDOW_MANAGEMENT_SHOW_DESKTOP_ENABLED;
}

void PlasmaWindowControl::forget(org_kde_plasma_window* proxy)
{
    org_kde_plasma_window_destroy(proxy);
    std::erase_if(windows, [&](const Window& window) { return window.proxy == proxy; });
}

void PlasmaWindowControl::catchUp()
{
    // A new window is announced, then asked for, then described: two
    // round trips.
    if (manager != nullptr && connection.settle())
        connection.settle();
}

std::vector<ClientWindow> PlasmaWindowControl::list()
{
    catchUp();
    std::lock_guard lock(mutex);
    std::vector<const Window*> ordered;
    for (const Window& window : windows) {
        if (window.complete)
            ordered.push_back(&window);
    }
    // Windows missing from the stacking order (not yet in it) stay last.
    const auto place = [&](const Window* window) {
        return std::find(stacking.begin(), stacking.end(), window->uuid) - stacking.begin();
    };
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](const Window* a, const Window* b) { return place(a) < place(b); });
    std::vector<ClientWindow> listed;
    for (const Window* window : ordered) {
        listed.push_back(window->facts);
        // Without a resource name (an older KWin) the app id names it too.
        if (listed.back().instanceName.empty())
            listed.back().instanceName = listed.back().className;
    }
    return listed;
}

bool PlasmaWindowControl::setState(std::uint64_t id, std::uint32_t flags, std::uint32_t state)
{
    std::lock_guard lock(mutex);
    for (const Window& window : windows) {
        if (window.facts.id == id) {
            org_kde_plasma_window_set_state(window.proxy, flags, state);
            connection.flush();
            return true;
        }
    }
    return false;
}

bool PlasmaWindowControl::activate(std::uint64_t window)
{
    return setState(window, ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE | ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED,
                    ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE);
}

bool PlasmaWindowControl::close(std::uint64_t id)
{
    std::lock_guard lock(mutex);
    for (const Window& window : windows) {
        if (window.facts.id == id) {
            org_kde_plasma_window_close(window.proxy);
            connection.flush();
            return true;
        }
    }
    return false;
}

void PlasmaWindowControl::minimizeActive()
{
    catchUp();
    std::uint64_t active = 0;
    {
        std::lock_guard lock(mutex);
        for (const Window& window : windows) {
            if (window.state & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE)
                active = window.facts.id;
        }
    }
    if (active != 0)
        setState(active, ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED,
                 ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED);
}

void PlasmaWindowControl::toggleShowingDesktop()
{
    std::lock_guard lock(mutex);
    if (manager == nullptr)
        return;
    org_kde_plasma_window_management_show_desktop(manager, showingDesktop
                                                               ? ORG_KDE_PLASMA_WINDOW_MANAGEMENT_SHOW_DESKTOP_DISABLED
                                                               : ORG_KDE_PLASMA_WINDOW_MANAGEMENT_SHOW_DESKTOP_ENABLED);
    connection.flush();
}
