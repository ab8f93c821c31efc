// Live channel throughput: 256-byte messages per second through one
// keep_alive channel into a dispatcher that does nothing, against a bare
// loop that reads 256-byte records from a loopback socket, in the same run.
#include "BenchTools.h"
#include "FreePort.h"
#include "RawConnection.h"
#include "ServiceProcess.h"
#include "TCPServiceSocket.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace BenchTools;

namespace {

constexpr long kMessages = 2000000;

// The service's live-channel path with a dispatcher that only counts.
class CountingService : public TCPServiceSocket {
public:
    CountingService()
    {
        port = FreePort::tcp();
        Start();
    }
    ~CountingService() { Shutdown(); }
    void ProcessConn(ProcessParam* param) override
    {
        Counter process(param->sock, count);
        process.ProcessConn();
    }
    std::atomic<long> count{0};

private:
    class Counter : public ServiceProcess {
    public:
        Counter(int sock, std::atomic<long>& total) : ServiceProcess(sock), total(total) {}
        void ProcessLiveMsg(const char*) override { total.fetch_add(1, std::memory_order_relaxed); }
        std::atomic<long>& total;
    };
};

// What the phone sends: the same move message over and over, in big writes.
void SendMessages(int fd, long count)
{
    std::string record = "5^_7 ^_71.00^_7-1.00";
    record.resize(256, '\0');
    std::string batch;
    for (int i = 0; i < 256; ++i)
        batch += record;
    for (long sent = 0; sent < count; sent += 256) {
        size_t done = 0;
        while (done < batch.size()) {
            const ssize_t n = ::send(fd, batch.data() + done, batch.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            done += static_cast<size_t>(n);
        }
    }
}

double CorvaneRate()
{
    CountingService service;
    RawConnection phone(service.port);
    phone.sendFramed("keep_alive");
    phone.sendFramed("");
    const Clock::time_point start = Clock::now();
    SendMessages(phone.socket(), kMessages);
    while (service.count.load() < kMessages)
        std::this_thread::yield();
    return kMessages / SecondsSince(start);
}

// The anchor: accept one connection and read 256-byte records in a loop.
double BareLoopRate()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int port = FreePort::tcp();
    address.sin_port = htons(static_cast<uint16_t>(port));
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 1);
    std::atomic<long> count{0};
    std::thread reader([&] {
        const int conn = ::accept(listener, nullptr, nullptr);
        char record[257];
        for (;;) {
            size_t have = 0;
            while (have < 256) {
                const ssize_t n = ::recv(conn, record + have, 256 - have, 0);
                if (n <= 0) {
                    ::close(conn);
                    return;
                }
                have += static_cast<size_t>(n);
            }
            record[256] = 0;
            count.fetch_add(1, std::memory_order_relaxed);
        }
    });
    RawConnection phone(port);
    const Clock::time_point start = Clock::now();
    SendMessages(phone.socket(), kMessages);
    while (count.load() < kMessages)
        std::this_thread::yield();
    const double rate = kMessages / SecondsSince(start);
    phone.close();
    reader.join();
    ::close(listener);
    return rate;
}

} // namespace

int main()
{
    QuietServiceLogs();
    std::fprintf(Out(), "%ld live messages of 256 bytes through one channel, best of 3\n", kMessages);
    double ours = 0, bare = 0;
    for (int round = 0; round < 3; ++round) {
        ours = std::max(ours, CorvaneRate());
        bare = std::max(bare, BareLoopRate());
    }
    Report("live messages/s", ours, bare, "msg/s", "bare 256-byte read loop");
    return 0;
}
