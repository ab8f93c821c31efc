#include "TrayHost.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {
constexpr const char* kTrayer = "/usr/bin/trayer";
}

bool TrayHost::installed()
{
    return ::access(kTrayer, X_OK) == 0;
}

TrayHost::TrayHost()
{
    std::vector<std::string> args = {kTrayer, "--edge", "top", "--align", "left", "--widthtype", "request",
                                     "--height", "24", "--SetDockType", "true", "--SetPartialStrut", "false"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid, kTrayer, &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

TrayHost::~TrayHost()
{
    stop();
}

void TrayHost::stop()
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
}
