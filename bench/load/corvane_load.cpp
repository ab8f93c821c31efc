// The load-and-fault tool: runs hostile and heavy loads against the real
// corvane program on loopback, one phase after another, and prints what the
// server held, how many requests it answered meanwhile, its resident memory,
// threads and descriptors before, at the peak and after each phase, and
// anything lost. Peers come from several loopback addresses (127.x.y.z), as
// devices on a network would. Every phase runs three times, each time on a
// fresh server; the table gives the median with the range across the runs.
//
//   corvane_load [RUNS]
#include "BenchTools.h"
#include "FreePort.h"
#include "RawConnection.h"
#include "RequestLoad.h"
#include "ServerWatch.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace BenchTools;
using Connections = std::vector<std::unique_ptr<RawConnection>>;

namespace {

constexpr long long kMiB = 1024 * 1024;

// One phase of one run. Figures are kept as numbers so that runs can be
// put side by side; the texts of a phase say what they count.
struct Outcome {
    std::map<std::string, double> figures;
    ServerWatch::Counts before, peak, after;
};

std::string SizePacket(long long length)
{
    std::string packet(64, '\0');
    std::snprintf(packet.data(), 65, "%lld", length);
    return packet;
}

// "127.<a>.<b>.<c>" for the n-th device address of a group.
std::string Address(int group, int n)
{
    return "127." + std::to_string(group) + "." + std::to_string(n / 250) + "." + std::to_string(1 + n % 250);
}

// Opens count connections, `perAddress` from each address of the group.
Connections Open(int port, int group, int count, int perAddress)
{
    Connections connections;
    for (int i = 0; i < count; ++i)
        connections.push_back(std::make_unique<RawConnection>("127.0.0.1", port, Address(group, i / perAddress)));
    return connections;
}

// How many more of the connections the server closes within timeoutMs;
// those are closed here too, so they are not counted again.
int Closed(Connections& connections, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int count = 0;
    for (;;) {
        std::vector<pollfd> open;
        std::vector<RawConnection*> owners;
        for (auto& connection : connections) {
            if (connection->connected()) {
                open.push_back({connection->socket(), POLLIN, 0});
                owners.push_back(connection.get());
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (open.empty() || ::poll(open.data(), open.size(), static_cast<int>(std::max<long long>(left, 0))) <= 0)
            return count;
        for (std::size_t k = 0; k < open.size(); ++k) {
            char buffer[4096];
            if (open[k].revents == 0)
                continue;
            const ssize_t got = ::recv(open[k].fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                owners[k]->close();
                ++count;
            }
        }
    }
}

// One request from a device address; true when a complete framed reply came.
bool Ask(int port, const std::string& from, const std::string& head, const std::string& body = std::string())
{
    RawConnection peer("127.0.0.1", port, from);
    peer.send(RawConnection::framed(head) + RawConnection::framed(body));
    const std::string reply = peer.readAll(5000);
    return reply.size() >= 64 && reply.size() == 64 + std::strtoull(reply.substr(0, 64).c_str(), nullptr, 10);
}

// Requests from `threads` devices of group, one after another on each, until
// stop is set; counts those asked and those answered.
class RequestStream {
public:
    RequestStream(int port, int group, int threads)
    {
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([this, port, from = Address(group, t)] {
                while (!stop) {
                    ++asked;
                    answered += Ask(port, from, "OpKey_GetDeviceInfo") ? 1 : 0;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            });
        }
    }
    ~RequestStream() { Finish(); }
    void Finish()
    {
        stop = true;
        for (std::thread& worker : workers)
            if (worker.joinable())
                worker.join();
    }
    // Stops the requests and notes how many were asked and answered.
    void Into(Outcome& outcome)
    {
        Finish();
        outcome.figures["answered"] = static_cast<double>(answered);
        outcome.figures["asked"] = static_cast<double>(asked);
    }
    std::atomic<long> asked{0}, answered{0};

private:
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
};

// The server under load: the real program, headless, in a private home.
struct Server {
    Server()
        : tcp(FreePort::tcp()), udp(FreePort::udp()),
          program(Start({CORVANE_SERVER_EXE, "--headless", "--port", std::to_string(tcp), "--udp-port",
                         std::to_string(udp), "--broadcast", "127.255.255.255"}))
    {
        if (!WaitForPort(tcp, 10000)) {
            std::fprintf(stderr, "corvane did not start\n");
            std::exit(1);
        }
        // Let start-up settle: the first counts are the idle server's.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    pid_t pid() const { return program.pid(); }
    int tcp, udp;
    ChildProcess program;
};

// Counts return once spare threads have seen the idle time (30 s) pass.
constexpr std::chrono::seconds kSettle{45};

// Ends a phase: the counts before and at the peak, then the peers go and
// the counts settle.
void Conclude(Outcome& outcome, ServerWatch& watch, Connections& peers)
{
    outcome.before = watch.before();
    outcome.peak = watch.peak();
    peers.clear();
    outcome.after = watch.Settle(kSettle);
}

Outcome LiveChannelsAndRequestStorm(Server& server)
{
    ServerWatch watch(server.pid());
    Outcome outcome;
    // 1,000 channels, 16 from each device address; every channel sends
    // records now and then.
    Connections channels = Open(server.tcp, 1, 1000, 16);
    std::string record = "4^_7 ^_70.00^_70.00"; // type 4 does nothing
    record.resize(256, '\0');
    std::string opening = RawConnection::framed("keep_alive") + RawConnection::framed("");
    for (int i = 0; i < 10; ++i)
        opening += record;
    for (auto& channel : channels)
        channel->send(opening);
    // The storm: 16 connections at a time from one address, for 5 s.
    RequestLoad storm(server.tcp, "OpKey_GetDeviceInfo", "");
    const double rate = storm.Run(2, 8, 5);
    const double answered = rate * 5;
    outcome.figures["held"] = static_cast<double>(channels.size()) - Closed(channels, 200);
    outcome.figures["answered"] = answered;
    outcome.figures["asked"] = answered + static_cast<double>(storm.failures());
    outcome.figures["lost"] = 1000 - outcome.figures["held"];
    Conclude(outcome, watch, channels);
    return outcome;
}

// Peers that connect and never send: each is dropped after the request
// time, while requests from another device are answered.
Outcome SilentPeers(Server& server)
{
    ServerWatch watch(server.pid());
    Outcome outcome;
    Connections silent = Open(server.tcp, 2, 100, 50);
    RequestStream others(server.tcp, 3, 4);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    outcome.figures["held"] = static_cast<double>(silent.size()) - Closed(silent, 0);
    const int dropped = Closed(silent, 45000);
    outcome.figures["dropped after s"] = SecondsSince(start);
    others.Into(outcome);
    outcome.figures["lost"] = 100 - dropped; // still held: nothing may be lost to silence
    Conclude(outcome, watch, silent);
    return outcome;
}

// 1,030 connections from one address, each sending a byte of its request
// every 10 s; requests from other devices must all be answered.
Outcome Slowloris(Server& server)
{
    ServerWatch watch(server.pid());
    Outcome outcome;
    const std::string request = RawConnection::framed("OpKey_GetDeviceInfo") + RawConnection::framed("");
    const auto start = Clock::now();
    Connections crowd = Open(server.tcp, 4, 1030, 1030);
    RequestStream others(server.tcp, 5, 8);
    for (auto& peer : crowd)
        peer->send(request.substr(0, 1));
    const int refused = Closed(crowd, 2000);
    outcome.figures["held"] = 1030 - refused;
    // Trickle: one byte every 10 s to each connection still open, until
    // the server has dropped them all (or 60 s).
    int dropped = refused;
    for (std::size_t sent = 1; dropped < 1030 && SecondsSince(start) < 60; ++sent) {
        dropped += Closed(crowd, 10000);
        for (auto& peer : crowd)
            peer->send(request.substr(sent, 1));
    }
    outcome.figures["dropped after s"] = SecondsSince(start);
    others.Into(outcome);
    outcome.figures["lost"] = 1030 - dropped;
    Conclude(outcome, watch, crowd);
    return outcome;
}

// 16 connections announcing large bodies and sending a byte a second.
Outcome LargeAnnouncements(Server& server, long long length)
{
    ServerWatch watch(server.pid());
    Outcome outcome;
    Connections announcers = Open(server.tcp, 6, 16, 16);
    for (auto& peer : announcers)
        peer->send(RawConnection::framed("OpKey_GetFile") + SizePacket(length) + "x");
    const int refused = Closed(announcers, 1000);
    for (int second = 0; second < 5; ++second) {
        for (auto& peer : announcers)
            peer->send("x");
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    outcome.figures["held"] = 16 - refused;
    outcome.figures["answered"] = Ask(server.tcp, Address(7, 0), "OpKey_GetDeviceInfo") ? 1 : 0;
    outcome.figures["asked"] = 1;
    outcome.figures["lost"] = 0;
    Conclude(outcome, watch, announcers);
    outcome.figures["added MiB"] = static_cast<double>(outcome.peak.residentKiB - outcome.before.residentKiB) / 1024;
    return outcome;
}

// Downloads and uploads cut off half-way; then one of each, whole.
Outcome CutTransfers(Server& server, const TempDir& files)
{
    const std::string source = files.file("download.bin");
    MakeFile(source, 64 * kMiB);
    const std::string uploads = files.file("uploads");
    std::filesystem::create_directories(uploads);
    ServerWatch watch(server.pid());
    Outcome outcome;
    Connections cut;
    for (int i = 0; i < 32; ++i) {
        auto download = std::make_unique<RawConnection>("127.0.0.1", server.tcp, Address(8, i));
        download->send(RawConnection::framed("OpKey_GetFile") + RawConnection::framed(source));
        char buffer[65536];
        for (long long got = 0; got < kMiB;) { // read about 1 MiB of the 64, then go
            const ssize_t n = ::recv(download->socket(), buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            got += n;
        }
        cut.push_back(std::move(download));
        auto upload = std::make_unique<RawConnection>("127.0.0.1", server.tcp, Address(9, i));
        upload->send(RawConnection::framed("upload") + RawConnection::framed(uploads + "^_7cut-" + std::to_string(i) + ".bin") +
                     SizePacket(16 * kMiB) + std::string(kMiB, 'u'));
        cut.push_back(std::move(upload));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    cut.clear();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    long long leftovers = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(uploads))
        ++leftovers;
    // Whole transfers still arrive exactly.
    RawConnection whole("127.0.0.1", server.tcp, Address(10, 0));
    whole.send(RawConnection::framed("OpKey_GetFile") + RawConnection::framed(source));
    const std::string reply = whole.readAll(10000);
    const bool downloaded = reply.size() == 64 + 64 * kMiB && reply.compare(64, std::string::npos, TempDir::read(source)) == 0;
    RawConnection upload("127.0.0.1", server.tcp, Address(10, 1));
    const std::string bytes(4 * kMiB, 'w');
    upload.send(RawConnection::framed("upload") + RawConnection::framed(uploads + "^_7whole.bin") +
                SizePacket(static_cast<long long>(bytes.size())) + bytes);
    const bool uploaded = upload.readAll(10000) == "1" + RawConnection::framed("1") &&
                          TempDir::read(uploads + "/whole.bin") == bytes;
    outcome.figures["held"] = 64;
    outcome.figures["answered"] = (downloaded ? 1 : 0) + (uploaded ? 1 : 0);
    outcome.figures["asked"] = 2;
    outcome.figures["lost"] = static_cast<double>(leftovers);
    Conclude(outcome, watch, cut);
    std::filesystem::remove_all(uploads);
    std::filesystem::remove(source);
    return outcome;
}

// Short discovery queries as fast as one sender can send them for 3 s; the
// answers (broadcasts to 127.255.255.255) are counted where they arrive.
Outcome DatagramFlood(Server& server)
{
    const int listener = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server.udp));
    address.sin_addr.s_addr = inet_addr("127.255.255.255");
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    address.sin_addr.s_addr = inet_addr("127.0.0.1");

    ServerWatch watch(server.pid());
    Outcome outcome;
    const double cpuBefore = CpuSeconds(server.pid());
    const std::string query = "0^_7p^_71^_7q"; // 13 bytes
    long sent = 0, answers = 0;
    char buffer[512];
    const auto drain = [&] {
        while (::recv(listener, buffer, sizeof buffer, 0) > 0)
            ++answers;
    };
    for (const auto start = Clock::now(); SecondsSince(start) < 3;) {
        for (int i = 0; i < 100; ++i)
            sent += ::sendto(sender, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&address),
                             sizeof address) > 0;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        drain();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    drain();
    outcome.figures["held"] = static_cast<double>(sent);
    outcome.figures["answered"] = static_cast<double>(answers);
    outcome.figures["asked"] = static_cast<double>(sent);
    outcome.figures["lost"] = 0;
    outcome.figures["cpu s"] = CpuSeconds(server.pid()) - cpuBefore;
    outcome.figures["bytes out per byte in"] =
        static_cast<double>(answers * 256) / static_cast<double>(std::max<long>(1, sent) * static_cast<long>(query.size()));
    Connections none;
    Conclude(outcome, watch, none);
    ::close(sender);
    ::close(listener);
    return outcome;
}

// The median of the runs' values, with their range when they differ.
std::string Figure(std::vector<double> values, int decimals = 0)
{
    std::sort(values.begin(), values.end());
    const auto text = [decimals](double v) {
        char out[32];
        std::snprintf(out, sizeof out, "%.*f", decimals, v);
        return std::string(out);
    };
    const std::string median = text(values[values.size() / 2]);
    if (text(values.front()) == text(values.back()))
        return median;
    return median + " (" + text(values.front()) + "–" + text(values.back()) + ")";
}

struct Phase {
    std::string name;
    std::function<Outcome(Server&)> run;
    bool requests; // whether the phase asks requests of the service
    // The "load held" text from the runs' figures.
    std::function<std::string(const std::function<std::string(const std::string&, int)>&)> held;
};

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max; // 1,030 connections and more at once
    ::setrlimit(RLIMIT_NOFILE, &files);
    UserSandbox sandbox;
    TempDir transfers;

    const std::vector<Phase> phases = {
        {"1,000 live channels + request storm (16 at a time, 5 s)", LiveChannelsAndRequestStorm, true,
         [](auto f) { return f("held", 0) + " of 1,000 channels open throughout"; }},
        {"100 silent peers", SilentPeers, true,
         [](auto f) { return f("held", 0) + " of 100 held, all dropped after " + f("dropped after s", 1) + " s"; }},
        {"slowloris: 1,030 connections from one address, a byte per 10 s", Slowloris, true,
         [](auto f) {
             return f("held", 0) + " of 1,030 held (the rest closed at once), dropped after " + f("dropped after s", 1) + " s";
         }},
        {"16 connections announcing 64 MiB bodies, a byte a second",
         [](Server& s) { return LargeAnnouncements(s, 64 * kMiB); }, true,
         [](auto f) { return f("held", 0) + " of 16 held (budget), memory added " + f("added MiB", 1) + " MiB"; }},
        {"16 connections announcing 8 MiB bodies, a byte a second",
         [](Server& s) { return LargeAnnouncements(s, 8 * kMiB); }, true,
         [](auto f) { return f("held", 0) + " of 16 held, memory added " + f("added MiB", 1) + " MiB"; }},
        {"32 downloads of 64 MiB and 32 uploads of 16 MiB cut after 1 MiB",
         [&transfers](Server& s) { return CutTransfers(s, transfers); }, true,
         [](auto) { return std::string("64 transfers cut, then one whole download and upload"); }},
        {"discovery flood: 13-byte queries, 3 s", DatagramFlood, false,
         [](auto f) {
             return f("held", 0) + " queries drew " + f("answered", 0) + " answers (" + f("bytes out per byte in", 4) +
                    " bytes out per byte in), server CPU " + f("cpu s", 2) + " s";
         }},
    };

    std::vector<std::vector<Outcome>> results(phases.size());
    for (int run = 0; run < runs; ++run) {
        Server server;
        for (std::size_t p = 0; p < phases.size(); ++p) {
            std::fprintf(stderr, "run %d: %s\n", run + 1, phases[p].name.c_str());
            results[p].push_back(phases[p].run(server));
        }
    }

    std::printf("| phase | load held | requests answered | resident MB before / peak / after | threads before / peak / "
                "after | descriptors before / peak / after | lost |\n|---|---|---|---|---|---|---|\n");
    for (std::size_t p = 0; p < phases.size(); ++p) {
        const std::vector<Outcome>& outcomes = results[p];
        const auto figure = [&](const std::string& key, int decimals) {
            std::vector<double> values;
            for (const Outcome& o : outcomes)
                values.push_back(o.figures.at(key));
            return Figure(values, decimals);
        };
        const auto counts = [&](long ServerWatch::Counts::*field, double scale, int decimals) {
            std::string text;
            for (auto which : {&Outcome::before, &Outcome::peak, &Outcome::after}) {
                std::vector<double> values;
                for (const Outcome& o : outcomes)
                    values.push_back(static_cast<double>((o.*which).*field) / scale);
                text += (text.empty() ? "" : " / ") + Figure(values, decimals);
            }
            return text;
        };
        std::vector<double> share;
        for (const Outcome& o : outcomes)
            share.push_back(100.0 * o.figures.at("answered") / std::max(1.0, o.figures.at("asked")));
        const std::string answered = phases[p].requests ? figure("answered", 0) + " of " + figure("asked", 0) + " (" +
                                                              Figure(share, 1) + " %)"
                                                        : "—";
        std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", phases[p].name.c_str(), phases[p].held(figure).c_str(),
                    answered.c_str(), counts(&ServerWatch::Counts::residentKiB, 1024, 1).c_str(),
                    counts(&ServerWatch::Counts::threads, 1, 0).c_str(),
                    counts(&ServerWatch::Counts::descriptors, 1, 0).c_str(), figure("lost", 0).c_str());
    }
    return 0;
}
