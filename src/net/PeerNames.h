#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

// The names that peers gave in their discovery queries, by the address each
// query came from, so the desktop can tell the user which phone asks to
// connect. The names come from the network: only well-formed UTF-8 is kept,
// without control or text-direction characters and cut to a few dozen
// bytes, and only the most recent peers are remembered. Safe to use from any
// thread.
class PeerNames {
public:
    // Keeps name as the name of the peer at address (host byte order); an
    // empty or malformed name forgets what was known.
    void Remember(std::uint32_t address, const char* name);
    // The name of the peer at address, or the empty text.
    std::string Lookup(std::uint32_t address) const;

    // The name as it is kept: empty for malformed UTF-8, otherwise the text
    // without control and direction characters, cut at a character boundary
    // to at most kMaxNameBytes bytes.
    static std::string Clean(const char* name);

    static constexpr std::size_t kMaxNameBytes = 64;
    static constexpr std::size_t kMaxPeers = 256;

private:
    mutable std::mutex mutex;
    std::unordered_map<std::uint32_t, std::string> names;
    std::deque<std::uint32_t> order; // oldest first, each address once
};
