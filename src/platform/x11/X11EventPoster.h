#pragma once

#include "EventPoster.h"
#include "TypedCharacters.h"
#include "WheelClicks.h"
#include "X11Keyboard.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

// Posts the phone's events on the session's X display with the XTest
// extension, translating key codes, modifiers and shortcuts through
// KeyTable. Without a display (or without XTest) events are dropped and
// "No event source" is printed once.
//
// Pixel scrolling becomes wheel clicks (buttons 4/5 vertical, 6/7
// horizontal), one per kPixelsPerWheelClick pixels; the remainder is kept
// for the next scroll in the same direction.
class X11EventPoster : public EventPoster {
public:
    static constexpr int kPixelsPerWheelClick = WheelClicks::kPixelsPerClick;
    // Borrowed key codes get their empty mapping back after this much
    // typing silence.
    static constexpr std::chrono::milliseconds kRestoreAfter{1000};

    X11EventPoster();
    ~X11EventPoster() override;

    bool hasEventSource() override;
    ScreenPoint pointerLocation() override;
    ScreenSize mainScreenSize() override;
    void postMouse(MouseEventType type, MouseButton button, ScreenPoint at, int clickState) override;
    void postScroll(int verticalPixels, int horizontalPixels) override;
    void postKey(std::uint16_t keyCode, bool down, std::uint64_t flags, KeyPurpose purpose) override;
    void postUnicodeKeyDown(const char16_t* units, std::size_t count) override;
    void announceText(const char16_t* units, std::size_t count) override;
    // Resets the X screen saver and forces the display on (DPMS).
    void declareUserActivity() override;

private:
    struct HeldKey {
        unsigned keycode;
        int spare;
    };

    // Runs fn(display) on the X connection when events can be posted there;
    // otherwise reports the missing event source (once).
    template <typename Fn>
    bool WithDisplay(Fn&& fn);
    // Brings the keyboard state in line with the current connection; the
    // caller holds keyMutex.
    void followConnection();
    void pressKeyDown(Display* display, std::uint16_t keyCode, std::uint64_t flags, KeyPurpose purpose);
    void pressKeyUp(Display* display, std::uint16_t keyCode, KeyPurpose purpose);
    void typeKeysym(Display* display, unsigned long keysym, const X11Keyboard::State& state);
    // Starts or wakes the thread that gives borrowed key codes back.
    void wakeRestorer();
    void restoreLoop();

    std::atomic<bool> reportedMissing{false};
    std::atomic<bool> stopping{false};

    // Guarded by the X connection's lock (only touched inside With()).
    unsigned long xtestConnection = 0; // generation of the X connection xtest was asked of
    bool xtest = false;
    // Where the pointer is and how large the screen is, as last read from the
    // server and then followed through this poster's own moves: a run of
    // relative moves costs no round trip to the server. Read again once
    // kPointerFresh has passed since the last reading (the user's own mouse
    // may have moved it meanwhile), on a new connection, and after a move
    // that the server may have placed elsewhere.
    static constexpr std::chrono::milliseconds kPointerFresh{100};
    struct PointerState {
        unsigned long connection = 0; // 0: nothing read yet
        std::chrono::steady_clock::time_point readAt;
        int x = 0, y = 0;
        int width = 0, height = 0;
    };
    PointerState pointer;
    // The pointer state, read from the server when it is stale; the caller
    // holds the connection's lock.
    const PointerState& currentPointer(Display* display);

    // Pointer and keyboard have locks of their own, each taken before the
    // X connection's: a key operation that waits for the focused client
    // (which releases the connection while it waits) must not hold up
    // pointer input, from this phone or any other.
    std::mutex pointerMutex; // guards the wheels
    WheelClicks verticalWheel;
    WheelClicks horizontalWheel;

    // Everything below is guarded by keyMutex.
    std::mutex keyMutex;
    std::condition_variable restoreWake;
    std::thread restorer;
    unsigned long connection = 0; // generation of the X connection the keyboard state belongs to
    X11Keyboard keyboard;
    std::map<std::uint16_t, HeldKey> heldKeys;
    TypedCharacters characters;
    // The keysyms of the announced text not typed yet: borrowed key codes
    // are bound for as much of it as fits, so that a keymap change (and the
    // client's keymap rebuild it causes) serves many text events.
    std::vector<unsigned long> announced;
    std::size_t announcedTyped = 0;
};
