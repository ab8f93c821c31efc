#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class WaylandConnection;
struct wl_output;
struct zxdg_output_manager_v1;

// The compositor's outputs (monitors) and where each sits in the desktop's
// layout, in logical coordinates (xdg-output where the compositor offers it,
// else the output's position and its mode divided by its scale). Outputs
// are bound on first use and followed on the connection's dispatch thread;
// outputs plugged in later are bound at the next call. Any thread.
class WaylandOutputs {
public:
    struct Output {
        wl_output* proxy = nullptr;
        std::string name;
        int x = 0, y = 0, width = 0, height = 0; // logical rectangle in the layout
        int pixelWidth = 0, pixelHeight = 0;     // the current mode
        int scale = 1;
        int transform = 0; // wl_output_transform
    };
    struct Box {
        int x = 0, y = 0, width = 0, height = 0;
    };

    explicit WaylandOutputs(WaylandConnection& connection);
    ~WaylandOutputs();
    WaylandOutputs(const WaylandOutputs&) = delete;
    WaylandOutputs& operator=(const WaylandOutputs&) = delete;

    // The outputs now, those with a known size only.
    std::vector<Output> current();
    // The rectangle that spans every output; empty without outputs.
    Box layout();

    // One bound output with what its events said (defined in the source).
    struct Tracked;

private:
    // Binds the outputs the compositor offers that are not bound yet and
    // forgets those it no longer offers.
    void follow();

    WaylandConnection& connection;
    zxdg_output_manager_v1* xdgOutputs = nullptr;
    std::mutex mutex; // guards outputs and every Tracked's fields
    std::vector<std::unique_ptr<Tracked>> outputs;
    std::vector<std::unique_ptr<Tracked>> unplugged; // kept until exit: listeners may still name them
};
