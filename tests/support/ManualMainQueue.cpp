#include "ManualMainQueue.h"

#include <algorithm>
#include <chrono>

ManualMainQueue::ManualMainQueue() : owner(std::this_thread::get_id())
{
    MainQueue::setInstance(this);
}

ManualMainQueue::~ManualMainQueue()
{
    MainQueue::setInstance(nullptr);
}

void ManualMainQueue::async(std::function<void()> task)
{
    {
        std::lock_guard lock(mutex);
        tasks.push_back(std::move(task));
    }
    changed.notify_all();
}

void ManualMainQueue::sync(std::function<void()> task)
{
    if (std::this_thread::get_id() == owner) {
        task();
        return;
    }
    bool done = false;
    async([&] {
        task();
        std::lock_guard lock(mutex);
        done = true;
        changed.notify_all();
    });
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return done; });
}

std::size_t ManualMainQueue::runPending()
{
    std::size_t ran = 0;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex);
            if (tasks.empty())
                return ran;
            task = std::move(tasks.front());
            tasks.pop_front();
        }
        task();
        ++ran;
    }
}

bool ManualMainQueue::runUntil(const std::function<bool()>& pred, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        runPending();
        if (pred())
            return true;
        std::unique_lock lock(mutex);
        if (!changed.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() +
                                                             std::chrono::milliseconds(20)),
                                [&] { return !tasks.empty(); }) &&
            std::chrono::steady_clock::now() >= deadline)
            return pred();
    }
}

bool ManualMainQueue::waitForPending(std::size_t count, int timeoutMs)
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return tasks.size() >= count; });
}

std::size_t ManualMainQueue::pending() const
{
    std::lock_guard lock(mutex);
    return tasks.size();
}
