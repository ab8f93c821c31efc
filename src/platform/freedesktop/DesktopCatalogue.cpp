#include "DesktopCatalogue.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <strings.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> SplitColons(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto colon = text.find(':', start);
        const std::string part = text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!part.empty())
            parts.push_back(part);
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return parts;
}

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool ShownOnThisDesktop(const DesktopEntry& entry)
{
    const std::vector<std::string> desktops = SplitColons(Environment("XDG_CURRENT_DESKTOP"));
    const auto named = [&](const std::vector<std::string>& list) {
        for (const std::string& desktop : desktops) {
            if (std::find(list.begin(), list.end(), desktop) != list.end())
                return true;
        }
        return false;
    };
    if (entry.has("OnlyShowIn") && !named(entry.list("OnlyShowIn")))
        return false;
    return !named(entry.list("NotShowIn"));
}

// Entry ids of the .desktop files below folder: the relative path with '/'
// turned into '-' and without the extension, with their files.
void Collect(const std::string& folder, std::vector<std::pair<std::string, std::string>>& out)
{
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied, error);
    if (error)
        return;
    for (const fs::recursive_directory_iterator end; walk != end; walk.increment(error)) {
        if (error)
            break;
        const fs::path& file = walk->path();
        if (file.extension() != ".desktop" || !walk->is_regular_file(error))
            continue;
        std::string id = file.lexically_relative(folder).string();
        id.erase(id.size() - std::string(".desktop").size());
        std::replace(id.begin(), id.end(), '/', '-');
        out.emplace_back(id, file.string());
    }
}

} // namespace

std::vector<std::string> DesktopCatalogue::folders()
{
    std::string dataHome = Environment("XDG_DATA_HOME");
    if (dataHome.empty() || dataHome[0] != '/')
        dataHome = Environment("HOME") + "/.local/share";
    std::string dataDirs = Environment("XDG_DATA_DIRS");
    if (dataDirs.empty())
        dataDirs = "/usr/local/share:/usr/share";
    std::vector<std::string> result{dataHome + "/applications"};
    for (const std::string& dir : SplitColons(dataDirs)) {
        // Relative entries are invalid and ignored.
        if (dir[0] != '/')
            continue;
        const std::string folder = dir + "/applications";
        if (std::find(result.begin(), result.end(), folder) == result.end())
            result.push_back(folder);
    }
    return result;
}

std::string DesktopCatalogue::findProgram(const std::string& program)
{
    if (program.empty())
        return {};
    if (program.find('/') != std::string::npos)
        return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
    for (const std::string& dir : SplitColons(Environment("PATH"))) {
        const std::string candidate = dir + "/" + program;
        std::error_code error;
        if (::access(candidate.c_str(), X_OK) == 0 && !fs::is_directory(candidate, error))
            return candidate;
    }
    return {};
}

bool DesktopCatalogue::shown(const DesktopEntry& entry)
{
    if (entry.string("Type") != "Application")
        return false;
    if (entry.boolean("Hidden") || entry.boolean("NoDisplay"))
        return false;
    if (entry.string("Exec").empty() || entry.string("Name").empty())
        return false;
    if (!ShownOnThisDesktop(entry))
        return false;
    const std::string tryExec = entry.string("TryExec");
    return tryExec.empty() || !findProgram(tryExec).empty();
}

std::vector<DesktopEntry> DesktopCatalogue::applications()
{
    std::set<std::string> seen;
    std::vector<DesktopEntry> entries;
    for (const std::string& folder : folders()) {
        std::vector<std::pair<std::string, std::string>> files;
        Collect(folder, files);
        for (const auto& [id, file] : files) {
            // The first folder's entry decides, whether it is shown or not.
            if (!seen.insert(id).second)
                continue;
            std::optional<DesktopEntry> entry = DesktopEntry::load(file, id);
            if (entry && shown(*entry))
                entries.push_back(std::move(*entry));
        }
    }
    // Sorted by the name the user sees, then by id for equal names.
    std::vector<std::pair<std::string, std::size_t>> order;
    for (std::size_t i = 0; i < entries.size(); ++i)
        order.emplace_back(entries[i].localeString("Name"), i);
    std::sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
        const int byName = ::strcasecmp(a.first.c_str(), b.first.c_str());
        if (byName != 0)
            return byName < 0;
        return entries[a.second].id() < entries[b.second].id();
    });
    std::vector<DesktopEntry> sorted;
    sorted.reserve(entries.size());
    for (const auto& [name, index] : order)
        sorted.push_back(std::move(entries[index]));
    return sorted;
}

std::optional<DesktopEntry> DesktopCatalogue::find(const std::string& id)
{
    // Only the file that decides for this id is read.
    for (const std::string& folder : folders()) {
        std::vector<std::pair<std::string, std::string>> files;
        Collect(folder, files);
        for (const auto& [fileId, file] : files) {
            if (fileId != id)
                continue;
            std::optional<DesktopEntry> entry = DesktopEntry::load(file, id);
            if (entry && shown(*entry))
                return entry;
            return std::nullopt;
        }
    }
    return std::nullopt;
}
