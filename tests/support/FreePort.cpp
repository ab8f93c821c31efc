#include "FreePort.h"

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

// Ports handed out by bind(0) come from the range the kernel also gives every
// outgoing connection, so a port probed that way can be taken by some other
// test's client socket before the server binds it. The probe therefore draws
// ports just below that range and keeps the first one that binds.
static bool Binds(int type, int port)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

static int Probe(int type)
{
    int ephemeralLow = 32768;
    std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> ephemeralLow;
    const int low = std::max(1024, ephemeralLow - 12000);
    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> pick(low, std::max(low, ephemeralLow - 1));
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int port = pick(random);
        if (Binds(type, port))
            return port;
    }
    throw std::runtime_error("no free port on 127.0.0.1 below the ephemeral range");
}

int FreePort::tcp()
{
    return Probe(SOCK_STREAM);
}

int FreePort::udp()
{
    return Probe(SOCK_DGRAM);
}

LaunchOptions FreePort::launchOptions()
{
    LaunchOptions options;
    options.tcpPort = tcp();
    options.udpPort = udp();
    options.broadcast = "127.255.255.255";
    return options;
}
