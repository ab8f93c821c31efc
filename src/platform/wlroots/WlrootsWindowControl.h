#pragma once

#include "WindowControl.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class WaylandConnection;
struct wl_array;
struct wl_seat;
struct zwlr_foreign_toplevel_handle_v1;
struct zwlr_foreign_toplevel_manager_v1;

// The applications' windows as a wlroots compositor lists them to a task
// bar (the foreign-toplevel protocol): in the order they appeared, each with
// its app id and no process (the protocol does not say which process owns a
// window). Activating one gives it the seat's focus; closing one asks it to
// close as its close button does. The list is kept on the connection's
// dispatch thread, which must have stopped before this is destroyed. Any
// thread.
class WlrootsWindowControl : public WindowControl {
public:
    WlrootsWindowControl(WaylandConnection& connection, wl_seat* seat);
    ~WlrootsWindowControl() override;
    WlrootsWindowControl(const WlrootsWindowControl&) = delete;
    WlrootsWindowControl& operator=(const WlrootsWindowControl&) = delete;

    std::vector<ClientWindow> list() override;
    bool activate(std::uint64_t window) override;
    bool close(std::uint64_t window) override;

    // Minimises the active window.
    void minimizeActive();
    // Minimises every window, or brings them back when all are minimised.
    void toggleShowingDesktop();

private:
    struct Toplevel;

    // Runs fn(handle) under the lock on the window with this id; false
    // when there is none.
    template <typename Fn>
    bool With(std::uint64_t window, Fn&& fn);

    // The protocol's events, on the dispatch thread.
    static void OnToplevel(void* data, zwlr_foreign_toplevel_manager_v1* manager,
                           zwlr_foreign_toplevel_handle_v1* handle);
    static void OnAppId(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* appId);
    static void OnState(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_array* states);
    static void OnDone(void* data, zwlr_foreign_toplevel_handle_v1* handle);
    static void OnClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle);

    WaylandConnection& connection;
    wl_seat* seat;
    zwlr_foreign_toplevel_manager_v1* manager = nullptr;
    std::mutex mutex; // guards toplevels, nextId and every Toplevel's fields
    std::vector<std::unique_ptr<Toplevel>> toplevels;
    std::uint64_t nextId = 1;
};
