#include "KwinFakeInput.h"

#include "fake-input-client-protocol.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <wayland-client.h>

KwinFakeInput::KwinFakeInput()
{
    display = wl_display_connect(nullptr);
    if (display == nullptr)
        return;
    wl_registry* registry = wl_display_get_registry(display);
    static const wl_registry_listener listener = {
        .global =
            [](void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
                if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0)
                    *static_cast<org_kde_kwin_fake_input**>(data) = static_cast<org_kde_kwin_fake_input*>(
                        wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
            },
        .global_remove = [](void*, wl_registry*, std::uint32_t) {},
    };
    wl_registry_add_listener(registry, &listener, &input);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    if (input != nullptr)
        org_kde_kwin_fake_input_authenticate(input, "Corvane tests", "the reference input");
    wl_display_roundtrip(display);
}

KwinFakeInput::~KwinFakeInput()
{
    if (input != nullptr)
        org_kde_kwin_fake_input_destroy(input);
    if (display != nullptr)
        wl_display_disconnect(display);
}

void KwinFakeInput::flush()
{
    // A full socket is waited out: a request on a full buffer would end the
    // connection.
    while (wl_display_flush(display) < 0 && errno == EAGAIN) {
        pollfd writable{wl_display_get_fd(display), POLLOUT, 0};
        ::poll(&writable, 1, 100);
    }
}

void KwinFakeInput::moveTo(double x, double y)
{
    org_kde_kwin_fake_input_pointer_motion_absolute(input, wl_fixed_from_double(x), wl_fixed_from_double(y));
    flush();
}

void KwinFakeInput::key(std::uint32_t code, bool down)
{
    org_kde_kwin_fake_input_keyboard_key(input, code, down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    flush();
}
