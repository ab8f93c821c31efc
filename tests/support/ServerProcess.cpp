#include "ServerProcess.h"

#include "FreePort.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The test's environment for the program. In a ThreadSanitizer build the
// program is checked as the test programs are (TsanSuppressions.cpp): Qt is
// not built for the checker, so what Qt's own code does is left out.
std::vector<std::string> ProgramEnvironment()
{
    std::vector<std::string> variables;
    std::string tsan = "TSAN_OPTIONS=";
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string_view(*entry).rfind("TSAN_OPTIONS=", 0) == 0)
            tsan = std::string(*entry) + " ";
        else
            variables.emplace_back(*entry);
    }
    variables.push_back(tsan + "ignore_noninstrumented_modules=1");
    return variables;
}

} // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& extraArgs, bool waitUntilListening, bool headless)
    : tcp(FreePort::tcp()), udp(FreePort::udp())
{
    std::vector<std::string> args = {CORVANE_SERVER_EXE, "--port", std::to_string(tcp), "--udp-port",
                                     std::to_string(udp), "--broadcast", "127.255.255.255"};
    if (headless)
        args.insert(args.begin() + 1, "--headless");
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    std::vector<std::string> environment = ProgramEnvironment();
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error("cannot start corvane");
    }
    outputFd = pipeFds[0];
    reader = std::thread([this] {
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(outputFd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            std::lock_guard lock(mutex);
            collected.append(buffer, static_cast<size_t>(got));
        }
    });
    if (waitUntilListening && !waitForOutput("accept thread start!!!", 10000))
        throw std::runtime_error("corvane did not start listening:\n" + output());
}

ServerProcess::~ServerProcess()
{
    if (child > 0)
        stop();
    if (reader.joinable())
        reader.join();
    if (outputFd >= 0)
        ::close(outputFd);
}

std::string ServerProcess::output()
{
    std::lock_guard lock(mutex);
    return collected;
}

bool ServerProcess::waitForOutput(const std::string& text, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (output().find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return output().find(text) != std::string::npos;
}

int ServerProcess::wait(int timeoutMs)
{
    if (child <= 0)
        return exitStatus;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            child = -1;
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return exitStatus;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            child = -1;
            exitStatus = -1;
            return exitStatus;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int ServerProcess::stop()
{
    if (child <= 0)
        return exitStatus;
    ::kill(child, SIGTERM);
    return wait(10000);
}
