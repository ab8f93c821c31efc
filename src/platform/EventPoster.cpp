#include "EventPoster.h"

#include "X11EventPoster.h"

#include <atomic>

namespace {
std::atomic<EventPoster*> installedPoster{nullptr};
}

EventPoster& EventPoster::instance()
{
    if (EventPoster* poster = installedPoster.load(std::memory_order_acquire))
        return *poster;
    static X11EventPoster desktopPoster;
    return desktopPoster;
}

void EventPoster::setInstance(EventPoster* poster)
{
    installedPoster.store(poster, std::memory_order_release);
}
