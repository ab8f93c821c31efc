#include "TextKeysyms.h"

#include "KeyTable.h"

std::vector<unsigned long> TextKeysyms::take(const char16_t* units, std::size_t count)
{
    std::vector<unsigned long> keysyms;
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            pendingHighSurrogate = unit; // its partner may come with the next event
            continue;
        }
        char32_t character = unit;
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            if (pendingHighSurrogate == 0)
                continue; // a low half without its high half is not a character
            character = 0x10000 + ((static_cast<char32_t>(pendingHighSurrogate) - 0xD800) << 10) +
                        (static_cast<char32_t>(unit) - 0xDC00);
        }
        pendingHighSurrogate = 0;
        const char32_t previous = lastCharacter;
        lastCharacter = character;
        if (character == U'\n' && previous == U'\r')
            continue; // a CR LF pair is one line break
        if (const unsigned long keysym = KeyTable::KeysymForCharacter(character))
            keysyms.push_back(keysym);
    }
    return keysyms;
}
