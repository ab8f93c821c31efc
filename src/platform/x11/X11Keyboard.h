#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <unordered_map>
#include <vector>

typedef struct _XDisplay Display;

// What this program knows about the keyboard of one X display: where each
// keysym sits in the layout, which key codes are free to borrow for keysyms
// the layout lacks, and the modifier keys. Every call is made with the
// display's connection held (X11Display::With) and this object's owner
// serialising callers; the wait for the focused client releases the
// connection for its duration (X11Display::WaitForEvents).
//
// Borrowed ("spare") key codes: every keymap change makes each client
// rebuild its keymap, so the keysyms a text needs are bound together, in one
// change per stretch of text. A client interprets a key event with the
// keymap it holds when it processes that event, and it fetches a new keymap
// only when it processes the mapping notification the server sent it. So a
// spare key code must keep the keysym it had when its key events were sent
// until the focused client has processed them. Spare bindings therefore stay
// in place while typing goes on (a character typed again reuses its key), a
// spare that was used is rebound only after a round trip through the focused
// client (the _NET_WM_PING exchange, which the client answers in event order),
// and the mapping is restored only after such a round trip too. Text binds
// two keysyms per spare, the second on the Shift level as the layout's own
// keys do, so that each round covers twice as many distinct characters; a
// keysym for a key press with modifiers gets a spare of its own, where Shift
// does not change what the key gives.
class X11Keyboard {
public:
    struct Place {
        unsigned keycode = 0;
        bool shift = false; // the keysym is on the key's shifted level
        int spare = -1;     // index of the borrowed key code, or -1
    };

    // Forgets what was learnt (a new display connection).
    void reset();
    // Reads the events waiting on the connection; keyboard mapping changes
    // make the layout be read again on next use.
    void drainEvents(Display* display);

    // Returns the length of the leading part of `keysyms` that can be typed
    // now (at least 1, so that a caller always makes progress): the part
    // bound already, or else, after binding spare key codes in one keymap
    // change, the longest part that fits. Keysyms the layout has need no
    // binding.
    std::size_t prepare(Display* display, const unsigned long* keysyms, std::size_t count);
    // Where a keysym can be typed: the layout's key, or a spare key code
    // bound to it (now, if need be). False when neither is possible. With
    // `alone`, a spare holds the keysym by itself, so that the caller may
    // add Shift to the press.
    bool place(Display* display, unsigned long keysym, Place& out, bool alone = false);
    // Marks a spare as pressed or released (a held spare is never rebound)
    // and notes that its key events were sent.
    void spareDown(int spare);
    void spareUp(int spare);

    // KeyModifier bits that are active now, and whether Caps Lock is on.
    struct State {
        unsigned modifiers = 0;
        bool capsLock = false;
    };
    State state(Display* display);
    // Presses the modifier keys of `modifiers` that are not active in
    // `current` and returns their key codes, to be released with release().
    std::vector<unsigned> pressModifiers(Display* display, unsigned modifiers, const State& current);
    void release(Display* display, const std::vector<unsigned>& keycodes);
    // Presses and releases a keysym's key (Caps Lock to toggle it).
    void tap(Display* display, unsigned long keysym);

    bool hasBoundSpares() const;
    std::chrono::steady_clock::time_point lastSpareUse() const { return lastUse; }
    // Gives every spare key code back its empty mapping, once the focused
    // client has caught up. Held spares keep theirs.
    void restoreSpares(Display* display);

private:
    struct Spare {
        unsigned keycode = 0;
        unsigned long keysyms[2] = {0, 0}; // plain and Shift level, 0 when unbound
        bool alone = false;                // its Shift level stays empty
        bool usedSinceSync = false;
        int held = 0;
        std::uint64_t lastUseTick = 0;
    };

    void load(Display* display);
    struct Slot {
        int spare = -1;
        int level = 0;
    };
    // The slot holding a keysym; with `alone`, only a spare holding it by
    // itself.
    Slot slotHolding(unsigned long keysym, bool alone) const;
    // Binds a keysym alone on the least recently used spare that is not held.
    void bindAlone(Display* display, unsigned long keysym);
    struct Binding {
        Slot slot;
        unsigned long keysym = 0;
    };
    // Gives the slots their keysyms (0: none) in one keymap change.
    void setMappings(Display* display, const std::vector<Binding>& bindings);
    // Waits until the focused client has processed every event sent to it
    // so far.
    void syncWithFocusedClient(Display* display);
    unsigned long maskOfKeycode(unsigned keycode) const;

    bool loaded = false;
    bool sparesFound = false;
    std::unordered_map<unsigned long, Place> layout;
    std::vector<Spare> spares;
    unsigned shiftKey = 0, controlKey = 0, altKey = 0;
    unsigned long shiftMask = 0, controlMask = 0, altMask = 0;
    std::vector<std::vector<unsigned>> modifierKeys; // key codes of each of the 8 modifiers
    std::uint64_t tick = 0;
    std::uint64_t pingToken = 0;
    std::chrono::steady_clock::time_point lastUse{};
};
