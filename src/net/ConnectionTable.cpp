#include "ConnectionTable.h"

bool ConnectionTable::Admit(int sock, std::uint32_t address, int maxTotal, int maxPerAddress)
{
    if (size() >= maxTotal || CountFrom(address) >= maxPerAddress)
        return false;
    peers[sock] = address;
    ++perAddress[address];
    return true;
}

void ConnectionTable::erase(int sock)
{
    const auto found = peers.find(sock);
    if (found == peers.end())
        return;
    const auto count = perAddress.find(found->second);
    if (--count->second == 0)
        perAddress.erase(count);
    peers.erase(found);
}

int ConnectionTable::CountFrom(std::uint32_t address) const
{
    const auto found = perAddress.find(address);
    return found == perAddress.end() ? 0 : found->second;
}

std::vector<int> ConnectionTable::Sockets() const
{
    std::vector<int> sockets;
    sockets.reserve(peers.size());
    for (const auto& entry : peers)
        sockets.push_back(entry.first);
    return sockets;
}
