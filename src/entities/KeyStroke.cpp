#include "KeyStroke.h"

namespace {

// Key codes travel as 16-bit values; larger numbers keep their low 16 bits.
std::uint16_t Code(int keyCode)
{
    return static_cast<std::uint16_t>(static_cast<unsigned>(keyCode) & 0xFFFFu);
}

} // namespace

void KeyStroke::Plain(int keyCode, KeyPurpose purpose)
{
    EventPoster& poster = EventPoster::instance();
    poster.postKey(Code(keyCode), true, 0, purpose);
    poster.postKey(Code(keyCode), false, 0, purpose);
}

void KeyStroke::WithFlags(int keyCode, std::uint64_t flags, KeyPurpose purpose)
{
    EventPoster& poster = EventPoster::instance();
    if (!poster.hasEventSource())
        return;
    poster.postKey(Code(keyCode), true, flags, purpose);
    poster.postKey(Code(keyCode), false, 0, purpose);
}

void KeyStroke::DownOnly(int keyCode, KeyPurpose purpose)
{
    EventPoster& poster = EventPoster::instance();
    if (poster.hasEventSource())
        poster.postKey(Code(keyCode), true, 0, purpose);
}

void KeyStroke::UpOnly(int keyCode, KeyPurpose purpose)
{
    EventPoster& poster = EventPoster::instance();
    if (poster.hasEventSource())
        poster.postKey(Code(keyCode), false, 0, purpose);
}
