#include "TestAppProcess.h"

#include "TempDir.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

std::vector<std::string> Arguments(const std::string& program, const std::string& logFile,
                                   const std::vector<std::string>& extraArgs)
{
    std::vector<std::string> args = {program, "--log", logFile, "--lifetime", "60"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return args;
}

} // namespace

TestAppProcess::TestAppProcess(const std::string& program, const std::string& logFile,
                               const std::vector<std::string>& extraArgs)
    : app(Arguments(program, logFile, extraArgs), {.stopSignal = SIGKILL})
{
}

bool TestAppProcess::waitForExit(int timeoutMs)
{
    app.wait(timeoutMs);
    return !app.running();
}

std::string TestAppProcess::program()
{
    return CORVANE_TEST_APP;
}

std::vector<std::string> TestAppProcess::lines(const std::string& logFile)
{
    std::vector<std::string> result;
    std::error_code error;
    if (!std::filesystem::exists(logFile, error))
        return result;
    std::istringstream text(TempDir::read(logFile));
    for (std::string line; std::getline(text, line);)
        result.push_back(line);
    return result;
}

std::string TestAppProcess::waitForLine(const std::string& logFile, const std::string& prefix, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (const std::string& line : lines(logFile)) {
            if (line.compare(0, prefix.size(), prefix) == 0)
                return line;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string TestAppProcess::privateCopy(const std::string& folder)
{
    std::filesystem::create_directories(folder);
    const std::string copy = folder + "/corvane-test-app-" + std::to_string(::getpid());
    std::filesystem::copy_file(program(), copy, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    return copy;
}

void TestAppProcess::endLaunched(pid_t pid, const std::string& program)
{
    if (pid <= 0)
        return;
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    if (!error && exe == std::filesystem::canonical(program, error))
        ::kill(pid, SIGKILL);
}
