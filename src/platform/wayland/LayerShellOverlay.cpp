#include "LayerShellOverlay.h"

#include "ShmBuffer.h"
#include "WaylandConnection.h"
// The generated C header names an argument "namespace", a C++ keyword.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <wayland-client.h>

namespace {
// Buffers kept for reuse: one shown, one being drawn, one spare.
constexpr std::size_t kMaxBuffers = 3;
} // namespace

LayerShellOverlay::LayerShellOverlay(WaylandConnection& wayland) : connection(wayland)
{
    compositor = static_cast<wl_compositor*>(connection.bind(&wl_compositor_interface, 4));
    shm = static_cast<wl_shm*>(connection.bind(&wl_shm_interface, 1));
    layerShell = static_cast<zwlr_layer_shell_v1*>(connection.bind(&zwlr_layer_shell_v1_interface, 3));
}

LayerShellOverlay::~LayerShellOverlay()
{
    // The dispatch thread may be answering a configure event of the surface.
    const std::unique_lock hold = connection.holdDispatch();
    std::lock_guard lock(mutex);
    destroySurface();
    if (layerShell != nullptr) {
        if (connection.version("zwlr_layer_shell_v1", 3) >= 3)
            zwlr_layer_shell_v1_destroy(layerShell);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layerShell));
    }
    if (shm != nullptr)
        wl_shm_destroy(shm);
    if (compositor != nullptr)
        wl_compositor_destroy(compositor);
    connection.flush();
}

bool LayerShellOverlay::available() const
{
    return compositor != nullptr && shm != nullptr && layerShell != nullptr;
}

void LayerShellOverlay::setGeometry(const QRect& newRect)
{
    const std::unique_lock hold = connection.holdDispatch();
    std::lock_guard lock(mutex);
    rect = QRect(newRect.topLeft(), newRect.size().expandedTo(QSize(1, 1)));
    update();
}

QRect LayerShellOverlay::geometry() const
{
    std::lock_guard lock(mutex);
    return rect;
}

void LayerShellOverlay::setAppearance(const QColor& newFill, double cornerRadius)
{
    const std::unique_lock hold = connection.holdDispatch();
    std::lock_guard lock(mutex);
    fill = newFill;
    radius = cornerRadius;
    draw();
}

void LayerShellOverlay::setOpacity(double newOpacity)
{
    const std::unique_lock hold = connection.holdDispatch();
    std::lock_guard lock(mutex);
    opacity = std::clamp(newOpacity, 0.0, 1.0);
    if (opacity <= 0.0)
        destroySurface();
    else if (layerSurface == nullptr)
        createSurface();
    else
        draw();
}

bool LayerShellOverlay::visible() const
{
    std::lock_guard lock(mutex);
    return opacity > 0.0 && layerSurface != nullptr;
}

void LayerShellOverlay::createSurface()
{
    if (!available())
        return;
    static const zwlr_layer_surface_v1_listener listener = {
        .configure = &LayerShellOverlay::OnConfigure,
        .closed = &LayerShellOverlay::OnClosed,
    };
    surface = wl_compositor_create_surface(compositor);
    // An empty input region: the pointer and its clicks go to what is below.
    wl_region* nothing = wl_compositor_create_region(compositor);
    wl_surface_set_input_region(surface, nothing);
    wl_region_destroy(nothing);
    layerSurface = zwlr_layer_shell_v1_get_layer_surface(layerShell, surface, nullptr,
                                                         ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "corvane-laser-dot");
    zwlr_layer_surface_v1_add_listener(layerSurface, &listener, this);
    zwlr_layer_surface_v1_set_anchor(layerSurface,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
    // Placed by its margins alone: other surfaces' exclusive zones (panels)
    // do not push it.
    zwlr_layer_surface_v1_set_exclusive_zone(layerSurface, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(layerSurface, 0);
    configured = false;
    sizeAsked = QSize();
    update(); // the first commit, without a picture, asks for a configure
}

void LayerShellOverlay::destroySurface()
{
    if (layerSurface != nullptr)
        zwlr_layer_surface_v1_destroy(layerSurface);
    if (surface != nullptr)
        wl_surface_destroy(surface);
    layerSurface = nullptr;
    surface = nullptr;
    configured = false;
    buffers.clear();
    connection.flush();
}

void LayerShellOverlay::update()
{
    if (layerSurface == nullptr)
        return;
    const bool resized = rect.size() != sizeAsked;
    if (resized) {
        zwlr_layer_surface_v1_set_size(layerSurface, static_cast<std::uint32_t>(rect.width()),
                                       static_cast<std::uint32_t>(rect.height()));
        sizeAsked = rect.size();
    }
    zwlr_layer_surface_v1_set_margin(layerSurface, rect.y(), 0, 0, rect.x());
    if (configured && !resized) {
        draw();
        return;
    }
    // A new size is drawn once the compositor has configured it.
    wl_surface_commit(surface);
    connection.flush();
}

void LayerShellOverlay::draw()
{
    if (layerSurface == nullptr || !configured || opacity <= 0.0)
        return;
    const QSize size = rect.size();
    std::erase_if(buffers, [&](const std::unique_ptr<ShmBuffer>& buffer) {
        return !buffer->busy() && buffer->size() != size;
    });
    auto free = std::find_if(buffers.begin(), buffers.end(),
                             [](const std::unique_ptr<ShmBuffer>& buffer) { return !buffer->busy(); });
    if (free == buffers.end()) {
        if (buffers.size() >= kMaxBuffers)
            buffers.erase(buffers.begin()); // the compositor holds on to all: the oldest goes
        buffers.push_back(std::make_unique<ShmBuffer>(shm, size));
        free = std::prev(buffers.end());
        if (!(*free)->valid()) {
            buffers.erase(free);
            return;
        }
    }
    ShmBuffer& buffer = **free;
    {
        QPainter painter(&buffer.pixels());
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(QRect(QPoint(), size), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(opacity);
        const double drawn = std::clamp(radius, 0.0, std::min(size.width(), size.height()) / 2.0);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(QPointF(), QSizeF(size)), drawn, drawn);
        painter.fillPath(shape, fill);
    }
    buffer.markAttached();
    wl_surface_attach(surface, buffer.get(), 0, 0);
    wl_surface_damage_buffer(surface, 0, 0, size.width(), size.height());
    wl_surface_commit(surface);
    connection.flush();
}

void LayerShellOverlay::OnConfigure(void* data, zwlr_layer_surface_v1* layerSurface, std::uint32_t serial,
                                    std::uint32_t, std::uint32_t)
{
    auto* self = static_cast<LayerShellOverlay*>(data);
    std::lock_guard lock(self->mutex);
    if (layerSurface != self->layerSurface)
        return;
    zwlr_layer_surface_v1_ack_configure(layerSurface, serial);
    self->configured = true;
    self->draw();
}

void LayerShellOverlay::OnClosed(void* data, zwlr_layer_surface_v1* layerSurface)
{
    auto* self = static_cast<LayerShellOverlay*>(data);
    std::lock_guard lock(self->mutex);
    if (layerSurface != self->layerSurface)
        return;
    // The compositor took it away (its output went): made again when next shown.
    self->destroySurface();
    self->opacity = 0.0;
}
