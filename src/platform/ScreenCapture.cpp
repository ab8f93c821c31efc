#include "ScreenCapture.h"

#include "DesktopBackend.h"

#include <atomic>

namespace {
std::atomic<ScreenCapture*> installedCapture{nullptr};
}

ScreenCapture* ScreenCapture::instance()
{
    if (ScreenCapture* capture = installedCapture.load(std::memory_order_acquire))
        return capture;
    return DesktopBackend::current().screenCapture();
}

void ScreenCapture::setInstance(ScreenCapture* capture)
{
    installedCapture.store(capture, std::memory_order_release);
}
