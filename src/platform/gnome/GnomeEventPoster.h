#pragma once

#include "EventPoster.h"
#include "TextTypist.h"
#include "WheelClicks.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

class GnomeClipboard;
class GnomeRemoteDesktop;
class WaylandKeymap;

// Posts the phone's events through a GNOME remote-desktop session: keys as
// keysyms of the X11 key table (mutter finds their keys and levels in the
// current layout), pointer buttons and wheel clicks, and pointer moves as
// relative motion from where this poster last put the pointer, so that the
// compositor keeps them within the monitor and the desktop user's own mouse
// moves are respected. The pointer starts in the middle of the monitor,
// placed there by absolute motion through the monitor's stream.
//
// mutter does not tell an ordinary program where the pointer is:
// pointerLocation() is where this poster put it last.
//
// Text goes as keys where the layout has every character of it, else it is
// pasted whole with Ctrl+V from the session's lent clipboard (TextTypist,
// GnomeClipboard).
class GnomeEventPoster : public EventPoster {
public:
    GnomeEventPoster(GnomeRemoteDesktop& session, GnomeClipboard& clipboard, WaylandKeymap& keymap);
    ~GnomeEventPoster() override;
    GnomeEventPoster(const GnomeEventPoster&) = delete;
    GnomeEventPoster& operator=(const GnomeEventPoster&) = delete;

    bool hasEventSource() override;
    ScreenPoint pointerLocation() override;
    ScreenSize mainScreenSize() override;
    void postMouse(MouseEventType type, MouseButton button, ScreenPoint at, int clickState) override;
    void postScroll(int verticalPixels, int horizontalPixels) override;
    void postKey(std::uint16_t keyCode, bool down, std::uint64_t flags, KeyPurpose purpose) override;
    void postUnicodeKeyDown(const char16_t* units, std::size_t count) override;
    // A Shift tap: GNOME's idle watch counts injected input as activity.
    void declareUserActivity() override;

private:
    void moveTo(ScreenPoint at);
    // The text typist's keyboard: characters as keysyms, and Ctrl+V.
    void typeKeys(const std::u32string& characters);
    void pasteKeys();

    GnomeRemoteDesktop& session;
    WaylandKeymap& keymap;
    std::mutex mutex; // guards everything below; one event at a time
    ScreenPoint pointer;
    bool placed = false;
    std::map<std::uint16_t, std::vector<std::uint32_t>> heldKeys; // phone key code → keysyms pressed
    WheelClicks verticalWheel;
    WheelClicks horizontalWheel;
    TextTypist text;
};
