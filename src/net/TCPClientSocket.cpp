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

int NonbSocket(const char* ip, int port, long timeout, int* error)
{
    // cause is the errno value that explains the failure.
    const auto fail = [error](int fd, const char* message, int cause) {
        if (error != nullptr)
            *error = cause;
        std::fprintf(stderr, "%s\n", message);
        if (fd >= 0)
            ::close(fd);
        return -1;
    };
    if (error != nullptr)
        *error = 0;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(-1, "socket failed", errno);
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return fail(fd, "fcntl1 failed", errno);
    if (::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        return fail(fd, "fcntl2 failed", errno);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = ::inet_addr(ip ? ip : "");
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS)
            return fail(fd, "connect EINPROGRESS failed", errno);
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
            return fail(fd, " select timeout failed", ETIMEDOUT);
        if (ready < 0)
            return fail(fd, "getsockopt  failed", errno);
        int pending = 0;
        socklen_t length = sizeof pending;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length) != 0)
            return fail(fd, "getsockopt  failed", errno);
        if (pending != 0)
            return fail(fd, "getsockopt  failed", pending);
    }
    if (::fcntl(fd, F_SETFL, flags) < 0)
        return fail(fd, "fcntl done failed", errno);
    return fd;
}

NetResult TCPClientSocket::ConnService()
{
    bConnecting = true;
    NetResult result = NR_ConnectError;
    Close();
    sock = NonbSocket(ip, port, timeout, &connectErrno);
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
