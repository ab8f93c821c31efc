#include "AppDelegateHooks.h"

#include <atomic>

namespace {
std::atomic<AppDelegateHooks*> applicationDelegate{nullptr};
}

AppDelegateHooks* AppDelegateHooks::current()
{
    return applicationDelegate.load(std::memory_order_acquire);
}

void AppDelegateHooks::setCurrent(AppDelegateHooks* delegate)
{
    applicationDelegate.store(delegate, std::memory_order_release);
}
