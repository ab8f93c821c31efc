#pragma once

#include "DesktopBackend.h"
#include "QtPasteboard.h"
#include "WaylandConnection.h"
#include "WaylandOutputs.h"
#include "WlrootsEventPoster.h"
#include "WlrootsScreenCapture.h"
#include "WlrootsWindowControl.h"

#include <atomic>
#include <cstdint>
#include <memory>

struct wl_seat;

// The services of a wlroots compositor (sway, Hyprland, river, labwc,
// Wayfire and their kin), all on one Wayland connection kept for the
// program's life: a virtual pointer and keyboard, screencopy, and the
// foreign-toplevel window list.
class WlrootsBackend : public DesktopBackend {
public:
    WlrootsBackend();

    // Whether the compositor took the connection and the input devices.
    bool ready();

    BackendKind kind() const override { return BackendKind::Wlroots; }
    EventPoster& eventPoster() override { return poster; }
    ScreenCapture& screenCapture() override { return capture; }
    WindowControl& windowControl() override { return windows; }
    Pasteboard& pasteboard() override { return clipboard; }

private:
    struct SeatRelease {
        void operator()(wl_seat* seat) const;
    };
    // The first seat, with its capabilities known.
    wl_seat* bindSeat();
    bool seatHasKeyboard() const;

    WaylandConnection connection;
    std::atomic<std::uint32_t> seatCapabilities{0}; // wl_seat_capability bits
    std::unique_ptr<wl_seat, SeatRelease> seat{bindSeat()};
    WaylandOutputs outputs{connection};
    WlrootsWindowControl windows{connection, seat.get()};
    WlrootsEventPoster poster{connection, outputs, windows, seat.get(), seatHasKeyboard()};
    WlrootsScreenCapture capture{connection, outputs};
    QtPasteboard clipboard;
};
