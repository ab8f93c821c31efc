#pragma once

#include "UDPSocket.h"

#include <functional>
#include <string>

// The searching side of discovery: listens on the discovery port, sends a
// query and reports every answer or leaving notice from other peers. It
// does not answer queries itself.
class SDiscover : public UDPSocket {
public:
    using Listener = std::function<void(UDPMsgType type, const std::string& name, const std::string& ip, SysType sysType)>;

    explicit SDiscover(Listener listener);
    ~SDiscover();

    void ProcessMsg(const char* uuid, UDPMsgType type, const char* name, const char* ip, SysType sysType) override;

private:
    Listener listener;
};
