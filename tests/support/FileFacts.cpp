#include "FileFacts.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

std::string FileFacts::sixDecimals(long long seconds, long nanoseconds)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(seconds) + static_cast<double>(nanoseconds) / 1e9);
    return text;
}

std::string FileFacts::modified(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return "0.000000";
    return sixDecimals(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

std::string FileFacts::created(const std::string& path)
{
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME))
        return sixDecimals(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    return modified(path);
}

unsigned long long FileFacts::size(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return 0;
    return static_cast<unsigned long long>(st.st_size);
}
