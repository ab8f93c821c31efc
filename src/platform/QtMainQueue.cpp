#include "QtMainQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

void QtMainQueue::async(std::function<void()> task)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        task();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
}

void QtMainQueue::sync(std::function<void()> task)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        task();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(task), Qt::BlockingQueuedConnection);
}
