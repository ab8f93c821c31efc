#pragma once

#include "MainQueue.h"

// The main queue of a Qt program: tasks are run on the application object's
// thread, in the order they were queued. Without an application object tasks
// run at once.
class QtMainQueue : public MainQueue {
public:
    void async(std::function<void()> task) override;
    void sync(std::function<void()> task) override;
};
