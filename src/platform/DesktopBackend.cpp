#include "DesktopBackend.h"

#include "BackendProbe.h"
#include "DesktopModule.h"
#include "NoDesktopBackend.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace {
// The current backend is read on every injected event, so readers take no
// lock; the mutex only orders the making and replacing. A replaced backend
// stays alive until exit: other threads may still hold its services.
std::atomic<DesktopBackend*> currentBackend{nullptr};
std::mutex ownedMutex;
std::vector<std::unique_ptr<DesktopBackend>> ownedBackends;

DesktopBackend& Install(std::unique_ptr<DesktopBackend> backend)
{
    DesktopBackend& installed = *backend;
    ownedBackends.push_back(std::move(backend));
    currentBackend.store(&installed, std::memory_order_release);
    return installed;
}
} // namespace

DesktopBackend& DesktopBackend::current()
{
    if (DesktopBackend* backend = currentBackend.load(std::memory_order_acquire))
        return *backend;
    std::lock_guard lock(ownedMutex);
    if (DesktopBackend* backend = currentBackend.load(std::memory_order_acquire))
        return *backend;
    return Install(make(BackendProbe::Detect().kind));
}

void DesktopBackend::setCurrent(std::unique_ptr<DesktopBackend> backend)
{
    std::lock_guard lock(ownedMutex);
    Install(std::move(backend));
}

void DesktopBackend::endAll()
{
    std::vector<std::unique_ptr<DesktopBackend>> ending;
    {
        std::lock_guard lock(ownedMutex);
        ending.swap(ownedBackends);
        Install(std::make_unique<NoDesktopBackend>());
    }
    // Newest first, as they were made.
    while (!ending.empty())
        ending.pop_back();
}

std::unique_ptr<DesktopBackend> DesktopBackend::make(BackendKind kind)
{
    // A session without a desktop loads no module: nothing of it is needed.
    if (kind == BackendKind::None && !DesktopModule::loaded())
        return std::make_unique<NoDesktopBackend>();
    return DesktopModule::instance().makeBackend(kind);
}

const char* DesktopBackend::name(BackendKind kind)
{
    switch (kind) {
    case BackendKind::X11:
        return "x11";
    case BackendKind::Gnome:
        return "gnome";
    case BackendKind::Kde:
        return "kde";
    case BackendKind::Wlroots:
        return "wlroots";
    case BackendKind::None:
        break;
    }
    return "none";
}
