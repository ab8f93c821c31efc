#pragma once

#include "TempDir.h"

#include <string>
#include <vector>

// Recording stand-ins for system tools (systemctl, pactl, xdg-open, ...):
// scripts of those names in a temporary folder put first in PATH. Each call
// appends one line "tool arg1 arg2 ..." to a log and exits with status 0.
// PATH comes back on destruction.
class StubTools {
public:
    explicit StubTools(const std::vector<std::string>& tools);
    ~StubTools();

    // Adds or replaces a stub with a script body of its own (after the
    // logging line).
    void define(const std::string& tool, const std::string& scriptBody);
    std::vector<std::string> calls() const;
    std::string bin() const { return dir.file("bin"); }

private:
    TempDir dir;
    std::string savedPath;
};
