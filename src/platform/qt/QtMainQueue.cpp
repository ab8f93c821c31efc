#include "QtMainQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// The tasks wait in a queue of our own, under a standard mutex; the Qt event
// posted for each one carries no data and only makes the main thread run
// what is queued. So every hand-over between threads goes through a lock the
// standard library (and ThreadSanitizer) can see, not only Qt's own: the
// event itself is made while that lock is held, and the main thread takes
// the lock before it runs the queue and deletes the event; a caller of
// sync() waits on a condition of that lock too.
namespace {

struct QueuedTask {
    std::uint64_t id;
    std::function<void()> run;
};

std::mutex queueMutex;
std::condition_variable eventGone;
std::deque<QueuedTask> queuedTasks;
std::uint64_t nextTaskId = 1;

// Runs every queued task in order, on the main thread. One event per task
// is posted, so a later event may find the queue already empty.
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

// Tells a caller of sync() that the event posted for its task is gone:
// delivered (so the task has run), or dropped with the application.
class EventGoneSignal {
public:
    explicit EventGoneSignal(bool& flag) : gone(flag) {}
    ~EventGoneSignal()
    {
        std::lock_guard lock(queueMutex);
        gone = true;
        eventGone.notify_all();
    }

private:
    bool& gone;
};

} // namespace

void QtMainQueue::async(std::function<void()> task)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        task();
        return;
    }
    std::lock_guard lock(queueMutex);
    queuedTasks.push_back({nextTaskId++, std::move(task)});
    QMetaObject::invokeMethod(app, [] { RunQueued(); }, Qt::QueuedConnection);
}

void QtMainQueue::sync(std::function<void()> task)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        task();
        return;
    }
    bool gone = false;
    auto signal = std::make_shared<EventGoneSignal>(gone);
    std::uint64_t id;
    {
        std::lock_guard lock(queueMutex);
        id = nextTaskId++;
        queuedTasks.push_back({id, std::move(task)});
        // The event runs everything queued before it, this task included.
        QMetaObject::invokeMethod(app, [signal] { RunQueued(); }, Qt::QueuedConnection);
    }
    signal.reset(); // from here the event holds the only reference
    std::unique_lock lock(queueMutex);
    eventGone.wait(lock, [&] { return gone; });
    // Still queued only when the application went away with the event
    // unhandled: the task must not run later with this caller gone.
    for (auto it = queuedTasks.begin(); it != queuedTasks.end(); ++it) {
        if (it->id == id) {
            queuedTasks.erase(it);
            break;
        }
    }
}
