#include "NoDesktopBackend.h"

#include "LaserDotSurface.h"
#include "Log.h"

void NoDesktopBackend::drop()
{
    if (!reportedMissing.exchange(true))
        Log::Printf("No event source\n");
}

bool NoDesktopBackend::hasEventSource()
{
    drop();
    return false;
}

ScreenPoint NoDesktopBackend::pointerLocation()
{
    drop();
    return {};
}

ScreenSize NoDesktopBackend::mainScreenSize()
{
    drop();
    return {};
}

std::unique_ptr<LaserDotSurface> NoDesktopBackend::makeLaserDotSurface()
{
    return nullptr;
}
