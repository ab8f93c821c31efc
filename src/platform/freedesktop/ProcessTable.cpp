#include "ProcessTable.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace {

// A command line longer than this is cut; the program and its first
// arguments are all the matching needs.
constexpr std::size_t kMaxCommandLine = 64 * 1024;

// Up to limit bytes of the file. Read in small pieces: most of these files
// are a few hundred bytes, and a listing reads several per process.
std::string ReadSmallFile(const std::string& path, std::size_t limit)
{
    std::string data;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return data;
    char piece[4096];
    for (ssize_t got; data.size() < limit && (got = ::read(fd, piece, std::min(sizeof piece, limit - data.size()))) > 0;)
        data.append(piece, static_cast<std::size_t>(got));
    ::close(fd);
    return data;
}

// The real user id from the "Uid:" line of /proc/<pid>/status.
std::optional<uid_t> RealUser(const std::string& folder)
{
    std::istringstream status(ReadSmallFile(folder + "/status", 8192));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Uid:", 0) == 0)
            return static_cast<uid_t>(std::strtoul(line.c_str() + 4, nullptr, 10));
    }
    return std::nullopt;
}

} // namespace

std::optional<ProcessInfo> ProcessTable::read(pid_t pid)
{
    const std::string folder = "/proc/" + std::to_string(pid);
    // /proc/<pid>/stat: "pid (comm) state ppid ... starttime(22) ..."; comm
    // may hold spaces and parentheses, so fields count from the last ')'.
    const std::string stat = ReadSmallFile(folder + "/stat", 4096);
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    fields >> state;
    if (state.empty() || state == "Z" || state == "X")
        return std::nullopt;
    std::string skip;
    for (int field = 4; field < 22; ++field)
        fields >> skip;
    ProcessInfo info;
    info.pid = pid;
    fields >> info.startTicks;

    const std::string commandLine = ReadSmallFile(folder + "/cmdline", kMaxCommandLine);
    if (commandLine.empty())
        return std::nullopt; // a kernel thread
    std::size_t start = 0;
    while (start < commandLine.size()) {
        const auto end = commandLine.find('\0', start);
        info.argv.push_back(commandLine.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }

    char target[4096];
    const ssize_t length = ::readlink((folder + "/exe").c_str(), target, sizeof target - 1);
    if (length > 0) {
        info.exe.assign(target, static_cast<std::size_t>(length));
        // A program replaced on disk while running shows as "path (deleted)".
        const std::string deleted = " (deleted)";
        if (info.exe.size() > deleted.size() &&
            info.exe.compare(info.exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            info.exe.erase(info.exe.size() - deleted.size());
    }
    return info;
}

std::vector<ProcessInfo> ProcessTable::currentUser()
{
    std::vector<ProcessInfo> processes;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return processes;
    const uid_t me = ::getuid();
    while (const dirent* item = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(item->d_name, &end, 10);
        if (pid <= 0 || *end != 0)
            continue;
        const std::string folder = std::string("/proc/") + item->d_name;
        if (RealUser(folder) != me)
            continue;
        if (std::optional<ProcessInfo> info = read(static_cast<pid_t>(pid)))
            processes.push_back(std::move(*info));
    }
    ::closedir(proc);
    std::sort(processes.begin(), processes.end(), [](const ProcessInfo& a, const ProcessInfo& b) {
        return a.startTicks != b.startTicks ? a.startTicks < b.startTicks : a.pid < b.pid;
    });
    return processes;
}
