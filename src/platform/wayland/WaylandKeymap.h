#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

class WaylandConnection;
struct wl_keyboard;
struct wl_seat;
struct xkb_context;
struct xkb_keymap;

// The keyboard layout of a Wayland seat, as the compositor hands it to
// every client (wl_keyboard's keymap, read with xkbcommon) and as it reads
// the key codes and keysyms that a program injects: where each keysym is,
// as a key code in evdev numbering and the modifiers of its level. It
// follows the compositor's layout changes. A client without the keyboard
// focus is not told the active layout group: the first group is used.
// Until the compositor has sent a keymap (or when its seat has no
// keyboard), the layout of xkbcommon's defaults (XKB_DEFAULT_LAYOUT, else
// US) stands in. Any thread.
class WaylandKeymap {
public:
    // Where a keysym is typed.
    struct Place {
        std::uint32_t key = 0;  // evdev key code
        bool shift = false;     // with Shift held
        bool levelThree = false; // with the third-level chooser (AltGr) held
    };
    using Places = std::unordered_map<std::uint32_t, Place>;

    // Binds the compositor's first seat and waits for what it says of its
    // keyboard: the keymap is there on return when the seat has a keyboard.
    // The connection must outlive the keymap and have stopped dispatching
    // before it is destroyed.
    explicit WaylandKeymap(WaylandConnection& connection);
    ~WaylandKeymap();
    WaylandKeymap(const WaylandKeymap&) = delete;
    WaylandKeymap& operator=(const WaylandKeymap&) = delete;

    // The seat this is the layout of; null when the compositor has none.
    wl_seat* seat() const { return boundSeat; }
    // Waits until the compositor's keymap is there (a seat may get its
    // keyboard late); false after the timeout.
    bool waitForKeymap(std::chrono::milliseconds timeout);
    // The compositor's keymap as XKB text; empty until it came.
    std::string text();
    // Where the keysym is in the first group, at the lowest level that
    // needs at most Shift and the third-level chooser.
    std::optional<Place> find(std::uint32_t keysym);

    // Every keysym of the keymap's first group with its place, as find()
    // tells it.
    static Places PlacesOf(xkb_keymap* keymap);

private:
    static void OnCapabilities(void* data, wl_seat* seat, std::uint32_t capabilities);
    static void OnKeymap(void* data, wl_keyboard* keyboard, std::uint32_t format, std::int32_t fd,
                         std::uint32_t size);
    // Compiles a keymap text (null: xkbcommon's defaults) into places;
    // false when it does not compile. Called with mutex held.
    bool load(const char* text);

    WaylandConnection& connection;
    wl_seat* boundSeat = nullptr;

    std::mutex mutex; // guards everything below
    std::condition_variable loaded;
    xkb_context* context = nullptr;
    wl_keyboard* keyboard = nullptr;
    std::string compositorText; // empty until the compositor's keymap came
    Places places;
};
