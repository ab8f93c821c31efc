#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// Threads that each run one connection at a time. A connection still gets a
// thread of its own for its whole life, but a thread that finished one
// connection waits a while for the next instead of ending, so a burst of
// short requests does not pay a thread creation each.
class WorkerThreads {
public:
    explicit WorkerThreads(int maxBusy, int idleSeconds = 30);
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Runs job on an idle thread or a new one. Returns false, running
    // nothing, when maxBusy jobs are running already.
    bool Run(std::function<void()> job);
    // Lets idle threads end and waits until every thread has ended; running
    // jobs must be brought to an end by their owner.
    void Shutdown();
    int Busy();

private:
    void ThreadMain();

    const int maxBusy;
    const int idleSeconds;
    std::mutex mutex;
    std::condition_variable workReady;
    std::condition_variable threadEnded;
    struct Job {
        unsigned long long id;
        std::function<void()> run;
    };
    std::deque<Job> jobs;
    unsigned long long nextJobId = 0;
    int idle = 0; // threads looking for work, including those being started
    int busy = 0;
    int threads = 0;
    bool stopping = false;
};
