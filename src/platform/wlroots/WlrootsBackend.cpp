#include "WlrootsBackend.h"

#include "LayerShellOverlay.h"

#include <algorithm>

WlrootsBackend::WlrootsBackend() = default;

WlrootsBackend::~WlrootsBackend()
{
    // No listener may run while the services take their proxies down.
    connection.stopDispatching();
}

bool WlrootsBackend::ready()
{
    return connection.connected() && poster.hasEventSource();
}

std::unique_ptr<LaserDotSurface> WlrootsBackend::makeLaserDotSurface()
{
    auto overlay = std::make_unique<LayerShellOverlay>(connection);
    if (!overlay->available())
        return nullptr;
    return overlay;
}

bool WlrootsBackend::Detected()
{
    const std::vector<std::string> offered = WaylandConnection::OfferedInterfaces();
    const auto offers = [&](const char* interface) {
        return std::find(offered.begin(), offered.end(), interface) != offered.end();
    };
    return offers("zwlr_virtual_pointer_manager_v1") && offers("zwp_virtual_keyboard_manager_v1");
}
