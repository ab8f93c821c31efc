#include "KwinSession.h"

#include "TempDir.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kInstalledKwin = "/usr/bin/kwin_wayland";

// Whether something listens on the Unix socket at path.
bool Listening(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

} // namespace

bool KwinSession::installed()
{
    return ::access(kInstalledKwin, X_OK) == 0;
}

bool KwinSession::required()
{
    const char* flag = std::getenv("CORVANE_REQUIRE_X");
    return flag != nullptr && *flag != 0 && *flag != '0';
}

KwinSession::KwinSession(const std::string& compositing)
{
    if (!bus.started())
        return;
    // The copy lives in the runtime folder, which goes with the session.
    const std::string copy = bus.runtimeDir() + "/kwin_wayland";
    std::error_code error;
    if (!std::filesystem::copy_file(kInstalledKwin, copy, error))
        return;
    socket = "corvane-kwin-" + std::to_string(::getpid());
    std::vector<std::string> environment = bus.environment();
    environment.insert(environment.end(), {"KWIN_COMPOSE=" + compositing, "DISPLAY=", "WAYLAND_DISPLAY="});
    kwin.emplace(std::vector<std::string>{copy, "--virtual", "--width", std::to_string(kWidth), "--height",
                                          std::to_string(kHeight), "--socket", socket, "--no-lockscreen",
                                          "--no-global-shortcuts", "--no-kactivities"},
                 ChildProcess::Options{.out = ChildProcess::Stream::Collect,
                                       .err = ChildProcess::Stream::Collect,
                                       .environment = environment});
    const std::string path = bus.runtimeDir() + "/" + socket;
    for (int i = 0; i < 500 && kwin->running() && !ready; ++i) {
        ready = Listening(path);
        if (!ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

KwinSession::~KwinSession()
{
    kwin.reset();
}

void KwinSession::enter()
{
    bus.enter({"WAYLAND_DISPLAY=" + socket, "DISPLAY="});
}

std::string KwinSession::log()
{
    return kwin ? kwin->output() : std::string();
}

void KwinSession::Allow(const std::string& program, const std::string& name)
{
    std::istringstream entry(TempDir::read(CORVANE_BINARY_DIR "/src/app/corvane.desktop"));
    std::string text;
    for (std::string line; std::getline(entry, line);)
        text += (line.rfind("Exec=", 0) == 0 ? "Exec=" + program : line) + "\n";
    const char* data = std::getenv("XDG_DATA_HOME");
    const std::filesystem::path folder = std::filesystem::path(data ? data : "") / "applications";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / (name + ".desktop")) << text;
}
