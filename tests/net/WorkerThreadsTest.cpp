#include "WorkerThreads.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <thread>

namespace {

// A gate that jobs wait at until the test opens it.
class Gate {
public:
    void wait()
    {
        std::unique_lock lock(mutex);
        ++waiting;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
    }
    void release()
    {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    bool waitForWaiting(int count)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return waiting >= count; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    int waiting = 0;
    bool open = false;
};

} // namespace

TEST(WorkerThreads, RunsEveryJobAtTheSameTimeUpToTheLimitAndRefusesMore)
{
    WorkerThreads workers(3);
    Gate gate;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(workers.Run([&] { gate.wait(); }));
    // All three are running at once: none waits for another to finish.
    ASSERT_TRUE(gate.waitForWaiting(3));
    EXPECT_EQ(workers.Busy(), 3);
    EXPECT_FALSE(workers.Run([] {}));
    gate.release();
    workers.Shutdown();
    EXPECT_EQ(workers.Busy(), 0);
}

TEST(WorkerThreads, ReusesFinishedThreadsForLaterJobs)
{
    WorkerThreads workers(8);
    std::mutex mutex;
    std::set<std::thread::id> seen;
    std::atomic<int> done{0};
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(workers.Run([&] {
            std::lock_guard lock(mutex);
            seen.insert(std::this_thread::get_id());
            ++done;
        }));
        // Wait until the thread is idle again before the next job.
        while (done.load() <= i || workers.Busy() != 0)
            std::this_thread::yield();
    }
    EXPECT_EQ(seen.size(), 1u);
}

TEST(WorkerThreads, AJobThatThrowsDoesNotLoseItsThread)
{
    WorkerThreads workers(1);
    std::atomic<bool> ran{false};
    ASSERT_TRUE(workers.Run([] { throw std::runtime_error("bad connection"); }));
    // The single slot becomes free again after the failure.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!workers.Run([&] { ran = true; }) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    workers.Shutdown();
    EXPECT_TRUE(ran);
}
