#include "RunningApps.h"

#include "DesktopCatalogue.h"
#include "DesktopEntry.h"
#include "DesktopExec.h"

#include <algorithm>
#include <filesystem>
#include <strings.h>

namespace {

std::string BaseName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file an absolute path names once symbolic links are resolved; empty
// for relative paths (they depend on the process's folder) and missing files.
std::string Canonical(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return {};
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(path, error);
    return error ? std::string() : resolved.string();
}

// The argument an interpreter runs: the first one that is not an option.
std::string ScriptArgument(const ProcessInfo& process)
{
    for (std::size_t i = 1; i < process.argv.size(); ++i) {
        const std::string& arg = process.argv[i];
        if (arg == "-c" || arg == "-e")
            return {};
        if (!arg.empty() && arg[0] != '-')
            return arg;
    }
    return {};
}

// One of an entry's programs, with the file it resolves to.
struct ResolvedProgram {
    std::string name; // as the entry writes it
    std::string base; // its last path component
    std::string file; // canonical file, "" when not installed
    bool script;      // run through an interpreter
};

// A path or name the process shows against a program: same text, same last
// component, or the same file.
bool Same(const std::string& shown, const std::string& shownFile, const ResolvedProgram& program)
{
    if (shown.empty())
        return false;
    if (shown == program.name || BaseName(shown) == program.base)
        return true;
    return !program.file.empty() && shownFile == program.file;
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return !a.empty() && ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

} // namespace

RunningApps::RunningApps() : windows(WindowControl::instance().list())
{
    for (ProcessInfo& info : ProcessTable::currentUser()) {
        Seen seen;
        seen.info = std::move(info);
        if (!seen.info.argv.empty()) {
            seen.commandFile = Canonical(seen.info.argv[0]);
            if (DesktopExec::isInterpreter(seen.info.argv[0])) {
                seen.script = ScriptArgument(seen.info);
                seen.scriptFile = Canonical(seen.script);
            }
        }
        processes.push_back(std::move(seen));
    }
}

std::vector<ProcessInfo> RunningApps::instances(const DesktopEntry& entry) const
{
    std::vector<ResolvedProgram> programs;
    for (const DesktopExec::Program& program : DesktopExec::programs(entry)) {
        programs.push_back({program.name, BaseName(program.name),
                            Canonical(DesktopCatalogue::findProgram(program.name)), program.script});
    }
    const std::string wmClass = entry.string("StartupWMClass");

    std::vector<ProcessInfo> found;
    for (const Seen& process : processes) {
        bool belongs = false;
        for (const ResolvedProgram& program : programs) {
            // A program started through its "#!" line runs as
            // "interpreter program ...": its script argument names it too.
            belongs = belongs || Same(process.script, process.scriptFile, program);
            if (!program.script) {
                belongs = belongs || Same(process.info.exe, process.info.exe, program) ||
                          (!process.info.argv.empty() && Same(process.info.argv[0], process.commandFile, program));
            }
        }
        if (!belongs && !wmClass.empty()) {
            for (const ClientWindow& window : windows) {
                if (window.pid == process.info.pid &&
                    (EqualNoCase(window.className, wmClass) || EqualNoCase(window.instanceName, wmClass)))
                    belongs = true;
            }
        }
        if (belongs)
            found.push_back(process.info);
    }
    return found;
}

bool RunningApps::running(const DesktopEntry& entry) const
{
    return !instances(entry).empty() || !windowsOf(entry, 0).empty();
}

std::vector<ClientWindow> RunningApps::windowsOf(const DesktopEntry& entry, pid_t pid) const
{
    std::vector<std::string> names{entry.id(), entry.string("StartupWMClass")};
    for (const DesktopExec::Program& program : DesktopExec::programs(entry))
        names.push_back(BaseName(program.name));
    const auto named = [&](const std::string& appId) {
        return std::any_of(names.begin(), names.end(),
                           [&](const std::string& name) { return EqualNoCase(appId, name); });
    };
    std::vector<ClientWindow> owned;
    for (const ClientWindow& window : windows) {
        if (window.pid == 0 ? named(window.className) || named(window.instanceName) : window.pid == pid)
            owned.push_back(window);
    }
    return owned;
}
