#include "KeybdEntity.h"

#include "EventPoster.h"
#include "KeyStroke.h"
#include "Log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <glib.h>
#include <iterator>
#include <optional>
#include <string>

namespace {

constexpr std::size_t kUnitsPerEvent = 16;
constexpr int kKeyReturn = 52;
constexpr int kKeyDelete = 51;

// Decodes UTF-8 into UTF-16 code units with GLib's decoder. Text that is not
// well-formed UTF-8 (stray continuation bytes, overlong forms, encoded
// surrogates, values past U+10FFFF, cut-off sequences) has no decoding.
std::optional<std::u16string> Utf16FromUtf8(const char* text)
{
    glong count = 0;
    gunichar2* units = g_utf8_to_utf16(text, -1, nullptr, &count, nullptr);
    if (units == nullptr)
        return std::nullopt;
    std::u16string decoded(reinterpret_cast<const char16_t*>(units), static_cast<std::size_t>(count));
    g_free(units);
    return decoded;
}

} // namespace

void KeybdEntity::InputChar(const char* text)
{
    if (text == nullptr)
        return;
    const std::optional<std::u16string> units = Utf16FromUtf8(text);
    // The text may be a password: the log has its length only.
    Log::Printf("<%zu bytes>\n", std::strlen(text));
    if (!units)
        return;
    EventPoster& poster = EventPoster::instance();
    poster.announceText(units->data(), units->size());
    for (std::size_t start = 0; start < units->size(); start += kUnitsPerEvent) {
        const std::size_t count = std::min(kUnitsPerEvent, units->size() - start);
        poster.postUnicodeKeyDown(units->data() + start, count);
        Log::Printf("%ld\n", static_cast<long>(count));
    }
}

void KeybdEntity::InputChar(int keyCode)
{
    KeyStroke::Plain(keyCode, KeyPurpose::Keyboard);
}

void KeybdEntity::InputChar(int keyCode, int modifier)
{
    std::uint64_t flags = 0;
    switch (modifier) {
    case 1: flags = KeyFlags::Command; break;
    case 2: flags = KeyFlags::Control; break;
    case 3: flags = KeyFlags::Option; break;
    case 4: flags = KeyFlags::Fn; break;
    default: break;
    }
    KeyStroke::WithFlags(keyCode, flags, KeyPurpose::Keyboard);
}

void KeybdEntity::HotKey(int keyCode, int mask)
{
    std::uint64_t flags = 0;
    if (mask & 1)
        flags |= KeyFlags::Command;
    if (mask & 2)
        flags |= KeyFlags::Control;
    if (mask & 4)
        flags |= KeyFlags::Option;
    if (mask & 8)
        flags |= KeyFlags::Shift;
    if (mask & 16)
        flags |= KeyFlags::Fn;
    // Modifiers already held in the session (a held Alt of the application
    // switcher, the user's own keys) stay in effect: the flags are added.
    KeyStroke::WithFlags(keyCode, flags, KeyPurpose::Keyboard);
}

void KeybdEntity::ReturnChar()
{
    KeyStroke::Plain(kKeyReturn, KeyPurpose::Keyboard);
}

void KeybdEntity::DelChar()
{
    KeyStroke::Plain(kKeyDelete, KeyPurpose::Keyboard);
}

void KeybdEntity::OtherCommand(MsgType type)
{
    struct Row {
        int keyCode;
        bool command;
    };
    // Indexed by type - 11: arrows and space, then the music controls.
    static constexpr Row kRows[] = {
        {126, false}, {125, false}, {123, false}, {124, false}, {49, false},
        {49, false},  {126, true},  {125, true},  {123, true},  {124, true},
    };
    const int index = static_cast<int>(type) - MsgType_Up;
    if (index < 0 || index >= static_cast<int>(std::size(kRows)))
        return;
    const KeyPurpose purpose = type >= MsgType_MusicPlayPause ? KeyPurpose::MusicControl : KeyPurpose::Keyboard;
    KeyStroke::WithFlags(kRows[index].keyCode, kRows[index].command ? KeyFlags::Command : 0, purpose);
}
