#include "Pasteboard.h"

#include "DesktopBackend.h"

#include <atomic>

namespace {
std::atomic<Pasteboard*> installedPasteboard{nullptr};
}

Pasteboard& Pasteboard::instance()
{
    if (Pasteboard* pasteboard = installedPasteboard.load(std::memory_order_acquire))
        return *pasteboard;
    return DesktopBackend::current().pasteboard();
}

void Pasteboard::setInstance(Pasteboard* pasteboard)
{
    installedPasteboard.store(pasteboard, std::memory_order_release);
}
