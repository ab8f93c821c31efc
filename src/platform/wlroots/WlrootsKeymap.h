#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

// The keymaps of a virtual keyboard: the user's layout, and the same layout
// with keysyms it lacks bound to spare key codes, key codes the layout
// leaves empty. Spares are taken up to key code 255 only, so that programs
// under XWayland, which cannot have larger key codes, get them too. A
// keysym the layout has is typed with its key and the modifiers of its
// level.
//
// A Wayland client receives a keymap and key events in the order they were
// sent, so a spare may be rebound as soon as its key was released; bindings
// still stay while typing goes on, so a character typed again reuses its
// key without a new keymap. Not thread-safe: its owner serialises callers.
class WlrootsKeymap {
public:
    // Where a keysym is typed: an XKB key code (evdev code + 8) and the
    // modifier mask that selects the keysym's level.
    struct Place {
        std::uint32_t keycode = 0;
        std::uint32_t modifiers = 0;
        int spare = -1; // index of the spare key code, or -1
    };
    // A modifier state as the virtual keyboard protocol sends it.
    struct Modifiers {
        std::uint32_t depressed = 0, latched = 0, locked = 0, group = 0;
        bool operator==(const Modifiers&) const = default;
    };

    // layoutText: an XKB keymap in text form (the seat's); when empty or
    // not readable, the default keymap of the XKB_DEFAULT_* variables.
    explicit WlrootsKeymap(const std::string& layoutText);
    ~WlrootsKeymap();
    WlrootsKeymap(const WlrootsKeymap&) = delete;
    WlrootsKeymap& operator=(const WlrootsKeymap&) = delete;

    bool valid() const { return layout != nullptr; }
    std::size_t spareCount() const { return spares.size(); }
    // The keymap with the current bindings, as text for the compositor.
    std::string text() const;

    // The modifier mask of KeyModifier bits.
    std::uint32_t modifierMask(unsigned keyModifiers) const;
    // Where a keysym can be typed now; false when neither the layout nor a
    // bound spare has it.
    bool find(unsigned long keysym, Place& out) const;

    // Binds spares to the keysyms of the longest leading part of `keysyms`
    // that fits beside the bindings it reuses and the held spares, and
    // returns that part's length (at least 1, so that a caller always makes
    // progress). `changed` tells whether the keymap text changed.
    std::size_t prepare(const unsigned long* keysyms, std::size_t count, bool& changed);
    // A spare's key went down or up: a held spare keeps its keysym.
    void spareDown(int spare);
    void spareUp(int spare);
    // Whether spares are bound.
    bool bound() const;
    // Drops the bindings of every spare that is not held; true when the
    // keymap text changed.
    bool unbind();

    // The virtual keyboard's own modifier state, as its key presses made it.
    void press(std::uint32_t keycode, bool down);
    Modifiers modifiers() const;
    // Whether a key changes the modifier state (Shift, Control, Caps Lock…).
    bool isModifierKey(std::uint32_t keycode) const;

private:
    struct Spare {
        std::uint32_t keycode = 0;
        std::string name;        // the key's name in the keymap text
        bool named = true;       // false: the name is added to the keycodes
        unsigned long keysym = 0; // 0 when unbound
        int held = 0;
        std::uint64_t lastUse = 0;
    };

    int spareHolding(unsigned long keysym) const;
    // The keymap text with the given bindings; empty when it does not
    // compile (then nothing is bound).
    std::string compose(const std::vector<Spare>& candidate) const;

    xkb_context* context = nullptr;
    xkb_keymap* layout = nullptr;
    xkb_state* state = nullptr;
    std::string layoutText; // as xkbcommon writes it
    std::unordered_map<unsigned long, Place> places;
    std::vector<Spare> spares;
    std::string boundText; // the text with the current bindings
    std::uint64_t tick = 0;
};
