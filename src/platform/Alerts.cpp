#include "Alerts.h"

#include "MessageBoxAlerts.h"
#include "TerminalAlerts.h"

#include <QApplication>
#include <atomic>

namespace {
std::atomic<Alerts*> installedAlerts{nullptr};
}

Alerts& Alerts::instance()
{
    static MessageBoxAlerts messageBoxes;
    static TerminalAlerts terminal;
    if (Alerts* alerts = installedAlerts.load(std::memory_order_acquire))
        return *alerts;
    // Message boxes need a widget application; a headless service has a
    // core application only.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
        return messageBoxes;
    return terminal;
}

void Alerts::setInstance(Alerts* alerts)
{
    installedAlerts.store(alerts, std::memory_order_release);
}
