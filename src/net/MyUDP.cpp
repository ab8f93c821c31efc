#include "MyUDP.h"

#include "AppDelegateHooks.h"
#include "PeerNames.h"

#include <arpa/inet.h>

MyUDP::~MyUDP()
{
    Stop(); // the receive thread must not call into a half-destroyed object
    delegate = nullptr;
    peerNames = nullptr;
}

void MyUDP::ProcessMsg(const char* uuid, UDPMsgType type, const char* name, const char* peerIp, SysType sysType)
{
    if (type == UDPMsg_Query) {
        // Noted before the answer goes out: a phone that has its answer is
        // known by name.
        in_addr address{};
        PeerNames* names = peerNames.load();
        if (names != nullptr && ::inet_pton(AF_INET, peerIp, &address) == 1)
            names->Remember(ntohl(address.s_addr), name);
    }
    UDPSocket::ProcessMsg(uuid, type, name, peerIp, sysType);
    if (type == UDPMsg_Query)
        return;
    if (AppDelegateHooks* target = delegate.load())
        target->myUDPAnswer(this, static_cast<int>(type), name, peerIp, static_cast<int>(sysType));
}
