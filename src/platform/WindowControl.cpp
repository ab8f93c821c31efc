#include "WindowControl.h"

#include "DesktopBackend.h"

#include <atomic>

namespace {
std::atomic<WindowControl*> installedControl{nullptr};
}

WindowControl& WindowControl::instance()
{
    if (WindowControl* control = installedControl.load(std::memory_order_acquire))
        return *control;
    return DesktopBackend::current().windowControl();
}

void WindowControl::setInstance(WindowControl* control)
{
    installedControl.store(control, std::memory_order_release);
}
