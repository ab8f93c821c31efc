#pragma once

#include "BaseSocket.h"
#include "NetResult.h"
#include "SCommon.h"

#include <atomic>
#include <netinet/in.h>
#include <thread>

// Discovery: a UDP socket bound to the discovery port with a receive thread
// that answers queries, and a sender of broadcast datagrams. Each datagram is
// "type^_7name^_7sysType^_7id" padded with zero bytes to 256.
class UDPSocket : public BaseSocket {
public:
    UDPSocket();
    ~UDPSocket();

    NetResult Start();
    void Stop();
    NetResult SendBoardcast(UDPMsgType type);
    NetResult SendMsg(char* buf, long len);

    virtual void ProcessMsg(const char* uuid, UDPMsgType type, const char* name, const char* ip, SysType sysType);

    static void RecvThread(UDPSocket* socket);
    void ProcessRecvThread(int fd);
    // Parses one received datagram and handles it unless it is our own.
    void HandleDatagram(const char* text, const sockaddr_in& from);

    // Where broadcasts go; set before Start.
    char broadcastIp[64] = "255.255.255.255";
    sockaddr_in serverAddr{};
    std::thread recvThread;
    // The errno of the step that made the last Start fail (0 after a good one).
    int startErrno = 0;

private:
    std::atomic<bool> stopping{false};
};
