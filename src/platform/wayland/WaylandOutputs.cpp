#include "WaylandOutputs.h"

#include "WaylandConnection.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <wayland-client.h>

WaylandOutputs::WaylandOutputs(WaylandConnection& wayland) : connection(wayland)
{
    static const zxdg_output_v1_listener listener = {
        .logical_position =
            [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
                static_cast<Output*>(data)->rect.moveTo(x, y);
            },
        .logical_size =
            [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
                static_cast<Output*>(data)->rect.setSize(QSize(width, height));
            },
        .done = [](void*, zxdg_output_v1*) {},
        .name = [](void*, zxdg_output_v1*, const char*) {},
        .description = [](void*, zxdg_output_v1*, const char*) {},
    };
    const std::vector<WaylandConnection::Global> found = connection.globalsOf("wl_output");
    {
        const std::unique_lock hold = connection.holdDispatch();
        manager = static_cast<zxdg_output_manager_v1*>(connection.bind(&zxdg_output_manager_v1_interface, 3));
        if (manager == nullptr)
            return;
        // Reserved first: the listeners keep pointers into the list.
        outputs.reserve(found.size());
        for (const WaylandConnection::Global& global : found) {
            Output& output = outputs.emplace_back();
            output.output = static_cast<wl_output*>(connection.bind(global, &wl_output_interface, 1));
            output.logical = zxdg_output_manager_v1_get_xdg_output(manager, output.output);
            zxdg_output_v1_add_listener(output.logical, &listener, &output);
        }
        connection.flush();
    }
    connection.settle();
}

WaylandOutputs::~WaylandOutputs()
{
    for (const Output& output : outputs) {
        zxdg_output_v1_destroy(output.logical);
        wl_output_destroy(output.output);
    }
    if (manager != nullptr)
        zxdg_output_manager_v1_destroy(manager);
    connection.flush();
}

QRect WaylandOutputs::desktop() const
{
    // The rectangles change in the listeners, which run under this hold.
    const std::unique_lock hold = connection.holdDispatch();
    QRect united;
    for (const Output& output : outputs)
        united = united.united(output.rect);
    return united;
}
