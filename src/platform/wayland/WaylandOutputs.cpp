#include "WaylandOutputs.h"

#include "WaylandConnection.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <algorithm>
#include <wayland-client.h>

namespace {

// Version 2 brings the "done" and "scale" events.
constexpr std::uint32_t kOutputVersion = 2;

const zxdg_output_v1_listener kLogicalListener = {
    .logical_position =
        [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
            static_cast<QRect*>(data)->moveTo(x, y);
        },
    .logical_size =
        [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
            static_cast<QRect*>(data)->setSize(QSize(width, height));
        },
    .done = [](void*, zxdg_output_v1*) {},
    .name = [](void*, zxdg_output_v1*, const char*) {},
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

} // namespace

const wl_output_listener WaylandOutputs::kOutputListener = {
    .geometry =
        [](void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t, std::int32_t,
           const char*, const char*, std::int32_t transform) {
            auto* tracked = static_cast<Tracked*>(data);
            tracked->state.rect.moveTo(x, y);
            tracked->state.transform = transform;
        },
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t) {
            if (flags & WL_OUTPUT_MODE_CURRENT)
                static_cast<Tracked*>(data)->state.pixels = QSize(width, height);
        },
    .done = [](void* data, wl_output*) { static_cast<Tracked*>(data)->described = true; },
    .scale = [](void* data, wl_output*, std::int32_t factor) { static_cast<Tracked*>(data)->state.scale = factor; },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

WaylandOutputs::WaylandOutputs(WaylandConnection& wayland) : connection(wayland)
{
    {
        const std::unique_lock hold = connection.holdDispatch();
        manager = static_cast<zxdg_output_manager_v1*>(connection.bind(&zxdg_output_manager_v1_interface, 3));
    }
    follow();
}

WaylandOutputs::~WaylandOutputs()
{
    const std::unique_lock hold = connection.holdDispatch();
    for (const auto& tracked : outputs)
        Release(*tracked);
    if (manager != nullptr)
        zxdg_output_manager_v1_destroy(manager);
    connection.flush();
}

void WaylandOutputs::Release(const Tracked& tracked)
{
    if (tracked.logical != nullptr)
        zxdg_output_v1_destroy(tracked.logical);
    wl_output_destroy(tracked.state.proxy);
}

void WaylandOutputs::follow()
{
    const std::vector<WaylandConnection::Global> offered = connection.globalsOf("wl_output");
    bool added = false;
    {
        const std::unique_lock hold = connection.holdDispatch();
        std::erase_if(outputs, [&](const std::unique_ptr<Tracked>& tracked) {
            const bool gone = std::none_of(offered.begin(), offered.end(), [&](const WaylandConnection::Global& g) {
                return g.name == tracked->global;
            });
            if (gone)
                Release(*tracked);
            return gone;
        });
        for (const WaylandConnection::Global& global : offered) {
            if (std::any_of(outputs.begin(), outputs.end(),
                            [&](const auto& tracked) { return tracked->global == global.name; }))
                continue;
            Tracked& tracked = *outputs.emplace_back(std::make_unique<Tracked>());
            tracked.global = global.name;
            tracked.state.proxy = static_cast<wl_output*>(connection.bind(global, &wl_output_interface, kOutputVersion));
            wl_output_add_listener(tracked.state.proxy, &kOutputListener, &tracked);
            if (manager != nullptr) {
                tracked.logical = zxdg_output_manager_v1_get_xdg_output(manager, tracked.state.proxy);
                zxdg_output_v1_add_listener(tracked.logical, &kLogicalListener, &tracked.logicalRect);
            }
            added = true;
        }
        connection.flush();
    }
    // A new output's description has come once its events are handled.
    if (added)
        connection.settle();
}

std::vector<WaylandOutputs::Output> WaylandOutputs::current()
{
    follow();
    std::vector<Output> found;
    const std::unique_lock hold = connection.holdDispatch();
    for (const auto& tracked : outputs) {
        Output output = tracked->state;
        if (!tracked->logicalRect.isEmpty()) {
            output.rect = tracked->logicalRect;
        } else {
            // Turned a quarter (flipped or not), the output's sides swap.
            const bool sideways = (output.transform & 1) != 0;
            const QSize shown = sideways ? output.pixels.transposed() : output.pixels;
            const int scale = std::max(output.scale, 1);
            output.rect.setSize(QSize(shown.width() / scale, shown.height() / scale));
        }
        if (tracked->described && !output.rect.isEmpty())
            found.push_back(output);
    }
    return found;
}

QRect WaylandOutputs::desktop()
{
    QRect united;
    for (const Output& output : current())
        united = united.united(output.rect);
    return united;
}
