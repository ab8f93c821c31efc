#pragma once

#include "NetResult.h"

#include <memory>
#include <string>

class SService;

// The application's TCP service on a free loopback port inside the test
// process, with a client helper for one request.
class InProcessServer {
public:
    InProcessServer();
    ~InProcessServer();

    int port() const { return tcpPort; }
    SService& service() { return *server; }

    struct Reply {
        NetResult result;
        std::string bytes;
    };
    Reply request(const std::string& head, const std::string& body = std::string()) const;

private:
    int tcpPort;
    std::unique_ptr<SService> server;
};
