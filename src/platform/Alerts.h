#pragma once

#include <QString>

// One-button modal messages to the user: a message, an informative text
// below it and the title of the one button. Shown on the main thread only.
class Alerts {
public:
    virtual ~Alerts() = default;

    // Shows the alert and returns once the user has dismissed it.
    virtual void show(const QString& message, const QString& informativeText, const QString& button) = 0;

    // The alerts in use: message boxes in a desktop application, the
    // terminal otherwise, unless a test has installed others.
    static Alerts& instance();
    // Installs alerts; null restores the default.
    static void setInstance(Alerts* alerts);
};
