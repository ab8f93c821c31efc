#include "FreePort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

static int BindZero(int type)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

int FreePort::tcp()
{
    return BindZero(SOCK_STREAM);
}

int FreePort::udp()
{
    return BindZero(SOCK_DGRAM);
}

LaunchOptions FreePort::launchOptions()
{
    LaunchOptions options;
    options.tcpPort = tcp();
    options.udpPort = udp();
    options.broadcast = "127.255.255.255";
    return options;
}
