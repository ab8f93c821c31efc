#include "RecordingAlerts.h"

RecordingAlerts::RecordingAlerts()
{
    Alerts::setInstance(this);
}

RecordingAlerts::~RecordingAlerts()
{
    Alerts::setInstance(nullptr);
}

void RecordingAlerts::show(const QString& message, const QString& informativeText, const QString& button)
{
    const Alert alert{message, informativeText, button};
    std::function<void(const Alert&)> callback;
    {
        std::lock_guard lock(mutex);
        recorded.push_back(alert);
        callback = whileShown;
    }
    if (callback)
        callback(alert);
}

std::vector<RecordingAlerts::Alert> RecordingAlerts::alerts()
{
    std::lock_guard lock(mutex);
    return recorded;
}

std::string RecordingAlerts::shown()
{
    QString lines;
    for (const Alert& alert : alerts())
        lines += alert.message + '|' + alert.informativeText + '|' + alert.button + '\n';
    return lines.toStdString();
}

void RecordingAlerts::clear()
{
    std::lock_guard lock(mutex);
    recorded.clear();
}

void RecordingAlerts::setWhileShown(std::function<void(const Alert&)> callback)
{
    std::lock_guard lock(mutex);
    whileShown = std::move(callback);
}
