#include "PeerNames.h"

#include <algorithm>
#include <cstring>

namespace {

// Characters that would make a name print oddly or lie about its own text:
// control characters, invisible separators and the marks that reorder text.
bool Unwanted(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB);
}

// Reads one UTF-8 character at text[at]; its length, or 0 when malformed.
std::size_t DecodeOne(const unsigned char* text, std::size_t at, std::size_t size, char32_t& c)
{
    const unsigned char lead = text[at];
    std::size_t length;
    char32_t min;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (at + length > size)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((text[at + i] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (text[at + i] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string PeerNames::Clean(const char* name)
{
    if (name == nullptr)
        return {};
    const auto* text = reinterpret_cast<const unsigned char*>(name);
    const std::size_t size = std::strlen(name);
    std::string kept;
    bool full = false;
    for (std::size_t at = 0; at < size;) {
        char32_t c = 0;
        const std::size_t length = DecodeOne(text, at, size, c);
        if (length == 0)
            return {};
        full = full || kept.size() + length > kMaxNameBytes;
        if (!full && !Unwanted(c))
            kept.append(name + at, length);
        at += length;
    }
    const std::size_t first = kept.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return kept.substr(first, kept.find_last_not_of(' ') - first + 1);
}

void PeerNames::Remember(std::uint32_t address, const char* name)
{
    std::string cleaned = Clean(name);
    std::lock_guard lock(mutex);
    const bool known = names.count(address) != 0;
    if (cleaned.empty()) {
        if (known) {
            names.erase(address);
            order.erase(std::find(order.begin(), order.end(), address));
        }
        return;
    }
    if (!known) {
        if (order.size() == kMaxPeers) {
            names.erase(order.front());
            order.pop_front();
        }
        order.push_back(address);
    }
    names[address] = std::move(cleaned);
}

std::string PeerNames::Lookup(std::uint32_t address) const
{
    std::lock_guard lock(mutex);
    const auto found = names.find(address);
    return found == names.end() ? std::string() : found->second;
}
