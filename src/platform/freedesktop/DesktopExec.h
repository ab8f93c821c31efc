#pragma once

#include <optional>
#include <string>
#include <vector>

class DesktopEntry;

// The command line of a desktop entry: its Exec key split by the quoting
// rules, with the field codes handled for a launch without files or URLs.
class DesktopExec {
public:
    DesktopExec() = delete;

    // Splits an Exec value (already string-unescaped): arguments are
    // separated by unquoted spaces; inside double quotes a backslash escapes
    // '"', '`', '$' and '\'. Empty for an unterminated quote or no argument.
    static std::optional<std::vector<std::string>> split(const std::string& exec);

    // The program and arguments to start the entry with: %f %F %u %U
    // removed (no files are passed), %i becomes "--icon" and the Icon value
    // (or nothing without one), %c the localised Name, %k the entry's file,
    // %% a '%'; the deprecated %d %D %n %N %v %m and unknown codes are
    // removed. Terminal=true runs it in x-terminal-emulator; a Path key
    // becomes the working folder. Empty when Exec is missing or malformed.
    static std::vector<std::string> launchArgv(const DesktopEntry& entry);

    // A program that identifies the entry's running processes.
    struct Program {
        std::string name;    // path or name as the entry writes it
        bool script = false; // a script that an interpreter runs
    };
    // The program of Exec (after an "env NAME=VALUE" prefix; for an
    // interpreter such as sh or python3, the script it runs) and TryExec.
    // Empty when none can be told, for instance "sh -c ...".
    static std::vector<Program> programs(const DesktopEntry& entry);

    // Whether a program name is a script interpreter (sh, bash, python3, ...)
    // whose processes are told apart by the script argument.
    static bool isInterpreter(const std::string& program);
};
