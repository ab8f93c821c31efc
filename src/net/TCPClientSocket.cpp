#include "TCPClientSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
std::mutex connectIPMutex;
char* connectIP = nullptr; // created by the first SetConnectIP, kept for the process
}

void SetConnectIP(const char* ip)
{
    std::lock_guard lock(connectIPMutex);
    if (connectIP == nullptr)
        connectIP = new char[64]();
    std::snprintf(connectIP, 64, "%s", ip ? ip : "");
}

const char* GetConnectIP()
{
    std::lock_guard lock(connectIPMutex);
    return connectIP;
}

static int FailConnect(int fd, const char* message)
{
    std::fprintf(stderr, "%s\n", message);
    if (fd >= 0)
        ::close(fd);
    return -1;
}

int NonbSocket(const char* ip, int port, long timeout)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return FailConnect(-1, "socket failed");
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return FailConnect(fd, "fcntl1 failed");
    if (::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        return FailConnect(fd, "fcntl2 failed");

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = ::inet_addr(ip ? ip : "");
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS)
            return FailConnect(fd, "connect EINPROGRESS failed");
        fd_set readable, writable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        writable = readable;
        timeval limit{timeout, 0};
        int ready;
        do {
            ready = ::select(fd + 1, &readable, &writable, nullptr, timeout > 0 ? &limit : nullptr);
        } while (ready < 0 && errno == EINTR);
        if (ready == 0)
            return FailConnect(fd, " select timeout failed");
        int error = 0;
        socklen_t length = sizeof error;
        if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return FailConnect(fd, "getsockopt  failed");
    }
    if (::fcntl(fd, F_SETFL, flags) < 0)
        return FailConnect(fd, "fcntl done failed");
    return fd;
}

NetResult TCPClientSocket::ConnService()
{
    bConnecting = true;
    NetResult result = NR_ConnectError;
    Close();
    sock = NonbSocket(ip, port, timeout);
    if (sock > -1) {
        const int on = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        result = NR_OK;
    } else {
        sock = 0;
    }
    bConnecting = false;
    return result;
}
