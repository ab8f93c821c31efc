#include "RequestLoad.h"

#include "BenchTools.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string Framed(const std::string& payload)
{
    char packet[65] = {};
    std::snprintf(packet, sizeof packet, "%zu", payload.size());
    return std::string(packet, 64) + payload;
}

struct Slot {
    int fd = -1;
    size_t sent = 0;
    size_t received = 0;
};

} // namespace

RequestLoad::RequestLoad(int servicePort, std::string head, std::string body)
    : port(servicePort), request(Framed(head) + Framed(body))
{
}

double RequestLoad::Run(int threads, int connectionsPerThread, double seconds)
{
    std::vector<std::thread> workers;
    std::mutex mutex;
    long long total = 0;
    failed = 0;
    const BenchTools::Clock::time_point start = BenchTools::Clock::now();
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            long long failedHere = 0;
            const long long done = RunThread(connectionsPerThread, seconds, failedHere);
            std::lock_guard lock(mutex);
            total += done;
            failed += failedHere;
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    return static_cast<double>(total) / BenchTools::SecondsSince(start);
}

long long RequestLoad::RunThread(int connections, double seconds, long long& failedHere)
{
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<Slot> slots(static_cast<size_t>(connections));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto open = [&](size_t index) {
        Slot& slot = slots[index];
        slot = Slot{};
        slot.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(slot.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::connect(slot.fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        epoll_event event{};
        event.events = EPOLLOUT | EPOLLIN;
        event.data.u64 = index;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, slot.fd, &event);
    };
    for (size_t i = 0; i < slots.size(); ++i)
        open(i);

    long long completed = 0;
    const BenchTools::Clock::time_point start = BenchTools::Clock::now();
    epoll_event events[256];
    char buffer[65536];
    while (BenchTools::SecondsSince(start) < seconds) {
        const int ready = ::epoll_wait(epoll, events, 256, 100);
        for (int e = 0; e < ready; ++e) {
            const size_t index = events[e].data.u64;
            Slot& slot = slots[index];
            bool finished = false;
            if (slot.sent < request.size() && (events[e].events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
                const ssize_t n = ::send(slot.fd, request.data() + slot.sent, request.size() - slot.sent, MSG_NOSIGNAL);
                if (n > 0) {
                    slot.sent += static_cast<size_t>(n);
                    if (slot.sent == request.size()) {
                        epoll_event event{};
                        event.events = EPOLLIN;
                        event.data.u64 = index;
                        ::epoll_ctl(epoll, EPOLL_CTL_MOD, slot.fd, &event);
                    }
                } else if (n < 0 && errno != EAGAIN) {
                    finished = true;
                }
            }
            if (!finished && (events[e].events & (EPOLLIN | EPOLLERR | EPOLLHUP))) {
                for (;;) {
                    const ssize_t n = ::recv(slot.fd, buffer, sizeof buffer, 0);
                    if (n > 0) {
                        slot.received += static_cast<size_t>(n);
                        continue;
                    }
                    if (n < 0 && errno == EAGAIN)
                        break;
                    finished = true; // closed by the service (or failed)
                    break;
                }
            }
            if (finished) {
                if (slot.received >= 64)
                    ++completed;
                else
                    ++failedHere;
                ::close(slot.fd);
                open(index);
            }
        }
    }
    for (Slot& slot : slots)
        ::close(slot.fd);
    ::close(epoll);
    return completed;
}
