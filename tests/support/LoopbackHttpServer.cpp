#include "LoopbackHttpServer.h"

#include <httplib.h>

#include <chrono>
#include <strings.h>

std::vector<std::string> LoopbackHttpServer::Request::header(const std::string& name) const
{
    std::vector<std::string> values;
    for (const auto& [key, value] : headers) {
        if (::strcasecmp(key.c_str(), name.c_str()) == 0)
            values.push_back(value);
    }
    return values;
}

LoopbackHttpServer::LoopbackHttpServer(int status, std::string responseText)
    : server(std::make_unique<httplib::Server>())
{
    const auto record = [this, status, responseText](const httplib::Request& in, httplib::Response& out) {
        out.status = status;
        out.set_content(responseText, "application/json");
        {
            std::lock_guard lock(mutex);
            received.push_back({in.method, in.target, {in.headers.begin(), in.headers.end()}, in.body});
        }
        arrived.notify_all();
    };
    server->Post(".*", record);
    server->Get(".*", record);
    tcpPort = server->bind_to_any_port("127.0.0.1");
    if (tcpPort <= 0)
        return;
    serving = std::thread([this] { server->listen_after_bind(); });
    // stop() only ends a server that has begun to listen.
    while (!server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    if (serving.joinable()) {
        server->stop();
        serving.join();
    }
}

std::string LoopbackHttpServer::url() const
{
    return "http://127.0.0.1:" + std::to_string(tcpPort) + "/v3/push";
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const
{
    std::lock_guard lock(mutex);
    return received;
}

bool LoopbackHttpServer::waitForRequests(std::size_t count, int timeoutMs) const
{
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return received.size() >= count; });
}
