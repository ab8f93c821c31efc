#include "DesktopEntry.h"

#include "Log.h"

#include <gio/gdesktopappinfo.h>
#include <sched.h>
#include <unistd.h>

namespace {

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
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(filePath.c_str());
    if (info == nullptr)
        return std::nullopt;
    DesktopEntry entry;
    entry.info.reset(info, g_object_unref);
    entry.entryId = id;
    entry.path = filePath;
    // Something to start, a command or a D-Bus service: GIO also takes
    // entries with neither, which no menu could open.
    const bool startable = !entry.commandLine().empty() || g_desktop_app_info_get_boolean(info, "DBusActivatable");
    entry.listed = startable && entry.has("Name") && !g_desktop_app_info_get_is_hidden(info) &&
                   g_app_info_should_show(G_APP_INFO(info));
    return entry;
}

bool DesktopEntry::has(const std::string& key) const
{
    return g_desktop_app_info_has_key(info.get(), key.c_str());
}

std::string DesktopEntry::string(const std::string& key) const
{
    return Take(g_desktop_app_info_get_string(info.get(), key.c_str()));
}

std::string DesktopEntry::name() const
{
    const char* name = g_app_info_get_name(G_APP_INFO(info.get()));
    return name != nullptr ? name : "";
}

std::string DesktopEntry::commandLine() const
{
    const char* exec = g_app_info_get_commandline(G_APP_INFO(info.get()));
    return exec != nullptr ? exec : "";
}

std::string DesktopEntry::icon() const
{
    GIcon* icon = g_app_info_get_icon(G_APP_INFO(info.get()));
    return icon != nullptr ? Take(g_icon_to_string(icon)) : std::string();
}

bool DesktopEntry::launch() const
{
    GError* error = nullptr;
    const auto flags = static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL);
    if (g_desktop_app_info_launch_uris_as_manager(info.get(), nullptr, nullptr, flags, PrepareChild, nullptr, nullptr,
                                                  nullptr, &error))
        return true;
    Log::Printf("cannot start %s: %s\n", entryId.c_str(), error != nullptr ? error->message : "");
    g_clear_error(&error);
    return false;
}
