#pragma once

#include "EventPoster.h"

#include <cstdint>

// Modifiers of an X key event, as this program presses them.
namespace X11Modifier {
constexpr unsigned Shift = 1u << 0;
constexpr unsigned Control = 1u << 1;
constexpr unsigned Alt = 1u << 2;
} // namespace X11Modifier

// What one key-down of the phone protocol becomes on an X11 desktop.
struct X11KeyAction {
    enum class Kind {
        Nothing,               // the key has no equivalent: nothing is sent
        Key,                   // press keysym with modifiers
        IconifyActiveWindow,   // minimise the active window
        ToggleShowingDesktop,  // the window manager's "show desktop"
    };
    Kind kind = Kind::Nothing;
    unsigned long keysym = 0;
    unsigned modifiers = 0; // X11Modifier bits
};

// The one table from the phone's conventions (virtual key codes of a US ANSI
// Mac keyboard, its modifier flags, and the shortcuts it sends for window,
// presentation and music actions) to X11 keysyms, modifiers and window
// manager requests. docs/input-translation.md documents it.
class X11KeyTable {
public:
    X11KeyTable() = delete;

    // The keysym of a virtual key code on its own (0 when there is none).
    static unsigned long Keysym(std::uint16_t keyCode);
    // Command -> Control, Option -> Alt, Control -> Control, Shift -> Shift,
    // Fn -> nothing.
    static unsigned Modifiers(std::uint64_t flags);
    // The action of a key-down: the fixed shortcut of its purpose when it
    // has one, otherwise the key's keysym with the flags' modifiers.
    static X11KeyAction Translate(std::uint16_t keyCode, std::uint64_t flags, KeyPurpose purpose);
    // The keysym that types a Unicode character (0 for characters that are
    // not typed, such as most control characters).
    static unsigned long KeysymForCharacter(char32_t character);
};
