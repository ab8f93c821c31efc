#pragma once

#include "EventPoster.h"

#include <cstdint>

// The two ways the keyboard operations send one key.
class KeyStroke {
public:
    KeyStroke() = delete;

    // Key-down then key-up with no flags of their own.
    static void Plain(int keyCode, KeyPurpose purpose);
    // Key-down carrying flags, then key-up without flags, both from the
    // session's event source; without one, nothing is sent (the poster
    // reports "No event source").
    static void WithFlags(int keyCode, std::uint64_t flags, KeyPurpose purpose);
    // Only the key-down or only the key-up, from the session's event source.
    static void DownOnly(int keyCode, KeyPurpose purpose);
    static void UpOnly(int keyCode, KeyPurpose purpose);
};
