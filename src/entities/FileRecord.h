#pragma once

#include <cstdint>
#include <string>

// One directory entry as the phone shows it: the file entry record of the
// listing, the application catalogue and the rich clipboard reply.
struct FileEntryInfo {
    bool hidden = false;
    std::string displayName;
    std::string name;
    bool isDirectory = false;
    std::uint64_t size = 0;
    double created = 0;      // seconds since 1970
    double modified = 0;     // seconds since 1970
    bool runningApp = false; // a directory that is the bundle of a running application
};

// Writes file entry records. Fields are joined by "^%_"; nothing is escaped.
// Names and paths go as wirePath gives them, so a record is always UTF-8.
class FileRecord {
public:
    FileRecord() = delete;

    // "0^%_2^%_hidden^%_display^%_name^%_isdir^%_size^%_created^%_modified^%_running^_7"
    static void AppendEntry(std::string& out, const FileEntryInfo& info);
    // The ten fields each followed by "^%_", then the full path and "^_7".
    static void AppendClipboardEntry(std::string& out, const FileEntryInfo& info, const std::string& path);
};
