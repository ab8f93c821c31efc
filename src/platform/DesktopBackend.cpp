#include "DesktopBackend.h"

#include "BackendProbe.h"
#include "GnomeBackend.h"
#include "KdeBackend.h"
#include "Log.h"
#include "WlrootsBackend.h"
#include "X11Backend.h"

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

std::unique_ptr<DesktopBackend> DesktopBackend::make(BackendKind kind)
{
    switch (kind) {
    case BackendKind::X11:
        return std::make_unique<X11Backend>(BackendKind::X11);
    case BackendKind::Gnome:
        return std::make_unique<GnomeBackend>();
    case BackendKind::Kde:
        return std::make_unique<KdeBackend>();
    case BackendKind::Wlroots: {
        auto backend = std::make_unique<WlrootsBackend>();
        if (backend->ready())
            return backend;
        Log::Printf("wlroots backend: the compositor offers no virtual pointer and keyboard\n");
        break;
    }
    case BackendKind::None:
        break;
    }
    return std::make_unique<X11Backend>(BackendKind::None);
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
