#include "LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxHead = 64 * 1024;
constexpr std::size_t kMaxBody = 4 * 1024 * 1024;
constexpr int kReadTimeoutMs = 5000;

// Reads more bytes into buffer; false on end, error or silence.
bool ReadMore(int fd, std::string& buffer)
{
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, kReadTimeoutMs) <= 0)
        return false;
    char chunk[8192];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0)
        return false;
    buffer.append(chunk, static_cast<std::size_t>(got));
    return true;
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

const char* Reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

} // namespace

std::vector<std::string> LoopbackHttpServer::Request::header(const std::string& name) const
{
    std::vector<std::string> values;
    for (const auto& [key, value] : headers) {
        if (::strcasecmp(key.c_str(), name.c_str()) == 0)
            values.push_back(value);
    }
    return values;
}

LoopbackHttpServer::LoopbackHttpServer(int responseStatus, std::string text)
    : status(responseStatus), responseText(std::move(text))
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(wakePipe, O_CLOEXEC) != 0) {
        ::close(fd);
        return;
    }
    listener = fd;
    tcpPort = ntohs(address.sin_port);
    server = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    if (server.joinable()) {
        const char wake = 'x';
        (void)!::write(wakePipe[1], &wake, 1);
        server.join();
    }
    for (int fd : {listener, wakePipe[0], wakePipe[1]}) {
        if (fd >= 0)
            ::close(fd);
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

void LoopbackHttpServer::Serve()
{
    for (;;) {
        pollfd ready[2] = {{listener, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        if (::poll(ready, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (ready[1].revents != 0)
            return;
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        HandleConnection(fd);
        ::close(fd);
    }
}

void LoopbackHttpServer::HandleConnection(int fd)
{
    std::string buffer;
    std::size_t headEnd;
    while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (buffer.size() > kMaxHead || !ReadMore(fd, buffer))
            return;
    }
    Request request;
    std::size_t contentLength = 0;
    std::size_t lineStart = 0;
    bool first = true;
    while (lineStart < headEnd) {
        std::size_t lineEnd = buffer.find("\r\n", lineStart);
        const std::string line = buffer.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;
        if (first) {
            first = false;
            const std::size_t space = line.find(' ');
            const std::size_t second = line.find(' ', space + 1);
            request.method = line.substr(0, space);
            request.target = line.substr(space + 1, second - space - 1);
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        request.headers.emplace_back(line.substr(0, colon), Trimmed(line.substr(colon + 1)));
        if (::strcasecmp(request.headers.back().first.c_str(), "Content-Length") == 0)
            contentLength = std::stoul(request.headers.back().second);
    }
    if (contentLength > kMaxBody)
        return;
    std::string body = buffer.substr(headEnd + 4);
    while (body.size() < contentLength) {
        if (!ReadMore(fd, body))
            return;
    }
    request.body = body.substr(0, contentLength);

    const std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
                              "\r\nContent-Type: application/json\r\nContent-Length: " +
                              std::to_string(responseText.size()) + "\r\nConnection: close\r\n\r\n" + responseText;
    (void)!::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    {
        std::lock_guard lock(mutex);
        received.push_back(std::move(request));
    }
    arrived.notify_all();
}
