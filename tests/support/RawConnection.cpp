#include "RawConnection.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

RawConnection::RawConnection(int port, const char* from)
{
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (from != nullptr) {
        address.sin_addr.s_addr = inet_addr(from);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            close();
    }
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        close();
}

RawConnection::~RawConnection()
{
    close();
}

void RawConnection::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

std::string RawConnection::framed(const std::string& payload)
{
    char packet[65] = {};
    std::snprintf(packet, sizeof packet, "%zu", payload.size());
    return std::string(packet, 64) + payload;
}

void RawConnection::send(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0)
            return;
        done += static_cast<size_t>(sent);
    }
}

void RawConnection::sendFramed(const std::string& payload)
{
    send(framed(payload));
}

std::string RawConnection::readAll(int timeoutMs)
{
    std::string bytes;
    char buffer[65536];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, timeoutMs) <= 0)
            break;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return bytes;
}

bool RawConnection::waitForClose(int timeoutMs)
{
    char buffer[4096];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, timeoutMs) <= 0)
            return false;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN))
            return true;
    }
}
