#pragma once

#include <cstddef>
#include <cstdint>

// Mouse event types, numbered as the desktop event interface the phone app
// was designed against numbers them.
enum class MouseEventType : int {
    LeftDown = 1,
    LeftUp = 2,
    RightDown = 3,
    RightUp = 4,
    Moved = 5,
    LeftDragged = 6,
};

enum class MouseButton : int {
    Left = 0,
    Right = 1,
};

// Modifier flags of a key event (the values of the phone's key protocol).
namespace KeyFlags {
constexpr std::uint64_t Shift = 0x20000;
constexpr std::uint64_t Control = 0x40000;
constexpr std::uint64_t Option = 0x80000;
constexpr std::uint64_t Command = 0x100000;
constexpr std::uint64_t Fn = 0x800000;
} // namespace KeyFlags

// What a key event is for. Most keys are plain keyboard input; a few fixed
// sequences stand for a desktop action (a window shortcut, a slide-show key,
// a music control) whose Linux equivalent is not the same keys.
enum class KeyPurpose : int {
    Keyboard,
    WindowShortcut,
    Presentation,
    MusicControl,
};

// A position in the global screen space: origin at the top-left corner of
// the main screen, y growing downwards.
struct ScreenPoint {
    double x = 0;
    double y = 0;
};

struct ScreenSize {
    double width = 0;
    double height = 0;
};

// Click state a mouse event carries when nobody sets it.
constexpr int kClickStateUnset = 0;

// Posts synthesised pointer and keyboard events to the desktop session.
// Events use the phone protocol's conventions (virtual key codes of a US
// ANSI keyboard, its modifier flags, pixel scrolling); the implementation
// translates them to what the desktop understands.
class EventPoster {
public:
    virtual ~EventPoster() = default;

    // Whether events can be posted at all (a desktop session is there).
    virtual bool hasEventSource() = 0;
    // The pointer's position and the main screen's size.
    virtual ScreenPoint pointerLocation() = 0;
    virtual ScreenSize mainScreenSize() = 0;

    // A mouse event at a position; the pointer goes there.
    virtual void postMouse(MouseEventType type, MouseButton button, ScreenPoint at, int clickState) = 0;
    // A scroll in pixels: vertical positive = up, horizontal positive = left.
    virtual void postScroll(int verticalPixels, int horizontalPixels) = 0;
    // A key press (down) or release (up) by virtual key code, with flags.
    virtual void postKey(std::uint16_t keyCode, bool down, std::uint64_t flags, KeyPurpose purpose) = 0;
    // A key-down event that carries text: up to 16 UTF-16 code units.
    virtual void postUnicodeKeyDown(const char16_t* units, std::size_t count) = 0;
    // The whole text that the key-down events which follow will carry, so
    // that a backend can prepare for all of it at once. Only a hint: the
    // events may carry something else (another client types in between).
    virtual void announceText(const char16_t* units, std::size_t count)
    {
        (void)units;
        (void)count;
    }
    // Tells the desktop that the user is active: the screen saver starts
    // its wait again and a blanked display comes back on.
    virtual void declareUserActivity() = 0;

    // The poster in use: the desktop backend's unless a test installed another.
    static EventPoster& instance();
    // Installs a poster; null restores the desktop's.
    static void setInstance(EventPoster* poster);
};
