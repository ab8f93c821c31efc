#pragma once

#include "Alerts.h"

// Alerts of a service without windows: one line "message: informative text"
// on standard error. Nothing waits for a user, so they return at once.
class TerminalAlerts : public Alerts {
public:
    void show(const QString& message, const QString& informativeText, const QString& button) override;
};
