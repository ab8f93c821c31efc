#include "TextFieldProbe.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

} // namespace

TextFieldProbe::TextFieldProbe()
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<std::string> args = {CORVANE_TEXT_FIELD_PROBE_EXE, "-platform", "xcb"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        child = -1;
        throw std::runtime_error("cannot start the text field probe");
    }
    outputFd = pipeFds[0];
    reader = std::thread([this] { readOutput(); });
}

TextFieldProbe::~TextFieldProbe()
{
    if (child > 0) {
        ::kill(child, SIGTERM);
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    if (reader.joinable())
        reader.join();
    if (outputFd >= 0)
        ::close(outputFd);
}

void TextFieldProbe::readOutput()
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(outputFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(got));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            std::lock_guard lock(mutex);
            if (line.rfind("READY ", 0) == 0) {
                ready = true;
                windowId = std::stoul(line.substr(6));
            } else if (line.rfind("TEXT", 0) == 0) {
                current = FromHex(line.size() > 5 ? line.substr(5) : std::string());
            }
            changed.notify_all();
        }
    }
    std::lock_guard lock(mutex);
    ended = true;
    changed.notify_all();
}

bool TextFieldProbe::waitUntilReady(int timeoutMs)
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return ready || ended; }) &&
           ready;
}

bool TextFieldProbe::waitForText(const std::string& expected, int timeoutMs)
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return current == expected || ended; }) &&
           current == expected;
}

std::string TextFieldProbe::text()
{
    std::lock_guard lock(mutex);
    return current;
}

unsigned long TextFieldProbe::window()
{
    std::lock_guard lock(mutex);
    return windowId;
}
