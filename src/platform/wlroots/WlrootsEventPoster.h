#pragma once

#include "EventPoster.h"
#include "TypedCharacters.h"
#include "WheelClicks.h"
#include "WlrootsKeymap.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class WaylandConnection;
class WaylandKeymap;
class WaylandOutputs;
class WlrootsWindowControl;
struct zwlr_virtual_pointer_v1;
struct zwp_virtual_keyboard_v1;

// Posts the phone's events through one virtual pointer and one virtual
// keyboard that live as long as this poster: the seat has no keyboard until
// a virtual one exists, so a keyboard made for an action would lose its
// first key, and a pointer made per action delivers nothing.
//
// The pointer: the compositor cannot be asked where its pointer is, so this
// poster keeps the position it moved the pointer to. Moves go as relative
// motion, so the pointer goes on from wherever the user's own mouse left
// it; a move that ends on an edge of the layout goes there as absolute
// motion (in the layout's extent), which makes the kept position true
// again. Pixel scrolling becomes wheel clicks (WheelClicks).
//
// The keyboard types keysyms with WlrootsKeymap: keys the user's layout has
// with the modifiers of their level; others on spare key codes of a keymap
// uploaded for the stretch of text that needs them. The layout's keymap
// comes back after kRestoreAfter without typing.
class WlrootsEventPoster : public EventPoster {
public:
    // A wheel click as wl_pointer axis events count it.
    static constexpr double kAxisPerWheelClick = 15.0;
    static constexpr std::chrono::milliseconds kRestoreAfter{1000};

    // The devices belong to the keymap's seat, and start with its layout.
    WlrootsEventPoster(WaylandConnection& connection, WaylandKeymap& seatKeymap, WaylandOutputs& outputs,
                       WlrootsWindowControl& windows);
    ~WlrootsEventPoster() override;
    WlrootsEventPoster(const WlrootsEventPoster&) = delete;
    WlrootsEventPoster& operator=(const WlrootsEventPoster&) = delete;

    bool hasEventSource() override;
    ScreenPoint pointerLocation() override;
    ScreenSize mainScreenSize() override;
    void postMouse(MouseEventType type, MouseButton button, ScreenPoint at, int clickState) override;
    void postScroll(int verticalPixels, int horizontalPixels) override;
    void postKey(std::uint16_t keyCode, bool down, std::uint64_t flags, KeyPurpose purpose) override;
    void postUnicodeKeyDown(const char16_t* units, std::size_t count) override;
    // A pointer motion of nothing: the compositor counts it as activity, so
    // its idle timer starts again and an idle tool turns the outputs back on.
    void declareUserActivity() override;

private:
    struct HeldKey {
        std::uint32_t keycode = 0; // 0: nothing to release
        int spare = -1;
    };

    // Whether both devices exist on a live connection; otherwise reports
    // the missing event source once.
    bool ready();
    std::uint32_t now() const;
    void moveTo(ScreenPoint at);
    void pressKeyDown(std::uint16_t keyCode, std::uint64_t flags, KeyPurpose purpose);
    void pressKeyUp(std::uint16_t keyCode, KeyPurpose purpose);
    // Where a keysym can be typed, binding a spare (and sending the keymap)
    // when need be.
    bool place(unsigned long keysym, WlrootsKeymap::Place& out);
    void key(std::uint32_t keycode, bool down);
    void sendModifiers(const WlrootsKeymap::Modifiers& modifiers);
    void uploadKeymap();
    void restoreLoop();

    WaylandConnection& connection;
    WaylandOutputs& outputs;
    WlrootsWindowControl& windows;
    const std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::atomic<bool> reportedMissing{false};

    // Everything below is guarded by mutex.
    std::mutex mutex;
    zwlr_virtual_pointer_v1* pointer = nullptr;
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    std::unique_ptr<WlrootsKeymap> keymap;
    ScreenPoint position;         // where this poster put the pointer, as the phone counts
    bool positionKnown = false;   // false: the middle of the layout is assumed
    long long sentX = 0, sentY = 0; // the same, in the protocol's 1/256 pixel steps
    WheelClicks verticalWheel;
    WheelClicks horizontalWheel;
    TypedCharacters characters;
    std::map<std::uint16_t, HeldKey> heldKeys;
    std::chrono::steady_clock::time_point lastTyping{};
    bool stopping = false;
    std::condition_variable restoreWake;
    std::thread restorer;
};
