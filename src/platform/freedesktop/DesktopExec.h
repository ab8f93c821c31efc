#pragma once

#include <string>
#include <vector>

class DesktopEntry;

// What the command line of a desktop entry says about the processes it
// starts, for telling them apart among the running ones.
class DesktopExec {
public:
    DesktopExec() = delete;

    // A program that identifies the entry's running processes.
    struct Program {
        std::string name;    // path or name as the entry writes it
        bool script = false; // a script that an interpreter runs
    };
    // The program of Exec, split by the shell quoting rules that GIO
    // launches it with (after an "env NAME=VALUE" prefix; for an interpreter
    // such as sh or python3, the script it runs) and TryExec. Empty when
    // none can be told, for instance "sh -c ...".
    static std::vector<Program> programs(const DesktopEntry& entry);

    // Whether a program name is a script interpreter (sh, bash, python3, ...)
    // whose processes are told apart by the script argument.
    static bool isInterpreter(const std::string& program);
};
