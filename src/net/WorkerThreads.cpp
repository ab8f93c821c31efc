#include "WorkerThreads.h"

#include <algorithm>
#include <chrono>
#include <thread>

WorkerThreads::WorkerThreads(int maxBusyJobs, int idleSecs) : maxBusy(maxBusyJobs), idleSeconds(idleSecs) {}

WorkerThreads::~WorkerThreads()
{
    Shutdown();
}

bool WorkerThreads::Run(std::function<void()> job)
{
    std::unique_lock lock(mutex);
    if (stopping || busy >= maxBusy)
        return false;
    ++busy;
    const unsigned long long id = nextJobId++;
    jobs.push_back({id, std::move(job)});
    // Every queued job needs a thread of its own that is looking for work.
    if (static_cast<int>(jobs.size()) <= idle) {
        workReady.notify_one();
        return true;
    }
    ++threads;
    ++idle;
    lock.unlock();
    try {
        std::thread(&WorkerThreads::ThreadMain, this).detach();
        return true;
    } catch (...) {
        lock.lock();
        --threads;
        --idle;
        const auto queued = std::find_if(jobs.begin(), jobs.end(), [id](const Job& j) { return j.id == id; });
        if (queued == jobs.end())
            return true; // another thread has taken it meanwhile
        jobs.erase(queued);
        --busy;
        threadEnded.notify_all();
        return false;
    }
}

void WorkerThreads::ThreadMain()
{
    std::unique_lock lock(mutex);
    for (;;) {
        workReady.wait_for(lock, std::chrono::seconds(idleSeconds), [this] { return !jobs.empty() || stopping; });
        --idle;
        if (jobs.empty())
            break; // idle for too long, or shutting down
        std::function<void()> job = std::move(jobs.front().run);
        jobs.pop_front();
        lock.unlock();
        try {
            job();
        } catch (...) {
            // a connection's failure must not take the thread down
        }
        job = nullptr; // release what the job captured before going idle
        lock.lock();
        --busy;
        ++idle;
    }
    --threads;
    threadEnded.notify_all(); // under the lock: the pool may be destroyed right after
}

void WorkerThreads::Shutdown()
{
    std::unique_lock lock(mutex);
    stopping = true;
    workReady.notify_all();
    threadEnded.wait(lock, [this] { return threads == 0; });
}

int WorkerThreads::Busy()
{
    std::lock_guard lock(mutex);
    return busy;
}
