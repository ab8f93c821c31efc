#include "SwaySession.h"

#include "WaylandConnection.h"

#include <algorithm>
#include <fstream>
#include <unistd.h>

// sway runs as nobody for a root test, else as the test's own user.
constexpr uid_t kUnprivileged = 65534;

SwaySession::SwaySession()
    : CompositorSession(::geteuid() == 0 ? kUnprivileged : ::getuid(), ::geteuid() == 0 ? kUnprivileged : ::getgid())
{
    if (!installed() || !bus.started())
        return;
    const std::string config = bus.runtimeDir() + "/sway.config";
    std::ofstream(config) << "output HEADLESS-1 resolution " << kWidth << "x" << kHeight
                          << "\nxwayland disable\ndefault_border none\n";
    std::vector<std::string> argv{"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "sway", "-c", config};
    if (::geteuid() == 0)
        argv.insert(argv.begin(), {"setpriv", "--reuid=" + std::to_string(kUnprivileged),
                                   "--regid=" + std::to_string(kUnprivileged), "--clear-groups"});
    start(argv, {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "WLR_HEADLESS_OUTPUTS=1"});

    // Ready once a client sees the output.
    std::string socket;
    if (!waitUntil([&] { return !(socket = socketIn("wayland-")).empty(); }))
        return;
    variables = {"WAYLAND_DISPLAY=" + socket, "DISPLAY="};
    enter();
    ready = waitUntil([] {
        const std::vector<std::string> offered = WaylandConnection::OfferedInterfaces();
        return std::find(offered.begin(), offered.end(), "wl_output") != offered.end();
    });
}

bool SwaySession::command(const std::string& line)
{
    const std::string ipc = socketIn("sway-ipc.");
    return !ipc.empty() && ChildProcess::Run({"swaymsg", "-s", bus.runtimeDir() + "/" + ipc, line}).status == 0;
}
