#include "UDPSocket.h"

#include "Log.h"
#include "SConfig.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

UDPSocket::UDPSocket() : answers(SConfig::kDiscoveryAnswerBurst, SConfig::kDiscoveryAnswersPerSecond)
{
    port = SConfig::kDiscoveryPort;
    sock = -1;
}

UDPSocket::~UDPSocket()
{
    Stop();
}

NetResult UDPSocket::Start()
{
    Stop();
    startErrno = 0;
    sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 1) {
        startErrno = errno;
        Log::Printf("create socket error：%d\n", startErrno);
        sock = -1;
        return NR_UDPSocketError;
    }
    serverAddr = {};
    serverAddr.sin_family = AF_INET;
    serverAddr.sin_addr.s_addr = htonl(INADDR_ANY);
    serverAddr.sin_port = htons(static_cast<uint16_t>(port));
    const int on = 1;
    if (::setsockopt(sock, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        startErrno = errno;
        ::close(sock);
        sock = -1;
        return NR_UDPSocketError;
    }
    // Other listeners on this host (a phone emulator, the client tool) may
    // share the port; each gets every broadcast.
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(sock, reinterpret_cast<sockaddr*>(&serverAddr), sizeof serverAddr) != 0) {
        startErrno = errno;
        Log::Printf("bind socket error：%d\n", startErrno);
        ::close(sock);
        sock = -1;
        return NR_UDPBindError;
    }
    stopping = false;
    recvThread = std::thread(&UDPSocket::RecvThread, this);
    return NR_OK;
}

void UDPSocket::Stop()
{
    stopping = true;
    // Shutting the socket down wakes the blocked receive, which then sees
    // the stop flag; the thread has ended when Stop returns.
    if (sock > -1)
        ::shutdown(sock, SHUT_RDWR);
    if (recvThread.joinable())
        recvThread.join();
    if (sock > -1) {
        ::close(sock);
        sock = -1;
    }
}

void UDPSocket::RecvThread(UDPSocket* socket)
{
    socket->ProcessRecvThread(socket->sock);
}

void UDPSocket::ProcessRecvThread(int fd)
{
    for (;;) {
        char buffer[SConfig::kDatagramLen + 1];
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        // One datagram is one message; a longer one is cut at 256 bytes.
        const ssize_t got = ::recvfrom(fd, buffer, SConfig::kDatagramLen, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (stopping)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        buffer[got] = 0;
        try {
            HandleDatagram(buffer, from);
        } catch (...) {
            // a datagram that cannot be handled is dropped
        }
    }
}

void UDPSocket::HandleDatagram(const char* text, const sockaddr_in& from)
{
    if (!servesPeer(from, lanOnly))
        return;
    const std::vector<std::string> fields = split(text, SConfig::kFieldSep);
    if (fields.size() < 4)
        return;
    if (fields[3] == getUUID())
        return; // our own broadcast, heard back
    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
    ProcessMsg(fields[3].c_str(), static_cast<UDPMsgType>(std::atoi(fields[0].c_str())), fields[1].c_str(), address,
               static_cast<SysType>(std::atoi(fields[2].c_str())));
}

void UDPSocket::ProcessMsg(const char* uuid, UDPMsgType type, const char* name, const char* peerIp, SysType sysType)
{
    switch (type) {
    case UDPMsg_Query:
        // A query dropped here still hears the answers to the others: they
        // are broadcast.
        if (answers.Take())
            SendBoardcast(UDPMsg_Answer);
        break;
    case UDPMsg_Leaving:
        Log::Printf("ProcessMsg===>uuid:%s msgType:%d name:%s ip:%s sysType:%d\n", uuid, static_cast<int>(type), name,
                    peerIp, static_cast<int>(sysType));
        break;
    default:
        break;
    }
}

NetResult UDPSocket::SendBoardcast(UDPMsgType type)
{
    std::string name = hostName();
    if (name.empty())
        name = "Hi";
    char buffer[SConfig::kDatagramLen + 1] = {};
    std::snprintf(buffer, sizeof buffer, "%d%s%s%s%d%s%s", static_cast<int>(type), SConfig::kFieldSep, name.c_str(),
                  SConfig::kFieldSep, static_cast<int>(SysType_Desktop), SConfig::kFieldSep, getUUID());
    return SendMsg(buffer, SConfig::kDatagramLen);
}

static NetResult ReportSendFailure(const char* message, int fd, NetResult result)
{
    std::fprintf(stderr, "%s: %s\n", message, std::strerror(errno));
    if (fd >= 0)
        ::close(fd);
    return result;
}

NetResult UDPSocket::SendMsg(char* buf, long len)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return ReportSendFailure("Broadcast UDP created socket error", -1, NR_UDPSocketError);
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        return ReportSendFailure("Broadcast UDP set socket error", fd, NR_UDPSocketError);
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, broadcastIp, &destination.sin_addr) != 1) {
        errno = EINVAL;
        return ReportSendFailure("Broadcast send error!", fd, NR_BroadcastError);
    }
    long sentTotal = 0;
    while (sentTotal < len) {
        const ssize_t sent = ::sendto(fd, buf + sentTotal, static_cast<size_t>(len - sentTotal), 0,
                                      reinterpret_cast<sockaddr*>(&destination), sizeof destination);
        if (sent < 0)
            return ReportSendFailure("Broadcast send error!", fd, NR_BroadcastError);
        sentTotal += sent;
    }
    ::close(fd);
    return NR_OK;
}
