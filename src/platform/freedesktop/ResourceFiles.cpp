#include "ResourceFiles.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

std::vector<std::string> ResourceFiles::folders()
{
    const char* chosen = std::getenv("CORVANE_RESOURCE_DIR");
    if (chosen != nullptr && *chosen != 0)
        return {chosen};
    std::vector<std::string> result;
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (!error)
        result.push_back((exe.parent_path().parent_path() / "share/corvane/resources").lexically_normal().string());
    for (const std::string& folder : {std::string(CORVANE_INSTALL_DATADIR "/resources"),
                                     std::string(CORVANE_SOURCE_DIR "/resources")}) {
        if (std::find(result.begin(), result.end(), folder) == result.end())
            result.push_back(folder);
    }
    return result;
}

std::string ResourceFiles::find(const std::string& name)
{
    // Only plain names: nothing outside the resource folders.
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return {};
    for (const std::string& folder : folders()) {
        const fs::path candidate = fs::path(folder) / name;
        std::error_code error;
        if (fs::is_regular_file(candidate, error))
            return candidate.string();
    }
    return {};
}
