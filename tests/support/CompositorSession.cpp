#include "CompositorSession.h"

#include <glib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

bool CompositorSession::Installed(std::initializer_list<const char*> programs)
{
    for (const char* program : programs) {
        g_autofree gchar* found = g_find_program_in_path(program);
        if (found == nullptr)
            return false;
    }
    return true;
}

bool CompositorSession::Required(const char* variable)
{
    const char* flag = std::getenv(variable);
    return flag != nullptr && *flag != 0 && *flag != '0';
}

void CompositorSession::start(const std::vector<std::string>& argv, const std::vector<std::string>& extra,
                              std::optional<ChildProcess>* child, ChildProcess::Stream output)
{
    std::vector<std::string> environment = bus.environment();
    environment.insert(environment.end(), {"DISPLAY=", "WAYLAND_DISPLAY="});
    environment.insert(environment.end(), extra.begin(), extra.end());
    (child ? *child : compositor).emplace(argv, ChildProcess::Options{.out = output, .err = output,
                                                                      .environment = environment});
}

bool CompositorSession::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (compositor && compositor->running() && std::chrono::steady_clock::now() < deadline) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string CompositorSession::socketIn(const std::string& prefix) const
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(bus.runtimeDir(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && entry.is_socket(error))
            return name;
    }
    return {};
}
