#pragma once

#include <string>

// A fresh folder under /tmp, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return root; }
    // path()/relative
    std::string file(const std::string& relative) const;
    // Writes bytes to path()/relative (creating folders) and returns the full path.
    std::string write(const std::string& relative, const std::string& bytes) const;

    static std::string read(const std::string& fullPath);

private:
    std::string root;
};
