#include "FileEntity.h"

#include "AppEntity.h"
#include "CData.h"
#include "DesktopModule.h"
#include "FileAttributes.h"
#include "FileRecord.h"
#include "Log.h"
#include "ProcessRunner.h"
#include "SCommon.h"
#include "SConfig.h"
#include "UserFolders.h"

#include <QString>
#include <QUrl>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace {

// Files of this size or more always get their icon; they are never decoded.
constexpr long long kThumbnailLimit = 10LL * 1024 * 1024;

void SetText(CData* reply, const std::string& text)
{
    reply->SetData(text.data(), static_cast<long long>(text.size()));
}

// The names the folder's ".hidden" file lists, one per line: the file
// managers' way of hiding entries that do not start with a dot.
std::unordered_set<std::string> ReadHiddenNames(int dirFd)
{
    std::unordered_set<std::string> names;
    const int fd = ::openat(dirFd, ".hidden", O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return names;
    struct stat st {};
    // A list of names is small; anything else is not such a list.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 1024 * 1024) {
        ::close(fd);
        return names;
    }
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t have = 0;
    while (have < text.size()) {
        const ssize_t got = ::read(fd, text.data() + have, text.size() - have);
        if (got <= 0)
            break;
        have += static_cast<std::size_t>(got);
    }
    ::close(fd);
    text.resize(have);
    for (const std::string& line : split(text, "\n"))
        names.insert(line);
    return names;
}

// Appends one record per entry of the folder, in the order the file system
// lists them. A folder that cannot be opened adds nothing.
void AppendFolderEntries(const std::string& folder, std::string& listing)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    const int dirFd = ::dirfd(dir);
    const std::unordered_set<std::string> hiddenNames = ReadHiddenNames(dirFd);
    FileEntryInfo info;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        info.name = name;
        info.displayName = info.name;
        info.hidden = name[0] == '.' || hiddenNames.count(info.name) != 0;
        FileAttributes::Read(dirFd, name, info);
        info.runningApp = false;
        FileRecord::AppendEntry(listing, info);
    }
    ::closedir(dir);
}

// Starts the desktop's opener for a URL or file; it outlives the request.
void OpenWithDesktop(const std::string& target)
{
    ProcessRunner::spawnDetached({"xdg-open", target});
}

} // namespace

void FileEntity::GetFileList(const char* path, CData* reply)
{
    const std::string folder = (path == nullptr || *path == '\0') ? std::string("/") : std::string(path);
    // "/Applications" is the application catalogue unless a real folder of
    // that name exists.
    if (AppEntity::ListVirtualFolder(folder.c_str(), reply))
        return;
    std::string listing = wirePath(folder) + SConfig::kFieldSep;
    AppendFolderEntries(folder, listing);
    SetText(reply, listing);
}

void FileEntity::GetFile(const char* path, CData* reply)
{
    reply->SetDataByFilePath(path);
}

// Opens the URL with the user's default handler. Text that is not a URL with
// a scheme opens nothing (and so can never pass as an option to the opener).
void FileEntity::OpenURL(const char* url, CData*)
{
    if (url == nullptr)
        return;
    const QUrl parsed(QString::fromUtf8(url), QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme().isEmpty())
        return;
    OpenWithDesktop(url);
}

void FileEntity::CreateFloder(const char* path, CData* reply)
{
    reply->SetData(path != nullptr && createFolders(path) ? "1" : "0");
}

void FileEntity::OpenFile(const char* path, CData*)
{
    if (path == nullptr || *path == '\0')
        return;
    // A relative name starting with "-" must not read as an option.
    const std::string file = path[0] == '-' ? std::string("./") + path : std::string(path);
    OpenWithDesktop(file);
}

void FileEntity::GetFileShowInfo(const char*, CData*) {}

void FileEntity::GetFileIcon(const char* path, CData* reply)
{
    const std::string file = path ? path : "";
    // An application of the catalogue shows its own icon.
    if (AppEntity::IconForPath(file.c_str(), reply))
        return;
    struct stat st {};
    const bool exists = ::stat(file.c_str(), &st) == 0;
    const long long size = exists ? static_cast<long long>(st.st_size) : 0;
    Log::Printf("%lld\n", size);
    std::string picture;
    // Only regular files are read: a pipe or device would block or never end.
    if (exists && S_ISREG(st.st_mode) && size < kThumbnailLimit)
        picture = DesktopModule::instance().thumbnailJpeg(file);
    if (picture.empty())
        picture = DesktopModule::instance().iconPngForFile(file);
    SetText(reply, picture);
}

void FileEntity::GetScreenShotFile(CData* reply)
{
    // Minimal and freshly made accounts often have no desktop folder yet.
    const std::string desktop = UserFolders::desktop();
    createFolders(desktop);
    const std::string path = desktop + "/screenshot.png";
    if (!DesktopModule::instance().saveScreenshot(path)) {
        Log::Printf("Failed to write image to %s\n", path.c_str());
        // What a missing file gets: size -1 and no bytes, rather than an
        // earlier capture passed off as this one.
        reply->size = -1;
        return;
    }
    GetFile(path.c_str(), reply);
}
