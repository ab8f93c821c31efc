#pragma once

#include <QString>

// One-button modal messages to the user: a message, an informative text
// below it and the title of the one button. Shown on the main thread only.
class Alerts {
public:
    virtual ~Alerts() = default;

    // Shows the alert and returns once the user has dismissed it.
    virtual void show(const QString& message, const QString& informativeText, const QString& button) = 0;

    // The alerts in use: the installed ones (message boxes in the desktop
    // application, MessageBoxAlerts), else the terminal.
    static Alerts& instance();
    // Installs alerts; null restores the default.
    static void setInstance(Alerts* alerts);
};
