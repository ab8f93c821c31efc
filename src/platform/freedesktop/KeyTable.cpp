#include "KeyTable.h"

#include <xkbcommon/xkbcommon-keysyms.h>

namespace {

struct KeyRow {
    std::uint16_t keyCode;
    unsigned long keysym;
};

// Virtual key codes of a US ANSI keyboard.
constexpr KeyRow kKeys[] = {
    // Letters
    {0, XKB_KEY_a}, {11, XKB_KEY_b}, {8, XKB_KEY_c}, {2, XKB_KEY_d}, {14, XKB_KEY_e}, {3, XKB_KEY_f}, {5, XKB_KEY_g}, {4, XKB_KEY_h}, {34, XKB_KEY_i},
    {38, XKB_KEY_j}, {40, XKB_KEY_k}, {37, XKB_KEY_l}, {46, XKB_KEY_m}, {45, XKB_KEY_n}, {31, XKB_KEY_o}, {35, XKB_KEY_p}, {12, XKB_KEY_q},
    {15, XKB_KEY_r}, {1, XKB_KEY_s}, {17, XKB_KEY_t}, {32, XKB_KEY_u}, {9, XKB_KEY_v}, {13, XKB_KEY_w}, {7, XKB_KEY_x}, {16, XKB_KEY_y}, {6, XKB_KEY_z},
    // Digits
    {29, XKB_KEY_0}, {18, XKB_KEY_1}, {19, XKB_KEY_2}, {20, XKB_KEY_3}, {21, XKB_KEY_4}, {23, XKB_KEY_5}, {22, XKB_KEY_6}, {26, XKB_KEY_7},
    {28, XKB_KEY_8}, {25, XKB_KEY_9},
    // Punctuation
    {24, XKB_KEY_equal}, {27, XKB_KEY_minus}, {30, XKB_KEY_bracketright}, {33, XKB_KEY_bracketleft}, {39, XKB_KEY_apostrophe},
    {41, XKB_KEY_semicolon}, {42, XKB_KEY_backslash}, {43, XKB_KEY_comma}, {44, XKB_KEY_slash}, {47, XKB_KEY_period},
    {50, XKB_KEY_grave}, {10, XKB_KEY_section},
    // Editing and navigation
    {36, XKB_KEY_Return}, {52, XKB_KEY_Return}, {48, XKB_KEY_Tab}, {49, XKB_KEY_space}, {51, XKB_KEY_BackSpace}, {53, XKB_KEY_Escape},
    {117, XKB_KEY_Delete}, {114, XKB_KEY_Insert}, {115, XKB_KEY_Home}, {119, XKB_KEY_End}, {116, XKB_KEY_Page_Up},
    {121, XKB_KEY_Page_Down}, {123, XKB_KEY_Left}, {124, XKB_KEY_Right}, {125, XKB_KEY_Down}, {126, XKB_KEY_Up}, {110, XKB_KEY_Menu},
    // Modifier keys
    {55, XKB_KEY_Control_L}, {54, XKB_KEY_Control_R}, {56, XKB_KEY_Shift_L}, {60, XKB_KEY_Shift_R}, {58, XKB_KEY_Alt_L},
    {61, XKB_KEY_Alt_R}, {59, XKB_KEY_Control_L}, {62, XKB_KEY_Control_R}, {57, XKB_KEY_Caps_Lock},
    // Function keys
    {122, XKB_KEY_F1}, {120, XKB_KEY_F2}, {99, XKB_KEY_F3}, {118, XKB_KEY_F4}, {96, XKB_KEY_F5}, {97, XKB_KEY_F6}, {98, XKB_KEY_F7},
    {100, XKB_KEY_F8}, {101, XKB_KEY_F9}, {109, XKB_KEY_F10}, {103, XKB_KEY_F11}, {111, XKB_KEY_F12}, {105, XKB_KEY_F13}, {107, XKB_KEY_F14},
    {113, XKB_KEY_F15}, {106, XKB_KEY_F16}, {64, XKB_KEY_F17}, {79, XKB_KEY_F18}, {80, XKB_KEY_F19}, {90, XKB_KEY_F20},
    // Keypad
    {82, XKB_KEY_KP_0}, {83, XKB_KEY_KP_1}, {84, XKB_KEY_KP_2}, {85, XKB_KEY_KP_3}, {86, XKB_KEY_KP_4}, {87, XKB_KEY_KP_5}, {88, XKB_KEY_KP_6},
    {89, XKB_KEY_KP_7}, {91, XKB_KEY_KP_8}, {92, XKB_KEY_KP_9}, {65, XKB_KEY_KP_Decimal}, {67, XKB_KEY_KP_Multiply}, {69, XKB_KEY_KP_Add},
    {75, XKB_KEY_KP_Divide}, {78, XKB_KEY_KP_Subtract}, {76, XKB_KEY_KP_Enter}, {81, XKB_KEY_KP_Equal}, {71, XKB_KEY_Num_Lock},
    // Hardware volume keys
    {72, XKB_KEY_XF86AudioRaiseVolume}, {73, XKB_KEY_XF86AudioLowerVolume}, {74, XKB_KEY_XF86AudioMute},
};

constexpr std::uint64_t kModifierFlags =
    KeyFlags::Shift | KeyFlags::Control | KeyFlags::Option | KeyFlags::Command;

struct ShortcutRow {
    KeyPurpose purpose;
    std::uint16_t keyCode;
    std::uint64_t flags; // exact Shift/Control/Option/Command combination
    KeyAction action;
};

constexpr KeyAction Key(unsigned long keysym, unsigned modifiers = 0)
{
    return {KeyAction::Kind::Key, keysym, modifiers};
}

// Shortcuts whose Linux equivalent is not the literal translation. Window
// shortcuts without a row here (close, reload, new tab, zoom) follow the
// general rule: Command+W becomes Control+W, and so on.
const ShortcutRow kShortcuts[] = {
    // Window and application switching
    {KeyPurpose::WindowShortcut, 3, KeyFlags::Command | KeyFlags::Control, Key(XKB_KEY_F11)},
    {KeyPurpose::WindowShortcut, 46, KeyFlags::Command, {KeyAction::Kind::IconifyActiveWindow, 0, 0}},
    {KeyPurpose::WindowShortcut, 103, 0, {KeyAction::Kind::ToggleShowingDesktop, 0, 0}},
    {KeyPurpose::WindowShortcut, 123, KeyFlags::Command, Key(XKB_KEY_Left, KeyModifier::Alt)},
    {KeyPurpose::WindowShortcut, 124, KeyFlags::Command, Key(XKB_KEY_Right, KeyModifier::Alt)},
    {KeyPurpose::WindowShortcut, 48, KeyFlags::Command, Key(XKB_KEY_Tab, KeyModifier::Alt)},
    {KeyPurpose::WindowShortcut, 55, 0, Key(XKB_KEY_Alt_L)}, // held for the application switcher
    // Slide show
    {KeyPurpose::Presentation, 52, KeyFlags::Command, Key(XKB_KEY_F5)},
    // Music player
    {KeyPurpose::MusicControl, 49, 0, Key(XKB_KEY_XF86AudioPlay)},
    {KeyPurpose::MusicControl, 126, KeyFlags::Command, Key(XKB_KEY_XF86AudioRaiseVolume)},
    {KeyPurpose::MusicControl, 125, KeyFlags::Command, Key(XKB_KEY_XF86AudioLowerVolume)},
    {KeyPurpose::MusicControl, 123, KeyFlags::Command, Key(XKB_KEY_XF86AudioPrev)},
    {KeyPurpose::MusicControl, 124, KeyFlags::Command, Key(XKB_KEY_XF86AudioNext)},
};

} // namespace

unsigned long KeyTable::Keysym(std::uint16_t keyCode)
{
    for (const KeyRow& row : kKeys) {
        if (row.keyCode == keyCode)
            return row.keysym;
    }
    return 0;
}

unsigned KeyTable::Modifiers(std::uint64_t flags)
{
    unsigned modifiers = 0;
    if (flags & (KeyFlags::Command | KeyFlags::Control))
        modifiers |= KeyModifier::Control;
    if (flags & KeyFlags::Option)
        modifiers |= KeyModifier::Alt;
    if (flags & KeyFlags::Shift)
        modifiers |= KeyModifier::Shift;
    return modifiers;
}

KeyAction KeyTable::Translate(std::uint16_t keyCode, std::uint64_t flags, KeyPurpose purpose)
{
    for (const ShortcutRow& row : kShortcuts) {
        if (row.purpose == purpose && row.keyCode == keyCode && row.flags == (flags & kModifierFlags))
            return row.action;
    }
    const unsigned long keysym = Keysym(keyCode);
    if (keysym == 0)
        return {};
    return Key(keysym, Modifiers(flags));
}

unsigned long KeyTable::KeysymForCharacter(char32_t character)
{
    switch (character) {
    case U'\n':
    case U'\r': return XKB_KEY_Return;
    case U'\t': return XKB_KEY_Tab;
    case U'\b': return XKB_KEY_BackSpace;
    default: break;
    }
    if (character < 0x20 || character == 0x7F || (character >= 0x80 && character < 0xA0))
        return 0; // control characters
    if (character >= 0xD800 && character <= 0xDFFF)
        return 0; // lone surrogate halves
    if (character > 0x10FFFF)
        return 0;
    if (character <= 0xFF)
        return character; // Latin-1 keysyms are the code points themselves
    return 0x01000000ul | character;
}

std::vector<unsigned long> KeyTable::KeysymsForText(TypedCharacters& characters, const char16_t* units,
                                                   std::size_t count)
{
    std::vector<unsigned long> keysyms;
    characters.feed(units, count, [&](char32_t character) {
        if (const unsigned long keysym = KeysymForCharacter(character))
            keysyms.push_back(keysym);
    });
    return keysyms;
}
