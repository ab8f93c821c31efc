#include "WlrootsBackend.h"

#include <wayland-client.h>

void WlrootsBackend::SeatRelease::operator()(wl_seat* seat) const
{
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(seat)) >= WL_SEAT_RELEASE_SINCE_VERSION)
        wl_seat_release(seat);
    else
        wl_seat_destroy(seat);
}

#include <chrono>

WlrootsBackend::WlrootsBackend()
{
    outputs.current(); // the layout is known before the first event needs it
}

wl_seat* WlrootsBackend::bindSeat()
{
    const std::vector<WaylandConnection::Global> seats = connection.globalsOf("wl_seat");
    if (seats.empty())
        return nullptr;
    static const wl_seat_listener listener = {
        .capabilities =
            [](void* data, wl_seat*, std::uint32_t capabilities) {
                static_cast<std::atomic<std::uint32_t>*>(data)->store(capabilities);
            },
        .name = [](void*, wl_seat*, const char*) {},
    };
    wl_seat* bound = nullptr;
    connection.run([&] {
        bound = static_cast<wl_seat*>(connection.bind(seats.front(), &wl_seat_interface, 7));
        wl_seat_add_listener(bound, &listener, &seatCapabilities);
        connection.flush();
    });
    connection.sync(std::chrono::seconds(2));
    return bound;
}

bool WlrootsBackend::seatHasKeyboard() const
{
    return (seatCapabilities.load() & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
}

bool WlrootsBackend::ready()
{
    return connection.connected() && poster.hasEventSource();
}
