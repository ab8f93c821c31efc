#pragma once

#include "EventPoster.h"
#include "TextTypist.h"

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>

class DataControlClipboard;
class KwinScript;
class PlasmaWindowControl;
class WaylandConnection;
class WaylandKeymap;
class WaylandOutputs;
struct org_kde_kwin_fake_input;

// Posts the phone's events in a KDE Plasma session through KWin's
// fake-input protocol (org_kde_kwin_fake_input, which KWin offers only to
// programs its desktop entry names), on one connection for the program's
// whole life: absolute pointer motion, buttons, axis scrolling in pixels,
// and keys as evdev key codes, placed through the seat's keyboard layout
// (WaylandKeymap) and translated through KeyTable.
//
// Text goes as keys where the layout has every character of it, else it is
// pasted whole with Control+V from the lent data-control clipboard
// (TextTypist). Minimising the active window and the "show desktop" toggle
// go to the window manager
// (PlasmaWindowControl). Without fake input, events are dropped and
// "No event source" is printed once.
//
// Wayland does not tell a client where the pointer is: KWin's scripting
// does (KwinScript). The position is asked for when the phone starts
// moving the pointer after kPointerIdle, so it continues from where the
// user left it; within a gesture it is the one this poster put it at, and
// moves are absolute. When KWin cannot be asked, moves are relative to
// wherever the pointer is, from a position assumed at the desktop's
// centre.
class KdeEventPoster : public EventPoster {
public:
    static constexpr std::chrono::milliseconds kPointerIdle{1000};
    // The longest the pointer's position may take to come.
    static constexpr int kPointerQueryMs = 250;

    KdeEventPoster(WaylandConnection& connection, WaylandKeymap& keymap, WaylandOutputs& outputs,
                   DataControlClipboard& clipboard, PlasmaWindowControl& windows, KwinScript& script);
    ~KdeEventPoster() override;
    KdeEventPoster(const KdeEventPoster&) = delete;
    KdeEventPoster& operator=(const KdeEventPoster&) = delete;

    bool hasEventSource() override;
    ScreenPoint pointerLocation() override;
    ScreenSize mainScreenSize() override;
    void postMouse(MouseEventType type, MouseButton button, ScreenPoint at, int clickState) override;
    void postScroll(int verticalPixels, int horizontalPixels) override;
    void postKey(std::uint16_t keyCode, bool down, std::uint64_t flags, KeyPurpose purpose) override;
    void postUnicodeKeyDown(const char16_t* units, std::size_t count) override;
    // Any input wakes KWin's display and restarts its idle time: a pointer
    // motion of nothing.
    void declareUserActivity() override;

private:
    // Whether events can be sent; reports the missing source once.
    // Called with mutex held.
    bool ready();
    void sendKey(std::uint32_t key, bool down);
    // Presses keysym with the modifiers (KeyModifier bits) held around it;
    // returns the evdev key pressed (0 when the layout has no such key).
    std::uint32_t pressKeysym(std::uint32_t keysym, unsigned modifiers);
    void typeKeysym(std::uint32_t keysym);
    // The text typist's keyboard: characters as keys, and Control+V.
    void typeKeys(const std::u32string& characters);
    void pasteKeys();
    void flush();

    WaylandConnection& connection;
    WaylandKeymap& keymap;
    WaylandOutputs& outputs;
    DataControlClipboard& clipboard;
    PlasmaWindowControl& windows;
    KwinScript& script;
    org_kde_kwin_fake_input* fakeInput = nullptr;
    std::atomic<bool> reportedMissing{false};

    std::mutex mutex; // guards everything below
    bool placed = false; // the pointer's position is known
    bool fromKwin = false; // KWin told it
    ScreenPoint pointer;
    std::chrono::steady_clock::time_point lastPointerUse;
    std::map<std::uint16_t, std::uint32_t> heldKeys; // phone key code -> evdev key pressed (0: none)
    TextTypist text;
};
