#include "UserFolders.h"

#include <QStandardPaths>
#include <pwd.h>
#include <unistd.h>
#include <vector>

std::string UserFolders::documents()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
}

std::string UserFolders::desktop()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
}

namespace {

// The password database entry of the user the program runs as. It does
// not change while the program runs, so it is read once.
struct OwnEntry {
    bool found = false;
    std::string name;
    std::string home;
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
            result.home = entry.pw_dir ? entry.pw_dir : "";
        }
        return result;
    }();
    return own;
}

} // namespace

std::string UserFolders::home()
{
    const OwnEntry& own = ReadOwnEntry();
    if (own.found && !own.home.empty())
        return own.home;
    return QStandardPaths::writableLocation(QStandardPaths::HomeLocation).toStdString();
}

std::string UserFolders::userName()
{
    return ReadOwnEntry().name;
}
