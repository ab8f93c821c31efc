#pragma once

#include <cstddef>
#include <vector>

// Turns the UTF-16 code units of text key events into the keysyms that type
// them (KeyTable::KeysymForCharacter). A surrogate pair is joined also when
// its halves come in consecutive events (the high half waits here), and a
// CR LF pair makes one Return. One object per stream of text events.
class TextKeysyms {
public:
    std::vector<unsigned long> take(const char16_t* units, std::size_t count);
    // Forgets a waiting half and the last character.
    void reset() { *this = TextKeysyms(); }

private:
    char16_t pendingHighSurrogate = 0;
    char32_t lastCharacter = 0;
};
