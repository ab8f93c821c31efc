#pragma once

#include "MainQueue.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// A main queue for tests without an event loop: the thread that makes it
// plays the main thread, and queued tasks wait until that thread runs them
// (runPending, runUntil). sync() from another thread blocks its caller
// until then. Installed as the process's main queue while it lives.
class ManualMainQueue : public MainQueue {
public:
    ManualMainQueue();
    ~ManualMainQueue() override;
    ManualMainQueue(const ManualMainQueue&) = delete;
    ManualMainQueue& operator=(const ManualMainQueue&) = delete;

    void async(std::function<void()> task) override;
    void sync(std::function<void()> task) override;

    // Runs the tasks queued so far, and those they queue, on this thread;
    // returns how many ran.
    std::size_t runPending();
    // Runs tasks as they arrive until pred holds; false after timeoutMs.
    bool runUntil(const std::function<bool()>& pred, int timeoutMs = 10000);
    // Waits, without running anything, until count tasks are queued.
    bool waitForPending(std::size_t count, int timeoutMs = 10000);
    std::size_t pending() const;
    std::thread::id mainThread() const { return owner; }

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> tasks;
    const std::thread::id owner;
};
