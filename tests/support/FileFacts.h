#pragma once

#include <string>

// What the file system says about one entry, in the text forms of the file
// entry record, for tests that build the records they expect.
class FileFacts {
public:
    FileFacts() = delete;

    // "%f" of seconds and nanoseconds since 1970.
    static std::string sixDecimals(long long seconds, long nanoseconds);
    // The modification time of the entry itself (links not followed).
    static std::string modified(const std::string& path);
    // The birth time where the file system keeps one, else the modification time.
    static std::string created(const std::string& path);
    // The entry's own size (links not followed).
    static unsigned long long size(const std::string& path);
};
