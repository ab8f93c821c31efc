#include "HostAddresses.h"

#include "SCommon.h"
#include "SConfig.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

std::vector<std::string> HostAddresses::all()
{
    std::vector<std::string> addresses;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return addresses;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr)
            continue;
        char text[INET6_ADDRSTRLEN] = {};
        if (entry->ifa_addr->sa_family == AF_INET) {
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        } else {
            continue;
        }
        addresses.emplace_back(text);
    }
    ::freeifaddrs(list);
    return addresses;
}

bool HostAddresses::qualifies(const std::string& address)
{
    return address.rfind("127", 0) != 0 && split(address, ".").size() == 4;
}

std::vector<std::string> HostAddresses::qualifying()
{
    std::vector<std::string> result;
    for (const std::string& address : all()) {
        if (qualifies(address))
            result.push_back(address);
    }
    return result;
}

std::string HostAddresses::pairingPayload()
{
    std::string payload;
    for (const std::string& address : qualifying())
        payload += address + SConfig::kFieldSep;
    return payload;
}
