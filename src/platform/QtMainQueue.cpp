#include "QtMainQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <cstdint>
#include <deque>
#include <mutex>

// The tasks wait in a queue of our own, under a standard mutex; the Qt event
// posted for each one carries no data and only makes the main thread run
// what is queued. So every hand-over between threads goes through a lock the
// standard library (and ThreadSanitizer) can see, not only Qt's own.
namespace {

struct QueuedTask {
    std::uint64_t id;
    std::function<void()> run;
};

std::mutex queueMutex;
std::deque<QueuedTask> queuedTasks;
std::uint64_t nextTaskId = 1;

std::uint64_t Enqueue(std::function<void()> task)
{
    std::lock_guard lock(queueMutex);
    const std::uint64_t id = nextTaskId++;
    queuedTasks.push_back({id, std::move(task)});
    return id;
}

// Runs every queued task in order, on the main thread. One event per task
// is posted, so a later event may find the queue already empty. The lock
// taken to look for the next task, after the previous one has finished, is
// what a waiting caller of sync() acquires.
void RunQueued()
{
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(queueMutex);
            if (queuedTasks.empty())
                return;
            task = std::move(queuedTasks.front().run);
            queuedTasks.pop_front();
        }
        task();
        task = nullptr; // what it captured goes before the waiting caller resumes
    }
}

} // namespace

void QtMainQueue::async(std::function<void()> task)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        task();
        return;
    }
    Enqueue(std::move(task));
    QMetaObject::invokeMethod(app, [] { RunQueued(); }, Qt::QueuedConnection);
}

void QtMainQueue::sync(std::function<void()> task)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        task();
        return;
    }
    // The event runs everything queued before it, this task included.
    const std::uint64_t id = Enqueue(std::move(task));
    QMetaObject::invokeMethod(app, [] { RunQueued(); }, Qt::BlockingQueuedConnection);
    std::lock_guard lock(queueMutex);
    // Still queued only when the application went away with the event
    // unhandled: the task must not run later with this caller gone.
    for (auto it = queuedTasks.begin(); it != queuedTasks.end(); ++it) {
        if (it->id == id) {
            queuedTasks.erase(it);
            break;
        }
    }
}
