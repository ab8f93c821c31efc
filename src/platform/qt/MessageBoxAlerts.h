#pragma once

#include "Alerts.h"

// Alerts as application-modal message boxes that stay above other windows.
class MessageBoxAlerts : public Alerts {
public:
    void show(const QString& message, const QString& informativeText, const QString& button) override;
};
