#pragma once

#include <functional>

// The main thread's queue of work: everything that touches windows, the
// clipboard watch or other interface objects runs there.
class MainQueue {
public:
    virtual ~MainQueue() = default;

    // Queues task to run on the main thread and returns at once.
    virtual void async(std::function<void()> task) = 0;
    // Runs task on the main thread and returns when it has finished. Called
    // on the main thread itself, it runs the task at once.
    virtual void sync(std::function<void()> task) = 0;

    // The queue in use: the application's event loop unless a test has
    // installed another one.
    static MainQueue& instance();
    // Installs a queue; null restores the event loop's.
    static void setInstance(MainQueue* queue);
};
