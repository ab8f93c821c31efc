#pragma once

#include <QRect>
#include <vector>

class WaylandConnection;
struct wl_output;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

// The compositor's outputs (monitors) in its global logical coordinates,
// from xdg-output: where the pointer can go. The outputs present when it
// is made are followed through their changes of mode, scale and place.
// Any thread.
class WaylandOutputs {
public:
    // The connection must outlive this object and have stopped dispatching
    // before it is destroyed.
    explicit WaylandOutputs(WaylandConnection& connection);
    ~WaylandOutputs();
    WaylandOutputs(const WaylandOutputs&) = delete;
    WaylandOutputs& operator=(const WaylandOutputs&) = delete;

    // The rectangle that holds every output; empty when none is known.
    QRect desktop() const;

private:
    struct Output {
        wl_output* output = nullptr;
        zxdg_output_v1* logical = nullptr;
        QRect rect;
    };

    WaylandConnection& connection;
    zxdg_output_manager_v1* manager = nullptr;
    std::vector<Output> outputs; // the rectangles under the connection's dispatch hold
};
