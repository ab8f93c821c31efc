#include "GnomeBackend.h"

#include "Log.h"
#include "XwaylandLaserDot.h"

#include <cstdlib>

namespace {
constexpr std::chrono::milliseconds kKeymapWait{2000};
}

GnomeBackend::GnomeBackend() : clipboard(session), poster(session, clipboard, keymap), capture(session)
{
    std::string reason;
    if (!session.start(reason))
        Log::Printf("GNOME remote desktop: no session (%s); events are dropped\n", reason.c_str());
    // The seat has a keyboard, and so a keymap, once the session's exists.
    if (!keymap.waitForKeymap(kKeymapWait))
        Log::Printf("GNOME typing: no keyboard layout from the Wayland seat; the default layout's characters are "
                    "typed as keys\n");
}

GnomeBackend::~GnomeBackend()
{
    // No listener may run while the keymap takes its proxies down.
    wayland.stopDispatching();
}

std::unique_ptr<LaserDotSurface> GnomeBackend::makeLaserDotSurface()
{
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == 0)
        return nullptr;
    auto dot = std::make_unique<XwaylandLaserDot>(display);
    if (!dot->usable())
        return nullptr;
    return dot;
}
