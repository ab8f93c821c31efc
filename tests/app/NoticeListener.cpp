#include "NoticeListener.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

NoticeListener::NoticeListener(int udpPort)
{
    fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(udpPort));
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
}

NoticeListener::~NoticeListener()
{
    if (fd >= 0)
        ::close(fd);
}

std::string NoticeListener::hear(int timeoutMs)
{
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) <= 0)
        return {};
    char buffer[512] = {};
    if (::recv(fd, buffer, sizeof buffer - 1, 0) <= 0)
        return {};
    return buffer;
}
