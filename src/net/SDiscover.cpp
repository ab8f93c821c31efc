#include "SDiscover.h"

SDiscover::SDiscover(Listener onMessage) : listener(std::move(onMessage)) {}

SDiscover::~SDiscover()
{
    Stop(); // the receive thread calls ProcessMsg, so end it first
}

void SDiscover::ProcessMsg(const char*, UDPMsgType type, const char* name, const char* peerIp, SysType sysType)
{
    if (type != UDPMsg_Query && listener)
        listener(type, name, peerIp, sysType);
}
