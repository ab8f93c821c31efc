#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

// A small HTTP/1.1 server (cpp-httplib) on a free 127.0.0.1 port, standing
// in for a push service: it records every POST and GET request and answers
// each with the status and text it was given.
class LoopbackHttpServer {
public:
    struct Request {
        std::string method;
        std::string target;
        std::vector<std::pair<std::string, std::string>> headers; // by name; one name's values as sent
        std::string body;

        // The values of every header of this name (case-insensitive).
        std::vector<std::string> header(const std::string& name) const;
    };

    explicit LoopbackHttpServer(int status = 200, std::string responseText = "{\"sendno\":\"0\",\"msg_id\":\"1\"}");
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    bool listening() const { return tcpPort > 0; }
    int port() const { return tcpPort; }
    // "http://127.0.0.1:<port>/v3/push"
    std::string url() const;

    std::vector<Request> requests() const;
    // Waits until count requests have been received; false after timeoutMs.
    bool waitForRequests(std::size_t count, int timeoutMs = 10000) const;

private:
    std::unique_ptr<httplib::Server> server;
    int tcpPort = -1;
    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::vector<Request> received;
    std::thread serving;
};
