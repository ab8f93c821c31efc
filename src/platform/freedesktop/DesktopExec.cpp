#include "DesktopExec.h"

#include "DesktopEntry.h"

#include <algorithm>

namespace {

std::string BaseName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Expands the field codes of one argument; returns the arguments it becomes
// (none, one, or two for %i).
std::vector<std::string> ExpandArgument(const std::string& arg, const DesktopEntry& entry)
{
    if (arg == "%i") {
        const std::string icon = entry.string("Icon");
        if (icon.empty())
            return {};
        return {"--icon", icon};
    }
    // A file or URL list code standing alone disappears with its argument.
    for (const char* alone : {"%f", "%F", "%u", "%U", "%d", "%D", "%n", "%N", "%v", "%m"}) {
        if (arg == alone)
            return {};
    }
    std::string out;
    for (std::size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] != '%' || i + 1 == arg.size()) {
            out += arg[i];
            continue;
        }
        const char code = arg[++i];
        switch (code) {
        case '%': out += '%'; break;
        case 'c': out += entry.localeString("Name"); break;
        case 'k': out += entry.filePath(); break;
        default: break; // file, URL, icon inside a word, deprecated and unknown codes
        }
    }
    return {out};
}

bool IsEnvironmentAssignment(const std::string& arg)
{
    const auto equals = arg.find('=');
    return equals != std::string::npos && equals > 0 && arg[0] != '-';
}

} // namespace

std::optional<std::vector<std::string>> DesktopExec::split(const std::string& exec)
{
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size() &&
                (exec[i + 1] == '"' || exec[i + 1] == '`' || exec[i + 1] == '$' || exec[i + 1] == '\\')) {
                current += exec[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                current += c;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inArgument)
                args.push_back(current);
            current.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c == '"')
            quoted = true;
        else
            current += c;
    }
    if (quoted)
        return std::nullopt;
    if (inArgument)
        args.push_back(current);
    if (args.empty())
        return std::nullopt;
    return args;
}

std::vector<std::string> DesktopExec::launchArgv(const DesktopEntry& entry)
{
    const auto args = split(entry.string("Exec"));
    if (!args)
        return {};
    std::vector<std::string> argv;
    for (const std::string& arg : *args) {
        for (std::string& expanded : ExpandArgument(arg, entry))
            argv.push_back(std::move(expanded));
    }
    if (argv.empty())
        return {};
    if (entry.boolean("Terminal"))
        argv.insert(argv.begin(), {"x-terminal-emulator", "-e"});
    const std::string folder = entry.string("Path");
    if (!folder.empty()) {
        // A shell changes to the folder and replaces itself by the program,
        // which therefore keeps its own process identity.
        argv.insert(argv.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder});
    }
    return argv;
}

bool DesktopExec::isInterpreter(const std::string& program)
{
    const std::string name = BaseName(program);
    static const char* const kInterpreters[] = {"sh",   "bash", "dash",   "zsh",  "ksh",  "perl", "ruby",
                                                "node", "nodejs", "java", "gjs",  "mono", "wish", "tclsh",
                                                "lua",  "php",  "python", "python2", "python3"};
    for (const char* interpreter : kInterpreters) {
        if (name == interpreter)
            return true;
    }
    // Versioned names: python3.11, perl5.36, lua5.4, ...
    for (const char* prefix : {"python", "perl", "lua", "ruby"}) {
        const std::string p = prefix;
        if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
            std::all_of(name.begin() + static_cast<long>(p.size()), name.end(),
                        [](char c) { return (c >= '0' && c <= '9') || c == '.'; }))
            return true;
    }
    return false;
}

std::vector<DesktopExec::Program> DesktopExec::programs(const DesktopEntry& entry)
{
    std::vector<Program> found;
    if (const auto args = split(entry.string("Exec"))) {
        std::size_t i = 0;
        // "env NAME=VALUE ... program": the program is after the assignments.
        if (BaseName((*args)[0]) == "env") {
            for (i = 1; i < args->size() && ((*args)[i][0] == '-' || IsEnvironmentAssignment((*args)[i])); ++i) {
            }
        }
        if (i < args->size()) {
            const std::string& program = (*args)[i];
            if (!isInterpreter(program)) {
                found.push_back({program, false});
            } else {
                // The script is the first argument that is not an option;
                // "-c" (inline code) leaves nothing to tell the processes by.
                for (std::size_t j = i + 1; j < args->size(); ++j) {
                    const std::string& arg = (*args)[j];
                    if (arg == "-c" || arg == "-e" || arg.empty() || arg[0] == '%')
                        break;
                    if (arg[0] != '-') {
                        found.push_back({arg, true});
                        break;
                    }
                }
            }
        }
    }
    const std::string tryExec = entry.string("TryExec");
    if (!tryExec.empty() && !isInterpreter(tryExec) &&
        std::none_of(found.begin(), found.end(), [&](const Program& p) { return p.name == tryExec; }))
        found.push_back({tryExec, false});
    return found;
}
