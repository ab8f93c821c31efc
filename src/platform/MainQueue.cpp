#include "MainQueue.h"

#include "QtMainQueue.h"

#include <atomic>

namespace {
QtMainQueue eventLoopQueue;
std::atomic<MainQueue*> installedQueue{nullptr};
}

MainQueue& MainQueue::instance()
{
    MainQueue* queue = installedQueue.load(std::memory_order_acquire);
    return queue ? *queue : eventLoopQueue;
}

void MainQueue::setInstance(MainQueue* queue)
{
    installedQueue.store(queue, std::memory_order_release);
}
