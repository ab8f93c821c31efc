#include "WaylandKeymap.h"

#include "WaylandConnection.h"

#include <bit>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace {

// xkbcommon numbers keys as X does: the evdev code plus 8.
constexpr std::uint32_t kEvdevOffset = 8;
constexpr std::uint32_t kSeatVersion = 5;
// Keymaps larger than this are not read (real ones are well under 100 KiB).
constexpr std::uint32_t kMaxKeymapSize = 4u << 20;

} // namespace

WaylandKeymap::WaylandKeymap(WaylandConnection& wayland) : connection(wayland)
{
    context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    {
        std::lock_guard lock(mutex);
        load(nullptr);
    }
    static const wl_seat_listener seatListener = {
        .capabilities = &WaylandKeymap::OnCapabilities,
        .name = [](void*, wl_seat*, const char*) {},
    };
    {
        const std::unique_lock hold = connection.holdDispatch();
        boundSeat = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, kSeatVersion));
        if (boundSeat == nullptr)
            return;
        wl_seat_add_listener(boundSeat, &seatListener, this);
        connection.flush();
    }
    // The seat's capabilities, then the keymap of the keyboard they ask for.
    connection.settle();
    connection.settle();
}

WaylandKeymap::~WaylandKeymap()
{
    if (keyboard != nullptr) {
        if (wl_keyboard_get_version(keyboard) >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
            wl_keyboard_release(keyboard);
        else
            wl_keyboard_destroy(keyboard);
    }
    if (boundSeat != nullptr)
        wl_seat_destroy(boundSeat);
    connection.flush();
    xkb_context_unref(context);
}

void WaylandKeymap::OnCapabilities(void* data, wl_seat* seat, std::uint32_t capabilities)
{
    static const wl_keyboard_listener keyboardListener = {
        .keymap = &WaylandKeymap::OnKeymap,
        .enter = [](void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {},
        .leave = [](void*, wl_keyboard*, std::uint32_t, wl_surface*) {},
        .key = [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
        .modifiers = [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                        std::uint32_t) {},
        .repeat_info = [](void*, wl_keyboard*, std::int32_t, std::int32_t) {},
    };
    auto* self = static_cast<WaylandKeymap*>(data);
    std::lock_guard lock(self->mutex);
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && self->keyboard == nullptr) {
        self->keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(self->keyboard, &keyboardListener, self);
    }
}

void WaylandKeymap::OnKeymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size)
{
    auto* self = static_cast<WaylandKeymap*>(data);
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0 || size > kMaxKeymapSize) {
        ::close(fd);
        return;
    }
    void* text = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (text == MAP_FAILED)
        return;
    {
        std::lock_guard lock(self->mutex);
        const std::string received(static_cast<const char*>(text), ::strnlen(static_cast<const char*>(text), size));
        if (self->load(received.c_str()))
            self->compositorText = received;
    }
    ::munmap(text, size);
    self->loaded.notify_all();
}

bool WaylandKeymap::load(const char* text)
{
    xkb_keymap* keymap = text ? xkb_keymap_new_from_string(context, text, XKB_KEYMAP_FORMAT_TEXT_V1,
                                                           XKB_KEYMAP_COMPILE_NO_FLAGS)
                              : xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap == nullptr)
        return false;
    places = PlacesOf(keymap);
    xkb_keymap_unref(keymap);
    return true;
}

WaylandKeymap::Places WaylandKeymap::PlacesOf(xkb_keymap* keymap)
{
    Places places;
    const xkb_mod_mask_t shift = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
    const xkb_mod_index_t mod5 = xkb_keymap_mod_get_index(keymap, "Mod5");
    const xkb_mod_mask_t levelThree = mod5 == XKB_MOD_INVALID ? 0 : 1u << mod5;
    const xkb_keycode_t first = xkb_keymap_min_keycode(keymap);
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
    // Lower levels first: a keysym found plain is never typed shifted.
    for (xkb_level_index_t level = 0; level < 4; ++level) {
        for (xkb_keycode_t key = first; key <= last && key >= kEvdevOffset; ++key) {
            if (level >= xkb_keymap_num_levels_for_key(keymap, key, 0))
                continue;
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap, key, 0, level, &syms) != 1 || places.count(syms[0]))
                continue;
            // The plainest modifier combination of the level made of Shift
            // and the third-level chooser only.
            xkb_mod_mask_t masks[16];
            const std::size_t count = xkb_keymap_key_get_mods_for_level(keymap, key, 0, level, masks, 16);
            std::optional<xkb_mod_mask_t> chosen;
            for (std::size_t i = 0; i < count; ++i) {
                if ((masks[i] & ~(shift | levelThree)) == 0 &&
                    (!chosen || std::popcount(masks[i]) < std::popcount(*chosen)))
                    chosen = masks[i];
            }
            if (level == 0 && count == 0)
                chosen = 0;
            if (chosen)
                places[syms[0]] = Place{key - kEvdevOffset, (*chosen & shift) != 0, (*chosen & levelThree) != 0};
        }
    }
    return places;
}

bool WaylandKeymap::waitForKeymap(std::chrono::milliseconds timeout)
{
    if (boundSeat == nullptr)
        return false; // no seat, no keymap
    std::unique_lock lock(mutex);
    return loaded.wait_for(lock, timeout, [&] { return !compositorText.empty(); });
}

std::string WaylandKeymap::text()
{
    std::lock_guard lock(mutex);
    return compositorText;
}

std::optional<WaylandKeymap::Place> WaylandKeymap::find(std::uint32_t keysym)
{
    std::lock_guard lock(mutex);
    const auto found = places.find(keysym);
    if (found == places.end())
        return std::nullopt;
    return found->second;
}
