#include "Pasteboard.h"

#include "QtPasteboard.h"

#include <atomic>

namespace {
std::atomic<Pasteboard*> installedPasteboard{nullptr};
}

Pasteboard& Pasteboard::instance()
{
    static QtPasteboard desktopPasteboard;
    Pasteboard* pasteboard = installedPasteboard.load(std::memory_order_acquire);
    return pasteboard ? *pasteboard : desktopPasteboard;
}

void Pasteboard::setInstance(Pasteboard* pasteboard)
{
    installedPasteboard.store(pasteboard, std::memory_order_release);
}
