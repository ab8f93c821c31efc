#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A small HTTP/1.1 server on a free 127.0.0.1 port, standing in for a push
// service: on a thread of its own it takes connections one at a time, reads
// one request each (head and a Content-Length body), records it and
// answers with the status and text it was given.
class LoopbackHttpServer {
public:
    struct Request {
        std::string method;
        std::string target;
        std::vector<std::pair<std::string, std::string>> headers; // as sent
        std::string body;

        // The values of every header of this name (case-insensitive).
        std::vector<std::string> header(const std::string& name) const;
    };

    explicit LoopbackHttpServer(int status = 200, std::string responseText = "{\"sendno\":\"0\",\"msg_id\":\"1\"}");
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    bool listening() const { return listener >= 0; }
    int port() const { return tcpPort; }
    // "http://127.0.0.1:<port>/v3/push"
    std::string url() const;

    std::vector<Request> requests() const;
    // Waits until count requests have been received; false after timeoutMs.
    bool waitForRequests(std::size_t count, int timeoutMs = 10000) const;

private:
    void Serve();
    void HandleConnection(int fd);

    int listener = -1;
    int wakePipe[2] = {-1, -1};
    int tcpPort = 0;
    const int status;
    const std::string responseText;
    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::vector<Request> received;
    std::thread server;
};
