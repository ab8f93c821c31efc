#include "UserSandbox.h"

#include <cstdlib>
#include <filesystem>

UserSandbox::UserSandbox()
{
    for (const char* folder : {"home/Documents", "home/Desktop", "config", "data", "cache", "runtime"})
        std::filesystem::create_directories(dir.file(folder));
    std::filesystem::permissions(dir.file("runtime"), std::filesystem::perms::owner_all);
    dir.write("config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n");
    set("HOME", home());
    set("XDG_CONFIG_HOME", configHome());
    set("XDG_DATA_HOME", dataHome());
    set("XDG_CACHE_HOME", dir.file("cache"));
    set("XDG_RUNTIME_DIR", dir.file("runtime"));
    // No session bus (a SessionBus of the test's own may enter later): the
    // user's own session never hears of a test, and GLib does not start one.
    set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.file("runtime/bus"));
    // HTTP goes straight to the test's loopback servers, past any proxy.
    set("no_proxy", "*");
    set("NO_PROXY", "*");
}

UserSandbox::~UserSandbox()
{
    for (const auto& [name, value] : saved) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}

void UserSandbox::set(const std::string& name, const std::string& value)
{
    if (!saved.count(name)) {
        const char* old = std::getenv(name.c_str());
        saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    ::setenv(name.c_str(), value.c_str(), 1);
}
