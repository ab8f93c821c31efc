#pragma once

#include "RawConnection.h"

#include <memory>
#include <string>

// Two network namespaces of the test's own, joined by a veth pair: the
// server's, with the address kServerAddress, and the phone's, with as many
// addresses as asked for (phoneAddress(0), phoneAddress(1), ...), all in
// 10.213.0.0/16. Named after the test process and a counter, made without
// touching the host's own network (or an exception), and deleted on
// destruction. Needs root and the ip tool: see available().
class NetworkNamespaces {
public:
    explicit NetworkNamespaces(int phoneAddresses = 1);
    ~NetworkNamespaces();
    NetworkNamespaces(const NetworkNamespaces&) = delete;
    NetworkNamespaces& operator=(const NetworkNamespaces&) = delete;

    static bool available();

    static constexpr const char* kServerAddress = "10.213.0.1";
    // The phone's n-th address, n below 200: 10.213.1.10, 10.213.1.11, ...
    static std::string phoneAddress(int n);

    // A connection from the phone's n-th address to the server address;
    // with a head, that request (with an empty body) is sent on it.
    std::unique_ptr<RawConnection> connect(int phone, int port, const std::string& head = std::string()) const;
    // The broadcast address of the pair's network.
    static constexpr const char* kBroadcast = "10.213.255.255";

    enum class Side { Server, Phone };
    // Moves the calling thread into one of the namespaces while it lives:
    // the sockets it opens and the programs it starts meanwhile belong there
    // for good.
    class Inside {
    public:
        Inside(const NetworkNamespaces& pair, Side side);
        ~Inside();
        Inside(const Inside&) = delete;
        Inside& operator=(const Inside&) = delete;

    private:
        int previous;
    };

private:
    void Delete();

    std::string server;
    std::string phone;
};

// Skips the enclosing test where network namespaces cannot be made.
#define CORVANE_REQUIRE_NAMESPACES()                                                   \
    if (!NetworkNamespaces::available())                                                 \
    GTEST_SKIP() << "no network namespaces here (root and the ip tool are needed)"
