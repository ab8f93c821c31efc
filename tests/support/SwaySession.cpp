#include "SwaySession.h"

#include "WaylandConnection.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace {

// The user sway runs as: nobody for a root test, else the test's own.
constexpr uid_t kUnprivileged = 65534;
uid_t SessionUser()
{
    return ::geteuid() == 0 ? kUnprivileged : ::getuid();
}

// A socket sway made in the runtime folder whose name starts with prefix;
// empty before it exists.
std::string SocketIn(const std::string& folder, const std::string& prefix)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && entry.is_socket(error))
            return name;
    }
    return {};
}

} // namespace

SwaySession::SwaySession() : session(SessionUser(), ::geteuid() == 0 ? kUnprivileged : ::getgid())
{
    if (!installed() || !session.started())
        return;
    const std::string config = session.runtimeDir() + "/sway.config";
    std::ofstream(config) << "output HEADLESS-1 resolution " << kWidth << "x" << kHeight
                          << "\nxwayland disable\ndefault_border none\n";
    std::vector<std::string> argv{"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "sway", "-c", config};
    if (SessionUser() != ::getuid())
        argv.insert(argv.begin(), {"setpriv", "--reuid=" + std::to_string(kUnprivileged),
                                   "--regid=" + std::to_string(kUnprivileged), "--clear-groups"});
    std::vector<std::string> environment = session.environment();
    environment.insert(environment.end(), {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1",
                                           "WLR_RENDERER=pixman", "WLR_HEADLESS_OUTPUTS=1"});
    sway.emplace(argv, ChildProcess::Options{.out = ChildProcess::Stream::Collect,
                                             .err = ChildProcess::Stream::Collect,
                                             .environment = environment});
    if (!sway->started())
        return;

    // Ready once a client sees the output.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (socket.empty() && sway->running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        socket = SocketIn(session.runtimeDir(), "wayland-");
    }
    if (socket.empty())
        return;
    session.enter({"WAYLAND_DISPLAY=" + socket, "DISPLAY="});
    while (!ready && sway->running() && std::chrono::steady_clock::now() < deadline) {
        const std::vector<std::string> offered = WaylandConnection::OfferedInterfaces();
        ready = std::find(offered.begin(), offered.end(), "wl_output") != offered.end();
        if (!ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

SwaySession::~SwaySession()
{
    sway.reset();
}

bool SwaySession::command(const std::string& line)
{
    const std::string ipc = SocketIn(session.runtimeDir(), "sway-ipc.");
    return !ipc.empty() &&
           ChildProcess::Run({"swaymsg", "-s", session.runtimeDir() + "/" + ipc, line}).status == 0;
}

bool SwaySession::installed()
{
    return ChildProcess::Run({"sh", "-c", "command -v sway"}).status == 0;
}
