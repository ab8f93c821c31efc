#include "ServerWatch.h"

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <string>

ServerWatch::Counts ServerWatch::Read(pid_t pid)
{
    Counts counts;
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            counts.residentKiB = std::stol(line.substr(6));
        else if (line.rfind("Threads:", 0) == 0)
            counts.threads = std::stol(line.substr(8));
    }
    if (DIR* fds = ::opendir((proc + "/fd").c_str())) {
        while (const dirent* entry = ::readdir(fds))
            counts.descriptors += entry->d_name[0] != '.';
        ::closedir(fds);
    }
    return counts;
}

ServerWatch::ServerWatch(pid_t process) : pid(process), start(Read(process)), highest(start)
{
    sampler = std::thread([this] {
        while (!stopping) {
            const Counts now = Read(pid);
            {
                std::lock_guard lock(mutex);
                highest.residentKiB = std::max(highest.residentKiB, now.residentKiB);
                highest.threads = std::max(highest.threads, now.threads);
                highest.descriptors = std::max(highest.descriptors, now.descriptors);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
}

ServerWatch::~ServerWatch()
{
    Stop();
}

void ServerWatch::Stop()
{
    stopping = true;
    if (sampler.joinable())
        sampler.join();
}

ServerWatch::Counts ServerWatch::peak()
{
    std::lock_guard lock(mutex);
    return highest;
}

ServerWatch::Counts ServerWatch::Settle(std::chrono::seconds timeout)
{
    Stop();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Counts now = Read(pid);
    while ((now.threads > start.threads || now.descriptors > start.descriptors) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        now = Read(pid);
    }
    return now;
}
