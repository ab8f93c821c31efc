#pragma once

#include <QRect>
#include <cstdint>
#include <memory>
#include <vector>

class WaylandConnection;
struct wl_output;
struct wl_output_listener;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

// The compositor's outputs (monitors) in its global logical coordinates:
// where the pointer can go and what a screenshot shows. The rectangles come
// from xdg-output where the compositor offers it, else from the output's
// position and its mode turned by its transform and divided by its scale.
// Each output is followed through its changes of mode, scale and place on
// the connection's dispatch thread; outputs plugged in or out are taken in
// at the next call. Any thread.
class WaylandOutputs {
public:
    struct Output {
        wl_output* proxy = nullptr; // for requests about this output
        QRect rect;                 // logical rectangle in the layout
        QSize pixels;               // the current mode
        int scale = 1;
        int transform = 0; // wl_output_transform
    };

    // The connection must outlive this object and have stopped dispatching
    // before it is destroyed.
    explicit WaylandOutputs(WaylandConnection& connection);
    ~WaylandOutputs();
    WaylandOutputs(const WaylandOutputs&) = delete;
    WaylandOutputs& operator=(const WaylandOutputs&) = delete;

    // The outputs now, those with a known size only.
    std::vector<Output> current();
    // The rectangle that holds every output; empty when none is known.
    QRect desktop();

private:
    struct Tracked {
        std::uint32_t global = 0;
        zxdg_output_v1* logical = nullptr;
        Output state;
        bool described = false; // the output's first "done" came
        QRect logicalRect;      // from xdg-output; empty without it
    };
    static const wl_output_listener kOutputListener;

    // Binds the outputs the compositor offers that are not bound yet and
    // lets go of those it no longer offers.
    void follow();
    // Called with the connection's dispatch held.
    static void Release(const Tracked& tracked);

    WaylandConnection& connection;
    zxdg_output_manager_v1* manager = nullptr;
    // The outputs, changed by listeners under the connection's dispatch
    // hold (entries are owned here so that listeners keep their address).
    std::vector<std::unique_ptr<Tracked>> outputs;
};
