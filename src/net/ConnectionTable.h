#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

// The connections a service holds open, each with its peer's address, so
// that one address cannot take more than its share of them. Every open
// connection counts, whatever it is doing: reading a request, running a
// live channel, or waiting. Not synchronised: the owner locks around it.
class ConnectionTable {
public:
    // Records the connection unless maxTotal connections are open already,
    // or maxPerAddress of them come from the same address; false then.
    bool Admit(int sock, std::uint32_t address, int maxTotal, int maxPerAddress);
    // Forgets a connection; nothing happens for one that is not recorded.
    void erase(int sock);
    int size() const { return static_cast<int>(peers.size()); }
    int CountFrom(std::uint32_t address) const;
    std::vector<int> Sockets() const;

private:
    std::unordered_map<int, std::uint32_t> peers;      // socket -> peer address
    std::unordered_map<std::uint32_t, int> perAddress; // peer address -> open connections
};
