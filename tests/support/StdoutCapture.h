#pragma once

#include <string>
#include <vector>

// Standard output sent to a file while it lives, so a test can read the
// program's log lines.
class StdoutCapture {
public:
    explicit StdoutCapture(std::string path);
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // The non-empty lines written so far, without their line ends.
    std::vector<std::string> lines() const;

private:
    std::string file;
    int saved;
};
