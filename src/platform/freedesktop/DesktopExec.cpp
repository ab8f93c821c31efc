#include "DesktopExec.h"

#include "DesktopEntry.h"

#include <algorithm>
#include <glib.h>

namespace {

std::string BaseName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsEnvironmentAssignment(const std::string& arg)
{
    const auto equals = arg.find('=');
    return equals != std::string::npos && equals > 0 && arg[0] != '-';
}

// The arguments of Exec as GIO splits them; empty when it does not parse.
std::vector<std::string> Arguments(const DesktopEntry& entry)
{
    std::vector<std::string> args;
    gchar** argv = nullptr;
    if (g_shell_parse_argv(entry.commandLine().c_str(), nullptr, &argv, nullptr)) {
        for (gchar** arg = argv; *arg != nullptr; ++arg)
            args.emplace_back(*arg);
        g_strfreev(argv);
    }
    return args;
}

} // namespace

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
    if (const std::vector<std::string> args = Arguments(entry); !args.empty()) {
        std::size_t i = 0;
        // "env NAME=VALUE ... program": the program is after the assignments.
        if (BaseName(args[0]) == "env") {
            for (i = 1; i < args.size() && (args[i][0] == '-' || IsEnvironmentAssignment(args[i])); ++i) {
            }
        }
        if (i < args.size()) {
            const std::string& program = args[i];
            if (!isInterpreter(program)) {
                found.push_back({program, false});
            } else {
                // The script is the first argument that is not an option;
                // "-c" (inline code) leaves nothing to tell the processes by.
                for (std::size_t j = i + 1; j < args.size(); ++j) {
                    const std::string& arg = args[j];
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
