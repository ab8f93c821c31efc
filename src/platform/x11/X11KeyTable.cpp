#include "X11KeyTable.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

namespace {

struct KeyRow {
    std::uint16_t keyCode;
    unsigned long keysym;
};

// Virtual key codes of a US ANSI keyboard.
constexpr KeyRow kKeys[] = {
    // Letters
    {0, XK_a}, {11, XK_b}, {8, XK_c}, {2, XK_d}, {14, XK_e}, {3, XK_f}, {5, XK_g}, {4, XK_h}, {34, XK_i},
    {38, XK_j}, {40, XK_k}, {37, XK_l}, {46, XK_m}, {45, XK_n}, {31, XK_o}, {35, XK_p}, {12, XK_q},
    {15, XK_r}, {1, XK_s}, {17, XK_t}, {32, XK_u}, {9, XK_v}, {13, XK_w}, {7, XK_x}, {16, XK_y}, {6, XK_z},
    // Digits
    {29, XK_0}, {18, XK_1}, {19, XK_2}, {20, XK_3}, {21, XK_4}, {23, XK_5}, {22, XK_6}, {26, XK_7},
    {28, XK_8}, {25, XK_9},
    // Punctuation
    {24, XK_equal}, {27, XK_minus}, {30, XK_bracketright}, {33, XK_bracketleft}, {39, XK_apostrophe},
    {41, XK_semicolon}, {42, XK_backslash}, {43, XK_comma}, {44, XK_slash}, {47, XK_period},
    {50, XK_grave}, {10, XK_section},
    // Editing and navigation
    {36, XK_Return}, {52, XK_Return}, {48, XK_Tab}, {49, XK_space}, {51, XK_BackSpace}, {53, XK_Escape},
    {117, XK_Delete}, {114, XK_Insert}, {115, XK_Home}, {119, XK_End}, {116, XK_Page_Up},
    {121, XK_Page_Down}, {123, XK_Left}, {124, XK_Right}, {125, XK_Down}, {126, XK_Up}, {110, XK_Menu},
    // Modifier keys
    {55, XK_Control_L}, {54, XK_Control_R}, {56, XK_Shift_L}, {60, XK_Shift_R}, {58, XK_Alt_L},
    {61, XK_Alt_R}, {59, XK_Control_L}, {62, XK_Control_R}, {57, XK_Caps_Lock},
    // Function keys
    {122, XK_F1}, {120, XK_F2}, {99, XK_F3}, {118, XK_F4}, {96, XK_F5}, {97, XK_F6}, {98, XK_F7},
    {100, XK_F8}, {101, XK_F9}, {109, XK_F10}, {103, XK_F11}, {111, XK_F12}, {105, XK_F13}, {107, XK_F14},
    {113, XK_F15}, {106, XK_F16}, {64, XK_F17}, {79, XK_F18}, {80, XK_F19}, {90, XK_F20},
    // Keypad
    {82, XK_KP_0}, {83, XK_KP_1}, {84, XK_KP_2}, {85, XK_KP_3}, {86, XK_KP_4}, {87, XK_KP_5}, {88, XK_KP_6},
    {89, XK_KP_7}, {91, XK_KP_8}, {92, XK_KP_9}, {65, XK_KP_Decimal}, {67, XK_KP_Multiply}, {69, XK_KP_Add},
    {75, XK_KP_Divide}, {78, XK_KP_Subtract}, {76, XK_KP_Enter}, {81, XK_KP_Equal}, {71, XK_Num_Lock},
    // Hardware volume keys
    {72, XF86XK_AudioRaiseVolume}, {73, XF86XK_AudioLowerVolume}, {74, XF86XK_AudioMute},
};

constexpr std::uint64_t kModifierFlags =
    KeyFlags::Shift | KeyFlags::Control | KeyFlags::Option | KeyFlags::Command;

struct ShortcutRow {
    KeyPurpose purpose;
    std::uint16_t keyCode;
    std::uint64_t flags; // exact Shift/Control/Option/Command combination
    X11KeyAction action;
};

constexpr X11KeyAction Key(unsigned long keysym, unsigned modifiers = 0)
{
    return {X11KeyAction::Kind::Key, keysym, modifiers};
}

// Shortcuts whose Linux equivalent is not the literal translation. Window
// shortcuts without a row here (close, reload, new tab, zoom) follow the
// general rule: Command+W becomes Control+W, and so on.
const ShortcutRow kShortcuts[] = {
    // Window and application switching
    {KeyPurpose::WindowShortcut, 3, KeyFlags::Command | KeyFlags::Control, Key(XK_F11)},
    {KeyPurpose::WindowShortcut, 46, KeyFlags::Command, {X11KeyAction::Kind::IconifyActiveWindow, 0, 0}},
    {KeyPurpose::WindowShortcut, 103, 0, {X11KeyAction::Kind::ToggleShowingDesktop, 0, 0}},
    {KeyPurpose::WindowShortcut, 123, KeyFlags::Command, Key(XK_Left, X11Modifier::Alt)},
    {KeyPurpose::WindowShortcut, 124, KeyFlags::Command, Key(XK_Right, X11Modifier::Alt)},
    {KeyPurpose::WindowShortcut, 48, KeyFlags::Command, Key(XK_Tab, X11Modifier::Alt)},
    {KeyPurpose::WindowShortcut, 55, 0, Key(XK_Alt_L)}, // held for the application switcher
    // Slide show
    {KeyPurpose::Presentation, 52, KeyFlags::Command, Key(XK_F5)},
    // Music player
    {KeyPurpose::MusicControl, 49, 0, Key(XF86XK_AudioPlay)},
    {KeyPurpose::MusicControl, 126, KeyFlags::Command, Key(XF86XK_AudioRaiseVolume)},
    {KeyPurpose::MusicControl, 125, KeyFlags::Command, Key(XF86XK_AudioLowerVolume)},
    {KeyPurpose::MusicControl, 123, KeyFlags::Command, Key(XF86XK_AudioPrev)},
    {KeyPurpose::MusicControl, 124, KeyFlags::Command, Key(XF86XK_AudioNext)},
};

} // namespace

unsigned long X11KeyTable::Keysym(std::uint16_t keyCode)
{
    for (const KeyRow& row : kKeys) {
        if (row.keyCode == keyCode)
            return row.keysym;
    }
    return 0;
}

unsigned X11KeyTable::Modifiers(std::uint64_t flags)
{
    unsigned modifiers = 0;
    if (flags & (KeyFlags::Command | KeyFlags::Control))
        modifiers |= X11Modifier::Control;
    if (flags & KeyFlags::Option)
        modifiers |= X11Modifier::Alt;
    if (flags & KeyFlags::Shift)
        modifiers |= X11Modifier::Shift;
    return modifiers;
}

X11KeyAction X11KeyTable::Translate(std::uint16_t keyCode, std::uint64_t flags, KeyPurpose purpose)
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

unsigned long X11KeyTable::KeysymForCharacter(char32_t character)
{
    switch (character) {
    case U'\n':
    case U'\r': return XK_Return;
    case U'\t': return XK_Tab;
    case U'\b': return XK_BackSpace;
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
