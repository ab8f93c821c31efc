#include "StubTools.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

StubTools::StubTools(const std::vector<std::string>& tools)
{
    std::filesystem::create_directories(bin());
    dir.write("calls.log", "");
    for (const std::string& tool : tools)
        define(tool, "exit 0\n");
    const char* path = std::getenv("PATH");
    savedPath = path ? path : "/usr/bin:/bin";
    ::setenv("PATH", (bin() + ":" + savedPath).c_str(), 1);
}

StubTools::~StubTools()
{
    ::setenv("PATH", savedPath.c_str(), 1);
}

void StubTools::define(const std::string& tool, const std::string& scriptBody)
{
    const std::string script = "#!/bin/sh\n"
                               "line='" + tool + "'; for a in \"$@\"; do line=\"$line $a\"; done\n"
                               "printf '%s\\n' \"$line\" >> '" + dir.file("calls.log") + "'\n" + scriptBody;
    const std::string path = dir.write("bin/" + tool, script);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec);
}

std::vector<std::string> StubTools::calls() const
{
    std::vector<std::string> lines;
    std::istringstream log(TempDir::read(dir.file("calls.log")));
    // A line still being written has no newline yet: it is not a call so far.
    for (std::string line; std::getline(log, line);) {
        if (log.eof())
            break;
        lines.push_back(line);
    }
    return lines;
}
