#include "GnomeSession.h"

#include <glib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

namespace {

bool OnPath(const char* program)
{
    g_autofree gchar* found = g_find_program_in_path(program);
    return found != nullptr;
}

} // namespace

bool GnomeSession::installed()
{
    return OnPath("mutter") && OnPath("pipewire") && OnPath("wireplumber") && OnPath("Xwayland");
}

bool GnomeSession::required()
{
    return std::getenv("CORVANE_REQUIRE_GNOME") != nullptr;
}

GnomeSession::GnomeSession(int width, int height)
{
    if (!bus.started())
        return;
    std::vector<std::string> environment = bus.environment();
    // Nothing of the machine's own desktop: mutter runs headless.
    environment.insert(environment.end(), {"DISPLAY=", "WAYLAND_DISPLAY="});
    const ChildProcess::Options quiet{.out = ChildProcess::Stream::Discard,
                                      .err = ChildProcess::Stream::Discard,
                                      .environment = environment};
    pipewire.emplace(std::vector<std::string>{"pipewire"}, quiet);
    const std::string socket = bus.runtimeDir() + "/pipewire-0";
    for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    wireplumber.emplace(std::vector<std::string>{"wireplumber"}, quiet);

    waylandDisplay = "wayland-corvane";
    mutter.emplace(std::vector<std::string>{"mutter", "--headless", "--wayland", "--wayland-display", waylandDisplay,
                                            "--virtual-monitor",
                                            std::to_string(width) + "x" + std::to_string(height)},
                   ChildProcess::Options{.out = ChildProcess::Stream::Collect,
                                         .err = ChildProcess::Stream::Collect,
                                         .environment = environment});
    if (!mutter->waitForOutput("Using Wayland display name", 20000))
        return;
    std::smatch found;
    const std::string output = mutter->output();
    if (!std::regex_search(output, found, std::regex("public X11 display (:[0-9]+)")))
        return;
    xDisplay = found[1];
    for (const auto& entry : std::filesystem::directory_iterator(bus.runtimeDir())) {
        if (entry.path().filename().string().rfind(".mutter-Xwaylandauth.", 0) == 0)
            xAuthority = entry.path().string();
    }
    // mutter takes its D-Bus names after it has opened its displays, later
    // still on a busy machine.
    ready = !xAuthority.empty() && bus.waitForName("org.gnome.Mutter.RemoteDesktop") &&
            bus.waitForName("org.gnome.Mutter.ScreenCast");
}

GnomeSession::~GnomeSession()
{
    mutter.reset();
    wireplumber.reset();
    pipewire.reset();
}

void GnomeSession::enter()
{
    bus.enter({"WAYLAND_DISPLAY=" + waylandDisplay, "DISPLAY=" + xDisplay, "XAUTHORITY=" + xAuthority});
}
