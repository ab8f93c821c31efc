#include "EventPoster.h"

#include "DesktopBackend.h"

#include <atomic>

namespace {
std::atomic<EventPoster*> installedPoster{nullptr};
}

EventPoster& EventPoster::instance()
{
    if (EventPoster* poster = installedPoster.load(std::memory_order_acquire))
        return *poster;
    return DesktopBackend::current().eventPoster();
}

void EventPoster::setInstance(EventPoster* poster)
{
    installedPoster.store(poster, std::memory_order_release);
}
