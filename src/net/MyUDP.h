#pragma once

#include "UDPSocket.h"

#include <atomic>

class AppDelegateHooks;

// Discovery that tells the application delegate about answering and
// leaving peers.
class MyUDP : public UDPSocket {
public:
    MyUDP() = default;
    ~MyUDP();

    void ProcessMsg(const char* uuid, UDPMsgType type, const char* name, const char* ip, SysType sysType) override;

    std::atomic<AppDelegateHooks*> delegate{nullptr};
};
