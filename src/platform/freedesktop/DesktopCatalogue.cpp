#include "DesktopCatalogue.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <glib.h>
#include <map>
#include <mutex>
#include <set>
#include <strings.h>
#include <sys/stat.h>

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

// What identifies one version of a file: a rewrite or a replacement changes
// its change time, and usually its size or inode too.
struct FileVersion {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileVersion& other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

// The languages GIO reads localised keys for, which it fixes when it reads a file.
std::string Languages()
{
    std::string languages;
    for (const gchar* const* name = g_get_language_names(); *name != nullptr; ++name)
        languages += std::string(*name) + ":";
    return languages;
}

// The entries a listing read before. GIO takes some tens of microseconds to
// read one entry, many times what the rest of a listing spends on it, so a
// listing reads again only the files that changed since (or all of them
// when the language changed). Entries GIO refused are read again each
// time: installing their TryExec program changes nothing in their file.
struct Remembered {
    FileVersion version;
    std::string languages;
    DesktopEntry entry;
};
std::mutex rememberedMutex;
std::map<std::string, Remembered> remembered; // by file

std::optional<DesktopEntry> Read(const std::string& file, const std::string& id, const std::string& languages)
{
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0)
        return std::nullopt;
    const FileVersion version{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
    {
        std::lock_guard lock(rememberedMutex);
        const auto found = remembered.find(file);
        if (found != remembered.end() && found->second.version == version && found->second.languages == languages &&
            found->second.entry.id() == id)
            return found->second.entry;
    }
    std::optional<DesktopEntry> entry = DesktopEntry::load(file, id);
    std::lock_guard lock(rememberedMutex);
    if (entry)
        remembered.insert_or_assign(file, Remembered{version, languages, *entry});
    else
        remembered.erase(file);
    return entry;
}

// Forgets the files a complete listing did not meet.
void ForgetAllBut(const std::set<std::string>& files)
{
    std::lock_guard lock(rememberedMutex);
    for (auto it = remembered.begin(); it != remembered.end();)
        it = files.count(it->first) != 0 ? std::next(it) : remembered.erase(it);
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
    gchar* found = program.empty() ? nullptr : g_find_program_in_path(program.c_str());
    const std::string path = found != nullptr ? found : "";
    g_free(found);
    return path;
}

std::vector<DesktopEntry> DesktopCatalogue::applications()
{
    const std::string languages = Languages();
    std::set<std::string> seen;
    std::set<std::string> read;
    std::vector<DesktopEntry> entries;
    for (const std::string& folder : folders()) {
        std::vector<std::pair<std::string, std::string>> files;
        Collect(folder, files);
        for (const auto& [id, file] : files) {
            // The first folder's entry decides, whether it is shown or not.
            if (!seen.insert(id).second)
                continue;
            read.insert(file);
            std::optional<DesktopEntry> entry = Read(file, id, languages);
            if (entry && entry->shown())
                entries.push_back(std::move(*entry));
        }
    }
    ForgetAllBut(read);
    // Sorted by the name the user sees, then by id for equal names.
    std::vector<std::pair<std::string, std::size_t>> order;
    for (std::size_t i = 0; i < entries.size(); ++i)
        order.emplace_back(entries[i].name(), i);
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
            if (entry && entry->shown())
                return entry;
            return std::nullopt;
        }
    }
    return std::nullopt;
}
