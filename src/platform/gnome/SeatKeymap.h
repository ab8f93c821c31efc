#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct wl_keyboard;

// The keyboard layout of a Wayland seat, as the compositor hands it to its
// clients (wl_keyboard keymap, read with xkbcommon): which keysyms the
// current layout group can type. The compositor's remote-desktop keyboard
// uses the same layout, and drops keysyms it lacks. Follows layout changes
// on a thread of its own.
class SeatKeymap {
public:
    SeatKeymap();
    ~SeatKeymap();
    SeatKeymap(const SeatKeymap&) = delete;
    SeatKeymap& operator=(const SeatKeymap&) = delete;

    // Connects to WAYLAND_DISPLAY and starts following its seat's keymap.
    void connect();
    // Waits up to timeoutMs for the first keymap; false when none came (no
    // Wayland display, or a seat without a keyboard).
    bool waitForKeymap(int timeoutMs);
    // Whether a key of the current group types the keysym (at any level).
    // Without a keymap, only the keysyms of US ASCII count.
    bool has(std::uint32_t keysym);

    // Called from the Wayland listeners.
    void seatAnnounced(std::uint32_t name);
    void seatCapabilities(std::uint32_t capabilities);
    void keymapReceived(int fd, std::uint32_t size);
    void groupChanged(std::uint32_t group);

private:
    void loopMain();
    void rebuild();

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    wl_keyboard* keyboard = nullptr;
    int wakeFd = -1;
    std::thread loopThread;

    std::mutex mutex; // guards everything below
    std::string keymapText;
    std::uint32_t group = 0;
    bool loaded = false;
    std::unordered_set<std::uint32_t> keysyms;
    std::condition_variable_any changed;
};
