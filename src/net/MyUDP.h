#pragma once

#include "UDPSocket.h"

#include <atomic>

class AppDelegateHooks;
class PeerNames;

// Discovery that tells the application delegate about answering and
// leaving peers, and notes the name each querying peer gives.
class MyUDP : public UDPSocket {
public:
    MyUDP() = default;
    ~MyUDP();

    void ProcessMsg(const char* uuid, UDPMsgType type, const char* name, const char* ip, SysType sysType) override;

    std::atomic<AppDelegateHooks*> delegate{nullptr};
    // Where the names of querying peers go; null keeps none.
    std::atomic<PeerNames*> peerNames{nullptr};
};
