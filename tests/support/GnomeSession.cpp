#include "GnomeSession.h"

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

GnomeSession::GnomeSession(int width, int height)
{
    if (!bus.started())
        return;
    start({"pipewire"}, {}, &pipewire, ChildProcess::Stream::Discard);
    for (int i = 0; i < 100 && !std::filesystem::exists(bus.runtimeDir() + "/pipewire-0"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    start({"wireplumber"}, {}, &wireplumber, ChildProcess::Stream::Discard);

    start({"mutter", "--headless", "--wayland", "--wayland-display", "wayland-corvane", "--virtual-monitor",
           std::to_string(width) + "x" + std::to_string(height)});
    std::smatch found;
    const std::string output = compositor->waitForOutput("Using Wayland display name", 20000) ? log() : "";
    if (!std::regex_search(output, found, std::regex("public X11 display (:[0-9]+)")))
        return;
    variables = {"WAYLAND_DISPLAY=wayland-corvane", "DISPLAY=" + found[1].str()};
    for (const auto& entry : std::filesystem::directory_iterator(bus.runtimeDir())) {
        if (entry.path().filename().string().rfind(".mutter-Xwaylandauth.", 0) == 0)
            variables.push_back("XAUTHORITY=" + entry.path().string());
    }
    // mutter takes its D-Bus names after it has opened its displays, later
    // still on a busy machine.
    ready = variables.size() == 3 && bus.waitForName("org.gnome.Mutter.RemoteDesktop") &&
            bus.waitForName("org.gnome.Mutter.ScreenCast");
}
