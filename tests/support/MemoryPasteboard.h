#pragma once

#include "Pasteboard.h"

#include <map>
#include <mutex>

// A clipboard in memory for tests: contents are set directly, each set
// counts as one change. Usable from any thread.
class MemoryPasteboard : public Pasteboard {
public:
    bool available() override;
    std::optional<std::string> text() override;
    std::vector<std::string> filePaths() override;
    std::optional<std::string> data(const std::string& mimeType) override;
    long long changeCount() override;
    void setChangeListener(std::function<void()> listener) override;

    // Replaces the contents: text (none when absent), copied files, and
    // other formats by MIME type. The listener is called on this thread.
    void set(std::optional<std::string> text, std::vector<std::string> filePaths,
             std::map<std::string, std::string> formats = {});
    // Whether there is a clipboard at all (the default: yes).
    void setAvailable(bool available);

private:
    std::mutex mutex;
    bool present = true;
    std::optional<std::string> currentText;
    std::vector<std::string> currentFiles;
    std::map<std::string, std::string> currentFormats;
    long long changes = 1;
    std::function<void()> changeListener;
};
