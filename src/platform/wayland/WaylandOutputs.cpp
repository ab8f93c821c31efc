#include "WaylandOutputs.h"

#include "WaylandConnection.h"

#include "xdg-output-unstable-v1-client-protocol.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <wayland-client.h>

struct WaylandOutputs::Tracked {
    std::mutex* mutex = nullptr; // the owner's
    std::uint32_t global = 0;
    zxdg_output_v1* xdg = nullptr;
    Output state;
    bool described = false; // a first "done" came
    bool logical = false;   // xdg-output gave the logical rectangle
    int logicalX = 0, logicalY = 0, logicalWidth = 0, logicalHeight = 0;
};

namespace {

using Tracked = WaylandOutputs::Tracked;

// Runs fn on the output's record under its owner's lock (dispatch thread).
template <typename Fn>
void Update(void* data, Fn&& fn)
{
    auto* tracked = static_cast<Tracked*>(data);
    std::lock_guard lock(*tracked->mutex);
    fn(*tracked);
}

const wl_output_listener kOutputListener = {
    .geometry =
        [](void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*,
           int32_t transform) {
            Update(data, [&](Tracked& t) {
                t.state.x = x;
                t.state.y = y;
                t.state.transform = transform;
            });
        },
    .mode =
        [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
            if (flags & WL_OUTPUT_MODE_CURRENT) {
                Update(data, [&](Tracked& t) {
                    t.state.pixelWidth = width;
                    t.state.pixelHeight = height;
                });
            }
        },
    .done = [](void* data, wl_output*) { Update(data, [](Tracked& t) { t.described = true; }); },
    .scale = [](void* data, wl_output*, int32_t factor) { Update(data, [&](Tracked& t) { t.state.scale = factor; }); },
    .name = [](void* data, wl_output*, const char* name) { Update(data, [&](Tracked& t) { t.state.name = name; }); },
    .description = [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener kXdgOutputListener = {
    .logical_position =
        [](void* data, zxdg_output_v1*, int32_t x, int32_t y) {
            Update(data, [&](Tracked& t) {
                t.logical = true;
                t.logicalX = x;
                t.logicalY = y;
            });
        },
    .logical_size =
        [](void* data, zxdg_output_v1*, int32_t width, int32_t height) {
            Update(data, [&](Tracked& t) {
                t.logicalWidth = width;
                t.logicalHeight = height;
            });
        },
    .done = [](void*, zxdg_output_v1*) {},
    .name =
        [](void* data, zxdg_output_v1*, const char* name) {
            Update(data, [&](Tracked& t) {
                if (t.state.name.empty())
                    t.state.name = name;
            });
        },
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

} // namespace

WaylandOutputs::WaylandOutputs(WaylandConnection& connection) : connection(connection)
{
    xdgOutputs = static_cast<zxdg_output_manager_v1*>(connection.bind(&zxdg_output_manager_v1_interface, 3));
}

WaylandOutputs::~WaylandOutputs()
{
    connection.run([this] {
        for (auto* list : {&outputs, &unplugged}) {
            for (const auto& tracked : *list) {
                if (tracked->xdg)
                    zxdg_output_v1_destroy(tracked->xdg);
                if (tracked->state.proxy)
                    wl_output_destroy(tracked->state.proxy);
            }
        }
        if (xdgOutputs)
            zxdg_output_manager_v1_destroy(xdgOutputs);
    });
}

void WaylandOutputs::follow()
{
    const std::vector<WaylandConnection::Global> offered = connection.globalsOf("wl_output");
    std::vector<std::pair<Tracked*, WaylandConnection::Global>> added;
    {
        std::lock_guard lock(mutex);
        for (auto it = outputs.begin(); it != outputs.end();) {
            const bool gone = std::none_of(offered.begin(), offered.end(), [&](const WaylandConnection::Global& g) {
                return g.name == (*it)->global;
            });
            if (gone) {
                unplugged.push_back(std::move(*it));
                it = outputs.erase(it);
            } else {
                ++it;
            }
        }
        for (const WaylandConnection::Global& global : offered) {
            const bool known = std::any_of(outputs.begin(), outputs.end(),
                                           [&](const auto& tracked) { return tracked->global == global.name; });
            if (known)
                continue;
            auto tracked = std::make_unique<Tracked>();
            tracked->mutex = &mutex;
            tracked->global = global.name;
            added.emplace_back(tracked.get(), global);
            outputs.push_back(std::move(tracked));
        }
    }
    if (added.empty())
        return;
    connection.run([&] {
        for (auto& [tracked, global] : added) {
            auto* output = static_cast<wl_output*>(connection.bind(global, &wl_output_interface, 4));
            wl_output_add_listener(output, &kOutputListener, tracked);
            zxdg_output_v1* xdg = nullptr;
            if (xdgOutputs) {
                xdg = zxdg_output_manager_v1_get_xdg_output(xdgOutputs, output);
                zxdg_output_v1_add_listener(xdg, &kXdgOutputListener, tracked);
            }
            std::lock_guard lock(mutex);
            tracked->state.proxy = output;
            tracked->xdg = xdg;
        }
        connection.flush();
    });
    connection.sync(std::chrono::seconds(2));
}

std::vector<WaylandOutputs::Output> WaylandOutputs::current()
{
    follow();
    std::vector<Output> found;
    std::lock_guard lock(mutex);
    for (const auto& tracked : outputs) {
        if (!tracked->described || tracked->state.proxy == nullptr)
            continue;
        Output output = tracked->state;
        if (tracked->logical && tracked->logicalWidth > 0 && tracked->logicalHeight > 0) {
            output.x = tracked->logicalX;
            output.y = tracked->logicalY;
            output.width = tracked->logicalWidth;
            output.height = tracked->logicalHeight;
        } else {
            const int scale = std::max(output.scale, 1);
            const bool sideways = (output.transform & 1) != 0; // 90 and 270 degrees, flipped or not
            output.width = (sideways ? output.pixelHeight : output.pixelWidth) / scale;
            output.height = (sideways ? output.pixelWidth : output.pixelHeight) / scale;
        }
        if (output.width > 0 && output.height > 0)
            found.push_back(output);
    }
    return found;
}

WaylandOutputs::Box WaylandOutputs::layout()
{
    const std::vector<Output> all = current();
    if (all.empty())
        return {};
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    for (const Output& output : all) {
        left = std::min(left, output.x);
        top = std::min(top, output.y);
        right = std::max(right, output.x + output.width);
        bottom = std::max(bottom, output.y + output.height);
    }
    return {left, top, right - left, bottom - top};
}
