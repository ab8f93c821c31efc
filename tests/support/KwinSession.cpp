#include "KwinSession.h"

#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

KwinSession::KwinSession(const std::string& compositing)
{
    // The copy lives in the runtime folder, which goes with the session.
    const std::string copy = bus.runtimeDir() + "/kwin_wayland";
    std::error_code error;
    if (!bus.started() || !std::filesystem::copy_file(kInstalled, copy, error))
        return;
    const std::string socket = "corvane-kwin-" + std::to_string(::getpid());
    start({copy, "--virtual", "--width", std::to_string(kWidth), "--height", std::to_string(kHeight), "--socket",
           socket, "--no-lockscreen", "--no-global-shortcuts", "--no-kactivities"},
          {"KWIN_COMPOSE=" + compositing});
    variables = {"WAYLAND_DISPLAY=" + socket, "DISPLAY="};
    ready = waitUntil([&] { return !socketIn(socket).empty(); }, 10000);
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
