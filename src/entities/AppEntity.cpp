#include "AppEntity.h"

#include "WindowControl.h"
#include "CData.h"
#include "DesktopModule.h"
#include "FileAttributes.h"
#include "DesktopCatalogue.h"
#include "FileRecord.h"
#include "Log.h"
#include "ProcessTable.h"
#include "RunningApps.h"
#include "SConfig.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace {

const std::string kFolder = "/Applications";
const std::string kExtension = ".app";

bool RealFolderExists()
{
    struct stat info {};
    return ::stat(kFolder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The entry id of "/Applications/<id>.app"; empty for any other path.
std::string EntryId(const char* path)
{
    if (path == nullptr)
        return {};
    const std::string text = path;
    const std::string prefix = kFolder + "/";
    if (text.size() <= prefix.size() + kExtension.size() || text.compare(0, prefix.size(), prefix) != 0 ||
        text.compare(text.size() - kExtension.size(), kExtension.size(), kExtension) != 0)
        return {};
    const std::string id = text.substr(prefix.size(), text.size() - prefix.size() - kExtension.size());
    return id.find('/') == std::string::npos ? id : std::string();
}

std::optional<DesktopEntry> EntryOf(const char* path)
{
    const std::string id = EntryId(path);
    if (id.empty())
        return std::nullopt;
    return DesktopCatalogue::find(id);
}

std::string Listing()
{
    const RunningApps running;
    std::string text = kFolder + SConfig::kFieldSep;
    for (const DesktopEntry& entry : DesktopCatalogue::applications()) {
        FileEntryInfo info;
        info.displayName = entry.name();
        info.name = entry.id() + kExtension;
        FileAttributes::Read(AT_FDCWD, entry.filePath().c_str(), info);
        info.isDirectory = true; // an application shows as a bundle folder
        info.runningApp = running.running(entry);
        if (info.runningApp) {
            Log::Printf("=============>%s/%s\n", kFolder.c_str(), info.name.c_str());
        }
        FileRecord::AppendEntry(text, info);
    }
    return text;
}

// Starts the entry, or brings the window of its first running instance
// that has one to the front.
void OpenOrActivate(const char* path)
{
    const std::optional<DesktopEntry> entry = EntryOf(path);
    if (!entry)
        return;
    const RunningApps running;
    std::vector<pid_t> owners;
    for (const ProcessInfo& instance : running.instances(*entry))
        owners.push_back(instance.pid);
    if (owners.empty())
        owners.push_back(0); // windows that name the entry without an owner
    for (const pid_t owner : owners) {
        const std::vector<ClientWindow> windows = running.windowsOf(*entry, owner);
        if (!windows.empty()) {
            WindowControl::instance().activate(windows.back().id);
            return;
        }
    }
    entry->launch();
}

// Signals the process if it is still the one that was seen (not a new
// process that took over its pid since).
void SignalInstance(const ProcessInfo& instance, int signal)
{
    const std::optional<ProcessInfo> now = ProcessTable::read(instance.pid);
    if (now && now->startTicks == instance.startTicks)
        ::kill(instance.pid, signal);
}

} // namespace

void AppEntity::GetAppList(CData* reply)
{
    const std::string text = Listing();
    if (reply != nullptr)
        reply->SetData(text.data(), static_cast<long long>(text.size()));
}

bool AppEntity::ListVirtualFolder(const char* path, CData* reply)
{
    if (path == nullptr || kFolder != path || RealFolderExists())
        return false;
    GetAppList(reply);
    return true;
}

bool AppEntity::IconForPath(const char* path, CData* reply)
{
    if (RealFolderExists())
        return false;
    const std::optional<DesktopEntry> entry = EntryOf(path);
    if (!entry)
        return false;
    std::string png = DesktopModule::instance().iconPng(entry->icon());
    if (png.empty())
        png = DesktopModule::instance().genericIconPng();
    if (reply != nullptr)
        reply->SetData(png.data(), static_cast<long long>(png.size()));
    return true;
}

void AppEntity::OpenApp(const char* path, CData*)
{
    OpenOrActivate(path);
}

void AppEntity::ActiviteApp(const char* path, CData*)
{
    OpenOrActivate(path);
}

void AppEntity::ExitApp(const char* path, CData*)
{
    const std::optional<DesktopEntry> entry = EntryOf(path);
    if (!entry)
        return;
    const RunningApps running;
    const std::vector<ProcessInfo> instances = running.instances(*entry);
    // Each window is asked to close as by its close button, so the
    // application may ask to save; a process without a window gets SIGTERM.
    bool asked = false;
    for (const ClientWindow& window : running.windowsOf(*entry, instances.empty() ? 0 : instances.front().pid))
        asked = WindowControl::instance().close(window.id) || asked;
    if (!asked && !instances.empty())
        SignalInstance(instances.front(), SIGTERM);
}

void AppEntity::CloseApp(const char* path, CData*)
{
    const std::optional<DesktopEntry> entry = EntryOf(path);
    if (!entry)
        return;
    const RunningApps running;
    const std::vector<ProcessInfo> instances = running.instances(*entry);
    if (!instances.empty())
        SignalInstance(instances.front(), SIGKILL);
}
