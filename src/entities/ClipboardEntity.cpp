#include "ClipboardEntity.h"

#include "CData.h"
#include "FileAttributes.h"
#include "FileRecord.h"
#include "Log.h"
#include "MainQueue.h"
#include "Pasteboard.h"
#include "SConfig.h"

#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <string>
#include <vector>

namespace {

// What the replies need from the clipboard, read in one visit to the main
// thread, where the clipboard lives.
struct ClipboardSnapshot {
    bool available = false;
    std::optional<std::string> text;
    std::vector<std::string> filePaths;
};

ClipboardSnapshot ReadClipboard(bool withFiles)
{
    ClipboardSnapshot snapshot;
    MainQueue::instance().sync([&] {
        Pasteboard& pasteboard = Pasteboard::instance();
        snapshot.available = pasteboard.available();
        if (!snapshot.available)
            return;
        snapshot.text = pasteboard.text();
        if (withFiles)
            snapshot.filePaths = pasteboard.filePaths();
    });
    return snapshot;
}

// The last component of a path, trailing slashes ignored ("/a/b/" → "b").
std::string LastComponent(const std::string& path)
{
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == '/')
        --end;
    const std::size_t slash = path.rfind('/', end - 1);
    if (slash == std::string::npos)
        return path.substr(0, end);
    if (slash == 0 && end == 1)
        return "/";
    return path.substr(slash + 1, end - slash - 1);
}

void SetText(CData* reply, const std::string& text)
{
    reply->SetData(text.data(), static_cast<long long>(text.size()));
}

} // namespace

void ClipboardEntity::GetData(CData* reply)
{
    const ClipboardSnapshot clipboard = ReadClipboard(false);
    if (!clipboard.text) {
        SetText(reply, "0");
        return;
    }
    SetText(reply, "1" + std::string(SConfig::kFieldSep) + *clipboard.text);
}

void ClipboardEntity::GetRichData(CData* reply)
{
    const ClipboardSnapshot clipboard = ReadClipboard(true);
    if (!clipboard.available)
        return;
    std::string rich;
    // The files are examined here, on the connection thread: a slow file
    // system must not hold up the main thread.
    for (const std::string& path : clipboard.filePaths) {
        Log::Printf("文件路径===>%s\n", path.c_str());
        FileEntryInfo info;
        info.name = LastComponent(path);
        info.displayName = info.name;
        FileAttributes::Read(AT_FDCWD, path.c_str(), info);
        FileRecord::AppendClipboardEntry(rich, info, path);
    }
    rich += SConfig::kSectionEnd;
    if (clipboard.text)
        rich += *clipboard.text;
    SetText(reply, rich);
}
