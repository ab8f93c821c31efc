#include "MyUDP.h"

#include "AppDelegateHooks.h"

MyUDP::~MyUDP()
{
    Stop(); // the receive thread must not call into a half-destroyed object
    delegate = nullptr;
}

void MyUDP::ProcessMsg(const char* uuid, UDPMsgType type, const char* name, const char* peerIp, SysType sysType)
{
    UDPSocket::ProcessMsg(uuid, type, name, peerIp, sysType);
    if (type == UDPMsg_Query)
        return;
    if (AppDelegateHooks* target = delegate.load())
        target->myUDPAnswer(this, static_cast<int>(type), name, peerIp, static_cast<int>(sysType));
}
