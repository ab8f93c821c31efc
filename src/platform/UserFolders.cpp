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

// The password database entry of the effective user, read reentrantly.
static bool ReadOwnEntry(passwd& entry, std::vector<char>& storage)
{
    passwd* found = nullptr;
    storage.resize(16384);
    return ::getpwuid_r(::geteuid(), &entry, storage.data(), storage.size(), &found) == 0 && found != nullptr;
}

std::string UserFolders::home()
{
    passwd entry{};
    std::vector<char> storage;
    if (ReadOwnEntry(entry, storage) && entry.pw_dir)
        return entry.pw_dir;
    return QStandardPaths::writableLocation(QStandardPaths::HomeLocation).toStdString();
}

std::string UserFolders::userName()
{
    passwd entry{};
    std::vector<char> storage;
    if (ReadOwnEntry(entry, storage) && entry.pw_name)
        return entry.pw_name;
    return {};
}
