#pragma once

#include "Alerts.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Alerts for tests: each alert is recorded and counts as dismissed at once.
// Installs itself for its lifetime.
class RecordingAlerts : public Alerts {
public:
    struct Alert {
        QString message;
        QString informativeText;
        QString button;
    };

    RecordingAlerts();
    ~RecordingAlerts() override;

    void show(const QString& message, const QString& informativeText, const QString& button) override;

    std::vector<Alert> alerts();
    // The alerts so far, one "message|informative text|button" line each.
    std::string shown();
    void clear();
    // Called while an alert is "on screen", after it has been recorded:
    // lets a test look at the state the user would see behind it.
    void setWhileShown(std::function<void(const Alert&)> callback);

private:
    std::mutex mutex;
    std::vector<Alert> recorded;
    std::function<void(const Alert&)> whileShown;
};
