#pragma once

#include <string>
#include <vector>

// The addresses of this host's network interfaces.
class HostAddresses {
public:
    HostAddresses() = delete;

    // Every IPv4 and IPv6 address text, in the order the system lists them.
    static std::vector<std::string> all();
    // The addresses a phone can reach: not starting with "127" and made of
    // exactly four dot-separated parts.
    static std::vector<std::string> qualifying();
    static bool qualifies(const std::string& address);
    // The pairing text: each qualifying address followed by "^_7".
    static std::string pairingPayload();
};
