#include "MemoryPasteboard.h"

bool MemoryPasteboard::available()
{
    std::lock_guard lock(mutex);
    return present;
}

std::optional<std::string> MemoryPasteboard::text()
{
    std::lock_guard lock(mutex);
    return present ? currentText : std::nullopt;
}

std::vector<std::string> MemoryPasteboard::filePaths()
{
    std::lock_guard lock(mutex);
    return present ? currentFiles : std::vector<std::string>();
}

std::optional<std::string> MemoryPasteboard::data(const std::string& mimeType)
{
    std::lock_guard lock(mutex);
    const auto found = currentFormats.find(mimeType);
    if (!present || found == currentFormats.end())
        return std::nullopt;
    return found->second;
}

long long MemoryPasteboard::changeCount()
{
    std::lock_guard lock(mutex);
    return present ? changes : 0;
}

void MemoryPasteboard::setChangeListener(std::function<void()> listener)
{
    std::lock_guard lock(mutex);
    changeListener = std::move(listener);
}

void MemoryPasteboard::set(std::optional<std::string> text, std::vector<std::string> filePaths,
                           std::map<std::string, std::string> formats)
{
    std::function<void()> listener;
    {
        std::lock_guard lock(mutex);
        currentText = std::move(text);
        currentFiles = std::move(filePaths);
        currentFormats = std::move(formats);
        ++changes;
        listener = changeListener;
    }
    if (listener)
        listener();
}

void MemoryPasteboard::setAvailable(bool available)
{
    std::lock_guard lock(mutex);
    present = available;
}
