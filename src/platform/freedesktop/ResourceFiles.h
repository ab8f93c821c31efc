#pragma once

#include <string>
#include <vector>

// The files the program ships beside itself (command scripts).
class ResourceFiles {
public:
    ResourceFiles() = delete;

    // The folders searched, in order: the one named by CORVANE_RESOURCE_DIR
    // alone when that is set; otherwise share/corvane/resources beside the
    // running program (<exe dir>/../share/corvane/resources), the
    // installation's data folder and the source tree's resources folder.
    static std::vector<std::string> folders();
    // The full path of the first regular file of that name; empty when none.
    static std::string find(const std::string& name);
};
