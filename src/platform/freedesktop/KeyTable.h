#pragma once

#include "EventPoster.h"
#include "TypedCharacters.h"

#include <cstdint>
#include <vector>

// Modifiers of a Linux key event (X11 or xkbcommon on Wayland), as this
// program presses them.
namespace KeyModifier {
constexpr unsigned Shift = 1u << 0;
constexpr unsigned Control = 1u << 1;
constexpr unsigned Alt = 1u << 2;
} // namespace KeyModifier

// What one key-down of the phone protocol becomes on a Linux desktop.
struct KeyAction {
    enum class Kind {
        Nothing,               // the key has no equivalent: nothing is sent
        Key,                   // press keysym with modifiers
        IconifyActiveWindow,   // minimise the active window
        ToggleShowingDesktop,  // the desktop's "show desktop"
    };
    Kind kind = Kind::Nothing;
    unsigned long keysym = 0;
    unsigned modifiers = 0; // KeyModifier bits
};

// The one table from the phone's conventions (virtual key codes of a US ANSI
// Mac keyboard, its modifier flags, and the shortcuts it sends for window,
// presentation and music actions) to keysyms (the X11 and xkbcommon
// values, the same on every Linux desktop), modifiers and window manager
// requests. Every desktop backend translates through it;
// docs/input-translation.md documents it.
class KeyTable {
public:
    KeyTable() = delete;

    // The keysym of a virtual key code on its own (0 when there is none).
    static unsigned long Keysym(std::uint16_t keyCode);
    // Command -> Control, Option -> Alt, Control -> Control, Shift -> Shift,
    // Fn -> nothing.
    static unsigned Modifiers(std::uint64_t flags);
    // The action of a key-down: the fixed shortcut of its purpose when it
    // has one, otherwise the key's keysym with the flags' modifiers.
    static KeyAction Translate(std::uint16_t keyCode, std::uint64_t flags, KeyPurpose purpose);
    // The keysym that types a Unicode character (0 for characters that are
    // not typed, such as most control characters).
    static unsigned long KeysymForCharacter(char32_t character);
    // The keysyms of the characters that a piece of typed text completes.
    static std::vector<unsigned long> KeysymsForText(TypedCharacters& characters, const char16_t* units,
                                                     std::size_t count);
};
