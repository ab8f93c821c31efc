#pragma once

#include "FileRecord.h"

// Reads what a file entry record says about one directory entry from the
// file system: directory flag, size and times.
class FileAttributes {
public:
    FileAttributes() = delete;

    // Fills isDirectory, size, created and modified of info for the entry
    // name relative to the open folder dirFd (AT_FDCWD for a path). The
    // entry itself is described, not the target of a symbolic link, except
    // for the directory flag, which follows links (a link to a folder counts
    // as a folder, a dangling link does not). Attributes that cannot be read
    // stay 0. created is the birth time where the file system records it,
    // else the modification time.
    static void Read(int dirFd, const char* name, FileEntryInfo& info);
};
