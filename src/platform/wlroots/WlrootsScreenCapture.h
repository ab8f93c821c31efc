#pragma once

#include "ScreenCapture.h"
#include "WaylandOutputs.h"

class WaylandConnection;
struct wl_shm;
struct zwlr_screencopy_manager_v1;

// Captures every output of a wlroots compositor with the screencopy
// protocol into shared memory and puts the pictures together as the outputs
// sit in the layout. Any thread: each capture dispatches an event queue of
// its own on the calling thread.
class WlrootsScreenCapture : public ScreenCapture {
public:
    WlrootsScreenCapture(WaylandConnection& connection, WaylandOutputs& outputs);
    ~WlrootsScreenCapture() override;
    WlrootsScreenCapture(const WlrootsScreenCapture&) = delete;
    WlrootsScreenCapture& operator=(const WlrootsScreenCapture&) = delete;

    QImage grab() override;

private:
    // One output's picture, turned upright; null when it failed.
    QImage capture(const WaylandOutputs::Output& output);

    WaylandConnection& connection;
    WaylandOutputs& outputs;
    wl_shm* shm = nullptr;
    zwlr_screencopy_manager_v1* manager = nullptr;
    std::uint32_t version = 0;
};
