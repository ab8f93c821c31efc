#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <sys/types.h>
#include <thread>

// Watches what a process holds while a load runs: resident memory, threads
// and open descriptors, read from /proc before the load, sampled every few
// milliseconds for the peak, and read again once the load is over.
class ServerWatch {
public:
    struct Counts {
        long residentKiB = 0;
        long threads = 0;
        long descriptors = 0;
    };

    static Counts Read(pid_t pid);

    // Reads the counts before and starts sampling.
    explicit ServerWatch(pid_t pid);
    ~ServerWatch();
    ServerWatch(const ServerWatch&) = delete;
    ServerWatch& operator=(const ServerWatch&) = delete;

    Counts before() const { return start; }
    Counts peak();
    // Stops sampling, then waits until threads and descriptors are back to
    // where they were before (at most timeout) and returns the counts then.
    Counts Settle(std::chrono::seconds timeout);

private:
    void Stop();

    pid_t pid;
    Counts start;
    std::mutex mutex;
    Counts highest;
    std::atomic<bool> stopping{false};
    std::thread sampler;
};
