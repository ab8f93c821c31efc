#pragma once

#include "BaseSocket.h"
#include "NetResult.h"
#include "SCommon.h"
#include "TokenBucket.h"

#include <atomic>
#include <netinet/in.h>
#include <thread>

// Discovery: a UDP socket bound to the discovery port with a receive thread
// that answers queries, and a sender of broadcast datagrams. Each datagram is
// "type^_7name^_7sysType^_7id" padded with zero bytes to 256.
//
// Datagrams from peers the address rule does not serve (see servesPeer) are
// dropped, and queries are answered at a bounded rate: each answer is a
// broadcast twenty times the size of a query, which must not let a flood of
// queries turn this host into an amplifier.
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
    std::atomic<bool> lanOnly{true};
    sockaddr_in serverAddr{};
    std::thread recvThread;
    // The errno of the step that made the last Start fail (0 after a good one).
    int startErrno = 0;

private:
    std::atomic<bool> stopping{false};
    TokenBucket answers; // used by the receive thread only
};
