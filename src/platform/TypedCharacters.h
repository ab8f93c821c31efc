#pragma once

#include <cstddef>

// The characters of typed text that arrives in pieces of UTF-16 code units:
// a surrogate pair is joined even when its halves come in separate pieces,
// a low half without its high half is dropped, and a CR LF pair is one line
// break (CR). Kept per event poster, for the whole life of the program.
class TypedCharacters {
public:
    // Calls emit(char32_t) for each complete character of the piece.
    template <typename Emit>
    void feed(const char16_t* units, std::size_t count, Emit&& emit)
    {
        for (std::size_t i = 0; i < count; ++i) {
            const char16_t unit = units[i];
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                pendingHighSurrogate = unit; // its partner may come with the next piece
                continue;
            }
            char32_t character = unit;
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                if (pendingHighSurrogate == 0)
                    continue;
                character = 0x10000 + ((static_cast<char32_t>(pendingHighSurrogate) - 0xD800) << 10) +
                            (static_cast<char32_t>(unit) - 0xDC00);
            }
            pendingHighSurrogate = 0;
            const char32_t previous = lastCharacter;
            lastCharacter = character;
            if (character == U'\n' && previous == U'\r')
                continue;
            emit(character);
        }
    }
    // Forgets a pending half and the last character (a new connection to the desktop).
    void reset()
    {
        pendingHighSurrogate = 0;
        lastCharacter = 0;
    }

private:
    char16_t pendingHighSurrogate = 0;
    char32_t lastCharacter = 0;
};
