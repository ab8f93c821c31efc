#include "SeatKeymap.h"

#include <chrono>
#include <cstring>
#include <string>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace {

// Keymaps larger than this are not read (real ones are well under 100 KiB).
constexpr std::uint32_t kMaxKeymapSize = 4u << 20;

void OnKeymap(void* self, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size)
{
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1)
        static_cast<SeatKeymap*>(self)->keymapReceived(fd, size);
    ::close(fd);
}

void OnModifiers(void* self, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                 std::uint32_t group)
{
    static_cast<SeatKeymap*>(self)->groupChanged(group);
}

const wl_keyboard_listener kKeyboardListener = {
    OnKeymap,
    [](void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {},
    [](void*, wl_keyboard*, std::uint32_t, wl_surface*) {},
    [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
    OnModifiers,
    [](void*, wl_keyboard*, std::int32_t, std::int32_t) {},
};

const wl_seat_listener kSeatListener = {
    [](void* self, wl_seat*, std::uint32_t capabilities) {
        static_cast<SeatKeymap*>(self)->seatCapabilities(capabilities);
    },
    [](void*, wl_seat*, const char*) {},
};


const wl_registry_listener kRegistryListener = {
    [](void* self, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t) {
        if (std::string(interface) == wl_seat_interface.name)
            static_cast<SeatKeymap*>(self)->seatAnnounced(name);
    },
    [](void*, wl_registry*, std::uint32_t) {},
};

} // namespace

SeatKeymap::SeatKeymap() = default;

void SeatKeymap::connect()
{
    if (display != nullptr)
        return;
    display = wl_display_connect(nullptr);
    if (display == nullptr)
        return;
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, this);
    wl_display_roundtrip(display);
    wakeFd = ::eventfd(0, EFD_CLOEXEC);
    loopThread = std::thread([this] { loopMain(); });
}

SeatKeymap::~SeatKeymap()
{
    if (loopThread.joinable()) {
        const std::uint64_t one = 1;
        if (::write(wakeFd, &one, sizeof one) < 0) {
            // the thread ends with the process
        }
        loopThread.join();
    }
    if (wakeFd >= 0)
        ::close(wakeFd);
    if (keyboard != nullptr)
        wl_keyboard_destroy(keyboard);
    if (seat != nullptr)
        wl_seat_destroy(seat);
    if (registry != nullptr)
        wl_registry_destroy(registry);
    if (display != nullptr)
        wl_display_disconnect(display);
}

void SeatKeymap::loopMain()
{
    for (;;) {
        while (wl_display_prepare_read(display) != 0)
            wl_display_dispatch_pending(display);
        wl_display_flush(display);
        pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0 || (fds[0].revents & (POLLERR | POLLHUP))) {
            wl_display_cancel_read(display);
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            if (wl_display_read_events(display) < 0)
                return;
            wl_display_dispatch_pending(display);
        } else {
            wl_display_cancel_read(display);
        }
    }
}

void SeatKeymap::seatAnnounced(std::uint32_t name)
{
    if (seat != nullptr)
        return; // the first seat is the user's
    seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    wl_seat_add_listener(seat, &kSeatListener, this);
}

void SeatKeymap::seatCapabilities(std::uint32_t capabilities)
{
    // Runs on the loop thread, the only one that touches the proxies then.
    const bool hasKeyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    if (hasKeyboard && keyboard == nullptr) {
        keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(keyboard, &kKeyboardListener, this);
    }
}

void SeatKeymap::keymapReceived(int fd, std::uint32_t size)
{
    if (size == 0 || size > kMaxKeymapSize)
        return;
    void* text = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text == MAP_FAILED)
        return;
    std::lock_guard lock(mutex);
    keymapText.assign(static_cast<const char*>(text), ::strnlen(static_cast<const char*>(text), size));
    ::munmap(text, size);
    rebuild();
}

void SeatKeymap::groupChanged(std::uint32_t newGroup)
{
    std::lock_guard lock(mutex);
    if (newGroup == group)
        return;
    group = newGroup;
    rebuild();
}

void SeatKeymap::rebuild()
{
    xkb_context* context = xkb_context_new(
        static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    xkb_keymap* keymap = context ? xkb_keymap_new_from_string(context, keymapText.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                                 XKB_KEYMAP_COMPILE_NO_FLAGS)
                                 : nullptr;
    if (keymap != nullptr) {
        keysyms.clear();
        for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key) {
            const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap, key);
            if (layouts == 0)
                continue;
            const xkb_layout_index_t layout = group < layouts ? group : 0;
            for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(keymap, key, layout); ++level) {
                const xkb_keysym_t* syms = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(keymap, key, layout, level, &syms);
                for (int i = 0; i < count; ++i)
                    keysyms.insert(syms[i]);
            }
        }
        loaded = true;
        xkb_keymap_unref(keymap);
        changed.notify_all();
    }
    if (context != nullptr)
        xkb_context_unref(context);
}

bool SeatKeymap::waitForKeymap(int timeoutMs)
{
    if (display == nullptr)
        return false; // no Wayland display: no keymap will come
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return loaded; });
}

bool SeatKeymap::has(std::uint32_t keysym)
{
    std::lock_guard lock(mutex);
    if (!loaded)
        return keysym >= 0x20 && keysym <= 0x7e;
    return keysyms.count(keysym) != 0;
}
