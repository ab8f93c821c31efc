#include "UserFolders.h"

#include <QStandardPaths>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

// Documents and Desktop come from the user's "user-dirs.dirs" file, which is
// costly to parse and rarely changes. The answers, and Home with them, are
// kept until HOME, XDG_CONFIG_HOME or that file change.
struct FolderCache {
    std::string key;
    UserFolders::Standard folders;
};

std::mutex folderMutex;
FolderCache folderCache;

std::string FolderKey()
{
    const char* homeVar = std::getenv("HOME");
    const char* configVar = std::getenv("XDG_CONFIG_HOME");
    const std::string home = homeVar ? homeVar : "";
    const std::string configHome = configVar && *configVar ? configVar : home + "/.config";
    std::string key = home + '\n' + configHome + '\n';
    struct stat st {};
    if (::stat((configHome + "/user-dirs.dirs").c_str(), &st) == 0)
        key += std::to_string(st.st_size) + ':' + std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec);
    return key;
}

} // namespace

UserFolders::Standard UserFolders::standard()
{
    const std::string key = FolderKey();
    std::lock_guard lock(folderMutex);
    if (folderCache.key != key) {
        folderCache.key = key;
        // From HOME, the same source as Documents and Desktop, so that the
        // three always agree (the account database may name another folder
        // than the session uses).
        const auto location = [](QStandardPaths::StandardLocation which) {
            return QStandardPaths::writableLocation(which).toStdString();
        };
        folderCache.folders = {location(QStandardPaths::HomeLocation), location(QStandardPaths::DocumentsLocation),
                               location(QStandardPaths::DesktopLocation)};
    }
    return folderCache.folders;
}

std::string UserFolders::documents()
{
    return standard().documents;
}

std::string UserFolders::desktop()
{
    return standard().desktop;
}

namespace {

// The password database entry of the user the program runs as. It does
// not change while the program runs, so it is read once.
struct OwnEntry {
    bool found = false;
    std::string name;
};

const OwnEntry& ReadOwnEntry()
{
    static const OwnEntry own = [] {
        OwnEntry result;
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> storage(16384);
        if (::getpwuid_r(::geteuid(), &entry, storage.data(), storage.size(), &found) == 0 && found != nullptr) {
            result.found = true;
            result.name = entry.pw_name ? entry.pw_name : "";
        }
        return result;
    }();
    return own;
}

} // namespace

std::string UserFolders::home()
{
    return standard().home;
}

std::string UserFolders::userName()
{
    return ReadOwnEntry().name;
}
