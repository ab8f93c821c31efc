#include "SessionBus.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <gio/gio.h>
#include <thread>
#include <unistd.h>

SessionBus::SessionBus(uid_t uid, gid_t gid)
{
    char pattern[] = "/tmp/corvane-session-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        throw std::runtime_error("cannot make a runtime folder");
    runtime = pattern;
    if (::chown(runtime.c_str(), uid, gid) != 0 || ::chmod(runtime.c_str(), 0700) != 0)
        throw std::runtime_error("cannot hand the runtime folder to its user");

    const std::string socket = "unix:path=" + runtime + "/bus";
    std::vector<std::string> argv{"dbus-daemon", "--session", "--nofork", "--nosyslog", "--print-address",
                                  "--address=" + socket};
    if (uid != ::getuid())
        argv.insert(argv.begin(), {"setpriv", "--reuid=" + std::to_string(uid), "--regid=" + std::to_string(gid),
                                   "--clear-groups"});
    bus.emplace(argv, ChildProcess::Options{.out = ChildProcess::Stream::Collect,
                                            .err = ChildProcess::Stream::Discard,
                                            .environment = {"XDG_RUNTIME_DIR=" + runtime}});
    if (bus->started() && bus->waitForOutput("\n", 10000))
        address = bus->output().substr(0, bus->output().find('\n'));
}

SessionBus::~SessionBus()
{
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
        if (it->second)
            ::setenv(it->first.c_str(), it->second->c_str(), 1);
        else
            ::unsetenv(it->first.c_str());
    }
    bus.reset();
    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);
}

std::vector<std::string> SessionBus::environment() const
{
    return {"XDG_RUNTIME_DIR=" + runtime, "DBUS_SESSION_BUS_ADDRESS=" + address};
}

void SessionBus::enter(const std::vector<std::string>& extra)
{
    std::vector<std::string> variables = environment();
    variables.insert(variables.end(), extra.begin(), extra.end());
    for (const std::string& entry : variables) {
        const std::string name = entry.substr(0, entry.find('='));
        const char* old = std::getenv(name.c_str());
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name.c_str(), entry.c_str() + name.size() + 1, 1);
    }
}

bool SessionBus::waitForName(const std::string& name, int timeoutMs) const
{
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (connection == nullptr)
        return false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    gboolean owned = FALSE;
    while (!owned && std::chrono::steady_clock::now() < end) {
        GVariant* reply = g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                      "org.freedesktop.DBus", "NameHasOwner",
                                                      g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(b)"),
                                                      G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
        if (reply != nullptr) {
            g_variant_get(reply, "(b)", &owned);
            g_variant_unref(reply);
        }
        if (!owned)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    g_object_unref(connection);
    return owned;
}
