#include "ProcessRunner.h"

#include "SCommon.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

// Starts argv with standard input and output on /dev/null, default signal
// handling, an empty signal mask and normal scheduling (a live channel's
// thread runs at real-time priority, which a launched player or script
// must not inherit). flags adds POSIX_SPAWN_SETPGROUP (a process group of
// its own) or POSIX_SPAWN_SETSID (a session of its own).
static pid_t Spawn(const std::vector<std::string>& argv, short flags)
{
    if (argv.empty())
        return -1;
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, static_cast<short>(flags | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                             POSIX_SPAWN_SETSCHEDULER));
    posix_spawnattr_setpgroup(&attributes, 0);
    const sched_param normal{};
    posix_spawnattr_setschedpolicy(&attributes, SCHED_OTHER);
    posix_spawnattr_setschedparam(&attributes, &normal);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);

    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return spawned == 0 ? pid : -1;
}

bool ProcessRunner::spawnDetached(const std::vector<std::string>& argv)
{
    // The child of a short-lived intermediate would need a reaper; instead
    // the launched program is reaped by a small thread of ours.
    const pid_t pid = Spawn(argv, POSIX_SPAWN_SETSID);
    if (pid < 0)
        return false;
    std::thread([pid] {
        useNormalScheduling();
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

int ProcessRunner::run(const std::vector<std::string>& argv, int timeoutSeconds)
{
    // A group of its own, so a time-out ends the children it started too.
    const pid_t pid = Spawn(argv, POSIX_SPAWN_SETPGROUP);
    if (pid < 0)
        return -1;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}
