#pragma once

#include "SCommon.h"

// Keyboard events: Unicode text, single keys by macOS virtual key code, keys
// with one modifier or a mask of modifiers, and the fixed arrow, space and
// music keys of the live channel.
class KeybdEntity {
public:
    KeybdEntity() = delete;

    static void InputChar(const char* text);
    static void InputChar(int keyCode);
    static void InputChar(int keyCode, int modifier); // 1 Command, 2 Control, 3 Option, 4 Fn
    static void HotKey(int keyCode, int mask);        // bits: 1 Command, 2 Control, 4 Option, 8 Shift, 16 Fn
    static void ReturnChar();
    static void DelChar();
    static void OtherCommand(MsgType type);
};
