#include "FileAttributes.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

double Seconds(const statx_timestamp& time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

bool FollowsToDirectory(int dirFd, const char* name)
{
    struct stat target {};
    return ::fstatat(dirFd, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
}

} // namespace

void FileAttributes::Read(int dirFd, const char* name, FileEntryInfo& info)
{
    struct statx entry {};
    const unsigned wanted = STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME;
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, wanted, &entry) != 0) {
        info.isDirectory = FollowsToDirectory(dirFd, name);
        info.size = 0;
        info.created = 0;
        info.modified = 0;
        return;
    }
    if (S_ISLNK(entry.stx_mode))
        info.isDirectory = FollowsToDirectory(dirFd, name);
    else
        info.isDirectory = S_ISDIR(entry.stx_mode);
    info.size = (entry.stx_mask & STATX_SIZE) ? entry.stx_size : 0;
    info.modified = (entry.stx_mask & STATX_MTIME) ? Seconds(entry.stx_mtime) : 0;
    info.created = (entry.stx_mask & STATX_BTIME) ? Seconds(entry.stx_btime) : info.modified;
}
