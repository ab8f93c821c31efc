#pragma once

#include "WindowControl.h"

#include <mutex>
#include <string>

class WaylandConnection;
struct org_kde_plasma_window;
struct org_kde_plasma_window_management;

// The windows of a KDE Plasma session through KWin's window-management
// protocol (org_kde_plasma_window_management, the one Plasma's task bar
// uses; KWin offers it only to programs its desktop entry names): the list
// in stacking order, as it stands when asked, with each window's process
// and app id, activation,
// polite closing, minimising the active window and the "show desktop"
// toggle. Any thread.
class PlasmaWindowControl : public WindowControl {
public:
    // The connection must outlive this object and have stopped dispatching
    // before it is destroyed.
    explicit PlasmaWindowControl(WaylandConnection& connection);
    ~PlasmaWindowControl() override;
    PlasmaWindowControl(const PlasmaWindowControl&) = delete;
    PlasmaWindowControl& operator=(const PlasmaWindowControl&) = delete;

    // Whether KWin lets this program manage windows.
    bool available() const { return manager != nullptr; }

    // Bottom to top. The id is this program's number for the window
    // (KWin names windows by UUID); the instance name is the window's
    // resource name, the class name its app id.
    std::vector<ClientWindow> list() override;
    // Activates the window, unminimising it.
    bool activate(std::uint64_t window) override;
    // Asks the window to close, as its close button does.
    bool close(std::uint64_t window) override;
    // Minimises the active window (nothing when none is active).
    void minimizeActive();
    // Shows the desktop, or the windows again when it is shown.
    void toggleShowingDesktop();

private:
    struct Window {
        org_kde_plasma_window* proxy = nullptr;
        std::string uuid;
        ClientWindow facts;
        std::uint32_t state = 0;
        bool complete = false; // its initial state has arrived
    };

    static void OnWindow(void* data, org_kde_plasma_window_management* manager, std::uint32_t id, const char* uuid);
    static void OnStackingOrder(void* data, org_kde_plasma_window_management* manager, const char* uuids);
    static void OnShowDesktop(void* data, org_kde_plasma_window_management* manager, std::uint32_t state);
    static Window* Find(void* data, org_kde_plasma_window* proxy);
    void forget(org_kde_plasma_window* proxy);
    // Waits until the windows the compositor has announced so far are
    // described.
    void catchUp();
    // Sends set_state to the window with the id; false when there is none.
    bool setState(std::uint64_t window, std::uint32_t flags, std::uint32_t state);

    WaylandConnection& connection;
    org_kde_plasma_window_management* manager = nullptr;

    mutable std::mutex mutex; // guards everything below
    std::vector<Window> windows; // in the order they were mapped
    std::vector<std::string> stacking; // UUIDs, bottom to top
    std::uint64_t lastId = 0;
    bool showingDesktop = false;
};
