#include "Alerts.h"

#include "TerminalAlerts.h"

#include <atomic>

namespace {
std::atomic<Alerts*> installedAlerts{nullptr};
}

Alerts& Alerts::instance()
{
    static TerminalAlerts terminal;
    if (Alerts* alerts = installedAlerts.load(std::memory_order_acquire))
        return *alerts;
    return terminal;
}

void Alerts::setInstance(Alerts* alerts)
{
    installedAlerts.store(alerts, std::memory_order_release);
}
