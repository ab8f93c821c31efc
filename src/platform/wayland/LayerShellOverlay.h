#pragma once

#include "LaserDotSurface.h"

#include <QColor>
#include <QRect>
#include <memory>
#include <mutex>
#include <vector>

class ShmBuffer;
class WaylandConnection;
struct wl_compositor;
struct wl_shm;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

// A shape that floats above every window, full-screen ones included, and
// takes no input: clicks and the pointer pass through it to the window
// below. It is a layer-shell surface (zwlr_layer_shell_v1) on the overlay
// layer with an empty input region and no keyboard interactivity, placed
// by its margins from the top-left corner of the output the compositor
// chooses, and drawn from shared memory: one rounded rectangle of one
// colour (the laser pointer's dot). Generic: any compositor with
// layer-shell, wl_compositor and wl_shm.
//
// Rectangles are in the output's logical pixels, origin at its top-left
// corner, y growing downwards; a part outside the output is cut off.
// Hidden, the surface is destroyed, and made again when shown. Main thread
// only (the compositor's configure events are answered on the connection's
// dispatch thread).
class LayerShellOverlay : public LaserDotSurface {
public:
    // The connection must outlive the overlay.
    explicit LayerShellOverlay(WaylandConnection& connection);
    ~LayerShellOverlay() override;
    LayerShellOverlay(const LayerShellOverlay&) = delete;
    LayerShellOverlay& operator=(const LayerShellOverlay&) = delete;

    // Whether the compositor offers what the overlay needs.
    bool available() const;

    void setGeometry(const QRect& rect) override;
    QRect geometry() const override;
    // The fill (its alpha included) and the corner radius asked for; the
    // drawn radius never exceeds half the shorter side.
    void setAppearance(const QColor& fill, double cornerRadius) override;
    // Shows the shape at this opacity (0 to 1), or takes it off at 0.
    void setOpacity(double opacity) override;
    bool visible() const override;
    // The overlay layer stays above every window on its own: nothing to do.
    void raise() override {}
    // Clicks pass through the shape, so it is never dragged.
    void setDragListener(std::function<void(const QRect&)>) override {}

private:
    static void OnConfigure(void* data, zwlr_layer_surface_v1* surface, std::uint32_t serial, std::uint32_t width,
                            std::uint32_t height);
    static void OnClosed(void* data, zwlr_layer_surface_v1* surface);

    // The steps below run with mutex held.
    void createSurface();
    void destroySurface();
    // Sends size and place, and a new picture once configured.
    void update();
    void draw();

    WaylandConnection& connection;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    zwlr_layer_shell_v1* layerShell = nullptr;

    mutable std::mutex mutex; // guards everything below
    QRect rect{0, 0, 1, 1};
    QColor fill = Qt::red;
    double radius = 0;
    double opacity = 0;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layerSurface = nullptr;
    bool configured = false;
    QSize sizeAsked; // the size last sent with set_size
    std::vector<std::unique_ptr<ShmBuffer>> buffers;
};
