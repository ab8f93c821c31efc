#pragma once

// Shared pieces of the benchmarks: the real service on a free loopback port,
// running an anchor program, timing, and the one-line result.

#include "SService.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace bench {

// A TCP port on 127.0.0.1 that nothing listens on right now.
inline int FreePort()
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(sock);
        throw std::runtime_error("no free port");
    }
    ::close(sock);
    return ntohs(address.sin_port);
}

// The application's TCP service on a free port, for the life of the object.
class Service {
public:
    Service()
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            server.port = FreePort();
            if (server.Start() == NR_OK)
                return;
        }
        throw std::runtime_error("the service did not start");
    }
    int port() const { return server.port; }

private:
    SService server;
};

// Starts argv (looked up in PATH) with standard output and error on
// /dev/null; returns its PID.
inline pid_t Start(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}

// Waits for a program started with Start and returns its exit status.
inline int Wait(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs argv to its end; throws when it fails.
inline void Run(const std::vector<std::string>& argv)
{
    if (Wait(Start(argv)) != 0)
        throw std::runtime_error(argv[0] + " failed");
}

inline double Seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The median time of runs repetitions.
inline double Median(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(Seconds(work));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// "what: corvane X ms, anchor Y ms (tool), ratio R (goal ...)": ratio is
// corvane's time over the anchor's, so below 1 is faster.
inline void ReportTimes(const char* what, double ours, double anchor, const char* anchorName, const char* goal)
{
    std::printf("%s: corvane %.1f ms, anchor %.1f ms (%s), ratio %.2f (goal %s)\n", what, ours * 1000,
                anchor * 1000, anchorName, ours / anchor, goal);
}

} // namespace bench
