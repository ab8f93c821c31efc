#include "DesktopEntry.h"

#include "Log.h"

// Before Qt's headers, whose "signals" keyword GIO uses as a field name.
#include <gio/gdesktopappinfo.h>

#include <QLibrary>
#include <sched.h>
#include <type_traits>
#include <unistd.h>

namespace {

// GIO's functions, from the library loaded when the first entry is read
// rather than linked: a server that is never asked for its applications
// does without GIO and the half-dozen libraries it brings (a megabyte
// resident, half a millisecond of every start).
struct Gio {
    decltype(&g_desktop_app_info_new_from_filename) newFromFilename = nullptr;
    decltype(&g_object_unref) objectUnref = nullptr;
    decltype(&g_desktop_app_info_get_boolean) getBoolean = nullptr;
    decltype(&g_desktop_app_info_get_is_hidden) getIsHidden = nullptr;
    decltype(&g_app_info_should_show) shouldShow = nullptr;
    decltype(&g_desktop_app_info_has_key) hasKey = nullptr;
    decltype(&g_desktop_app_info_get_string) getString = nullptr;
    decltype(&g_app_info_get_name) getName = nullptr;
    decltype(&g_app_info_get_commandline) getCommandline = nullptr;
    decltype(&g_app_info_get_icon) getIcon = nullptr;
    decltype(&g_icon_to_string) iconToString = nullptr;
    decltype(&g_desktop_app_info_launch_uris_as_manager) launchUrisAsManager = nullptr;

    bool loaded() const
    {
        return newFromFilename && objectUnref && getBoolean && getIsHidden && shouldShow && hasKey && getString &&
               getName && getCommandline && getIcon && iconToString && launchUrisAsManager;
    }
};

// Loads GIO once; the library stays loaded. Without it no entry is read.
const Gio& LoadGio()
{
    static const Gio gio = [] {
        Gio functions;
        QLibrary library(QStringLiteral("gio-2.0"), 0);
        if (!library.load()) {
            Log::Printf("GIO not loaded, no application entries: %s\n", library.errorString().toUtf8().constData());
            return functions;
        }
        const auto resolve = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
        };
        resolve(functions.newFromFilename, "g_desktop_app_info_new_from_filename");
        resolve(functions.objectUnref, "g_object_unref");
        resolve(functions.getBoolean, "g_desktop_app_info_get_boolean");
        resolve(functions.getIsHidden, "g_desktop_app_info_get_is_hidden");
        resolve(functions.shouldShow, "g_app_info_should_show");
        resolve(functions.hasKey, "g_desktop_app_info_has_key");
        resolve(functions.getString, "g_desktop_app_info_get_string");
        resolve(functions.getName, "g_app_info_get_name");
        resolve(functions.getCommandline, "g_app_info_get_commandline");
        resolve(functions.getIcon, "g_app_info_get_icon");
        resolve(functions.iconToString, "g_icon_to_string");
        resolve(functions.launchUrisAsManager, "g_desktop_app_info_launch_uris_as_manager");
        return functions;
    }();
    return gio;
}

// An entry's application interface: GDesktopAppInfo implements GAppInfo, so
// the object is its own interface (G_APP_INFO without GObject's type check).
GAppInfo* AppInfo(GDesktopAppInfo* info)
{
    return reinterpret_cast<GAppInfo*>(info);
}

// Owns a string GLib hands over.
std::string Take(gchar* text)
{
    std::string value = text != nullptr ? text : "";
    g_free(text);
    return value;
}

// Runs in the launched program before its exec: a session of its own, so it
// lives on independently of the server, and normal scheduling, so a program
// started from a live channel's real-time thread does not inherit its
// priority. (GLib resets the signals the server ignores, SIGPIPE among them.)
void PrepareChild(gpointer)
{
    ::setsid();
    const sched_param normal{};
    ::sched_setscheduler(0, SCHED_OTHER, &normal);
}

} // namespace

std::optional<DesktopEntry> DesktopEntry::load(const std::string& filePath, const std::string& id)
{
    const Gio& gio = LoadGio();
    if (!gio.loaded())
        return std::nullopt;
    GDesktopAppInfo* info = gio.newFromFilename(filePath.c_str());
    if (info == nullptr)
        return std::nullopt;
    DesktopEntry entry;
    entry.info.reset(info, gio.objectUnref);
    entry.entryId = id;
    entry.path = filePath;
    // Something to start, a command or a D-Bus service: GIO also takes
    // entries with neither, which no menu could open.
    const bool startable = !entry.commandLine().empty() || gio.getBoolean(info, "DBusActivatable");
    entry.listed = startable && entry.has("Name") && !gio.getIsHidden(info) && gio.shouldShow(AppInfo(info));
    return entry;
}

bool DesktopEntry::has(const std::string& key) const
{
    return LoadGio().hasKey(info.get(), key.c_str());
}

std::string DesktopEntry::string(const std::string& key) const
{
    return Take(LoadGio().getString(info.get(), key.c_str()));
}

std::string DesktopEntry::name() const
{
    const char* name = LoadGio().getName(AppInfo(info.get()));
    return name != nullptr ? name : "";
}

std::string DesktopEntry::commandLine() const
{
    const char* exec = LoadGio().getCommandline(AppInfo(info.get()));
    return exec != nullptr ? exec : "";
}

std::string DesktopEntry::icon() const
{
    const Gio& gio = LoadGio();
    GIcon* icon = gio.getIcon(AppInfo(info.get()));
    return icon != nullptr ? Take(gio.iconToString(icon)) : std::string();
}

bool DesktopEntry::launch() const
{
    GError* error = nullptr;
    const auto flags = static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL);
    if (LoadGio().launchUrisAsManager(info.get(), nullptr, nullptr, flags, PrepareChild, nullptr, nullptr, nullptr,
                                      &error))
        return true;
    Log::Printf("cannot start %s: %s\n", entryId.c_str(), error != nullptr ? error->message : "");
    g_clear_error(&error);
    return false;
}
