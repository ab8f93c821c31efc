#include "GnomeRemoteDesktop.h"

#include "Log.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kMutterRemoteDesktop = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* kMutterScreenCast = "org.gnome.Mutter.ScreenCast";
constexpr const char* kSessionInterface = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr int kCallTimeoutMs = 5000;
// The consent dialog waits for the user.
constexpr int kPortalTimeoutMs = 180000;
// After the first key and pointer calls mutter needs a moment before the new
// devices deliver events; a key sent earlier is lost.
constexpr std::chrono::milliseconds kPrimeWait{150};
constexpr std::uint32_t kShiftL = 0xffe1;

// A D-Bus error as one line, and the error freed.
std::string Describe(GError* error)
{
    std::string text = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

bool IsAccessDenied(const GError* error)
{
    return error != nullptr && (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED) ||
                                g_error_matches(error, G_IO_ERROR, G_IO_ERROR_PERMISSION_DENIED) ||
                                g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_AUTH_FAILED));
}

// The file that keeps the portal's restore token, so that its consent
// dialog is shown once rather than at every start.
std::string RestoreTokenFile()
{
    return std::string(g_get_user_config_dir()) + "/corvane/portal-restore-token";
}

std::string ReadRestoreToken()
{
    std::ifstream file(RestoreTokenFile());
    std::string token;
    std::getline(file, token);
    return token;
}

void WriteRestoreToken(const std::string& token)
{
    const std::string path = RestoreTokenFile();
    g_mkdir_with_parents((std::string(g_get_user_config_dir()) + "/corvane").c_str(), 0700);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string line = token + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    if (!written)
        ::unlink(path.c_str());
}

GVariant* StringList(const std::vector<std::string>& strings)
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("as"));
    for (const std::string& s : strings)
        g_variant_builder_add(&builder, "s", s.c_str());
    return g_variant_builder_end(&builder);
}

std::vector<std::string> Strings(GVariant* list)
{
    std::vector<std::string> strings;
    if (list == nullptr)
        return strings;
    GVariantIter iter;
    const char* s = nullptr;
    g_variant_iter_init(&iter, list);
    while (g_variant_iter_next(&iter, "&s", &s))
        strings.emplace_back(s);
    return strings;
}

// A method that answers with one file descriptor (-1 on failure).
int FdReply(GDBusConnection* bus, const char* destination, const std::string& path, const char* interface,
            const char* method, GVariant* args)
{
    GUnixFDList* fds = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        bus, destination, path.c_str(), interface, method, args, G_VARIANT_TYPE("(h)"), G_DBUS_CALL_FLAGS_NONE,
        kCallTimeoutMs, nullptr, &fds, nullptr, nullptr);
    int fd = -1;
    if (reply != nullptr) {
        gint32 index = 0;
        g_variant_get(reply, "(h)", &index);
        fd = g_unix_fd_list_get(fds, index, nullptr);
        g_variant_unref(reply);
    }
    if (fds != nullptr)
        g_object_unref(fds);
    return fd;
}

// The connector of the primary monitor, from mutter's display configuration
// ("" when it cannot be read; mutter then records the primary monitor too).
std::string PrimaryConnector(GDBusConnection* bus)
{
    GVariant* state = g_dbus_connection_call_sync(
        bus, "org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig", "org.gnome.Mutter.DisplayConfig",
        "GetCurrentState", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
    if (state == nullptr)
        return {};
    std::string connector;
    GVariant* logical = g_variant_get_child_value(state, 2);
    GVariantIter iter;
    g_variant_iter_init(&iter, logical);
    GVariant* entry = nullptr;
    while (connector.empty() && (entry = g_variant_iter_next_value(&iter)) != nullptr) {
        gboolean primary = FALSE;
        g_variant_get_child(entry, 4, "b", &primary);
        GVariant* monitors = g_variant_get_child_value(entry, 5);
        if ((primary || connector.empty()) && g_variant_n_children(monitors) > 0) {
            const char* name = nullptr;
            g_variant_get_child(monitors, 0, "(&s&s&s&s)", &name, nullptr, nullptr, nullptr);
            if (primary)
                connector = name;
        }
        g_variant_unref(monitors);
        g_variant_unref(entry);
    }
    g_variant_unref(logical);
    g_variant_unref(state);
    return connector;
}

} // namespace

GnomeRemoteDesktop::GnomeRemoteDesktop()
{
    context = g_main_context_new();
    loop = g_main_loop_new(context, FALSE);
    loopThread = std::thread([this] { threadMain(); });
}

GnomeRemoteDesktop::~GnomeRemoteDesktop()
{
    if (bus != nullptr) {
        for (unsigned id : subscriptions)
            g_dbus_connection_signal_unsubscribe(bus, id);
        // Closing the connection ends the session and its devices.
        g_dbus_connection_close_sync(bus, nullptr, nullptr);
    }
    g_main_loop_quit(loop);
    loopThread.join();
    if (bus != nullptr)
        g_object_unref(bus);
    g_main_loop_unref(loop);
    g_main_context_unref(context);
}

void GnomeRemoteDesktop::threadMain()
{
    g_main_context_push_thread_default(context);
    g_main_loop_run(loop);
    g_main_context_pop_thread_default(context);
}

void GnomeRemoteDesktop::onThread(const std::function<void()>& fn)
{
    struct Call {
        explicit Call(const std::function<void()>& work) : fn(work) {}
        const std::function<void()>& fn;
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    } call(fn);
    g_main_context_invoke(
        context,
        [](gpointer data) -> gboolean {
            auto* c = static_cast<Call*>(data);
            c->fn();
            std::lock_guard lock(c->mutex);
            c->done = true;
            c->changed.notify_all();
            return G_SOURCE_REMOVE;
        },
        &call);
    std::unique_lock lock(call.mutex);
    call.changed.wait(lock, [&] { return call.done; });
}

bool GnomeRemoteDesktop::start(std::string& reason)
{
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (address != nullptr) {
        bus = g_dbus_connection_new_for_address_sync(
            address,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        g_free(address);
    }
    if (bus == nullptr) {
        reason = "no session bus: " + Describe(error);
        return false;
    }
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    std::string refused;
    if (startMutter(refused)) {
        way = Access::Mutter;
    } else {
        Log::Printf("GNOME remote desktop: mutter's interface refused (%s); asking the desktop portal\n",
                    refused.c_str());
        if (!startPortal(reason)) {
            reason = refused + "; portal: " + reason;
            return false;
        }
        way = Access::Portal;
    }
    primeDevices();
    Log::Printf("GNOME remote desktop: %s session, %s\n", way == Access::Mutter ? "mutter" : "portal",
                streamNode() != 0 ? "monitor stream for absolute motion and screenshots"
                                  : "no monitor stream (relative motion only, no screenshots)");
    return true;
}

bool GnomeRemoteDesktop::startMutter(std::string& reason)
{
    // A screen cast that cannot start (no PipeWire) takes its session with
    // it: the second try goes without one.
    for (const bool withStream : {true, false}) {
        GError* error = nullptr;
        GVariant* created = g_dbus_connection_call_sync(
            bus, kMutterRemoteDesktop, "/org/gnome/Mutter/RemoteDesktop", kMutterRemoteDesktop, "CreateSession",
            nullptr, G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
        if (created == nullptr) {
            reason = Describe(error);
            return false;
        }
        const char* path = nullptr;
        g_variant_get(created, "(&o)", &path);
        sessionPath = path;
        g_variant_unref(created);
        subscribeSession();

        bool streaming = false;
        if (withStream) {
            GVariant* id = g_dbus_connection_call_sync(
                bus, kMutterRemoteDesktop, sessionPath.c_str(), "org.freedesktop.DBus.Properties", "Get",
                g_variant_new("(ss)", kSessionInterface, "SessionId"), G_VARIANT_TYPE("(v)"),
                G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
            if (id != nullptr) {
                GVariant* value = nullptr;
                g_variant_get(id, "(v)", &value);
                streaming = startScreenCast(g_variant_get_string(value, nullptr));
                g_variant_unref(value);
                g_variant_unref(id);
            }
        }
        GVariant* started = g_dbus_connection_call_sync(bus, kMutterRemoteDesktop, sessionPath.c_str(),
                                                        kSessionInterface, "Start", nullptr,
                                                        nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr,
                                                        &error);
        if (started == nullptr) {
            const bool denied = IsAccessDenied(error);
            reason = Describe(error);
            if (!streaming || denied)
                return false;
            Log::Printf("GNOME remote desktop: the monitor stream did not start (%s)\n", reason.c_str());
            node = 0;
            streamPath.clear();
            continue;
        }
        g_variant_unref(started);
        if (streaming) {
            std::unique_lock lock(stateMutex);
            stateChanged.wait_for(lock, std::chrono::milliseconds(kCallTimeoutMs), [this] { return node != 0; });
        }
        GVariant* enabled = g_dbus_connection_call_sync(
            bus, kMutterRemoteDesktop, sessionPath.c_str(), kSessionInterface,
            "EnableClipboard", g_variant_new_parsed("(@a{sv} {},)"), nullptr, G_DBUS_CALL_FLAGS_NONE,
            kCallTimeoutMs, nullptr, &error);
        if (enabled != nullptr) {
            clipboard = true;
            g_variant_unref(enabled);
        } else {
            Log::Printf("GNOME remote desktop: no session clipboard (%s)\n", Describe(error).c_str());
        }
        return true;
    }
    return false;
}

bool GnomeRemoteDesktop::startScreenCast(const std::string& sessionId)
{
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&properties, "{sv}", "remote-desktop-session-id", g_variant_new_string(sessionId.c_str()));
    GError* error = nullptr;
    GVariant* created = g_dbus_connection_call_sync(bus, kMutterScreenCast, "/org/gnome/Mutter/ScreenCast",
                                                    kMutterScreenCast, "CreateSession",
                                                    g_variant_new("(a{sv})", &properties), G_VARIANT_TYPE("(o)"),
                                                    G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
    if (created == nullptr) {
        Log::Printf("GNOME remote desktop: no screen cast (%s)\n", Describe(error).c_str());
        return false;
    }
    const char* castPath = nullptr;
    g_variant_get(created, "(&o)", &castPath);
    const std::string cast = castPath;
    g_variant_unref(created);

    // The pointer is drawn into the frames, as a screenshot shows it.
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "cursor-mode", g_variant_new_uint32(1));
    const std::string connector = PrimaryConnector(bus);
    GVariant* recorded = g_dbus_connection_call_sync(bus, kMutterScreenCast, cast.c_str(),
                                                     "org.gnome.Mutter.ScreenCast.Session", "RecordMonitor",
                                                     g_variant_new("(sa{sv})", connector.c_str(), &options),
                                                     G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs,
                                                     nullptr, &error);
    if (recorded == nullptr) {
        Log::Printf("GNOME remote desktop: the monitor cannot be recorded (%s)\n", Describe(error).c_str());
        return false;
    }
    const char* stream = nullptr;
    g_variant_get(recorded, "(&o)", &stream);
    streamPath = stream;
    g_variant_unref(recorded);

    onThread([this] {
    subscriptions.push_back(g_dbus_connection_signal_subscribe(
        bus, kMutterScreenCast, "org.gnome.Mutter.ScreenCast.Stream", "PipeWireStreamAdded", streamPath.c_str(),
        nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
           gpointer self) {
            auto* session = static_cast<GnomeRemoteDesktop*>(self);
            std::uint32_t id = 0;
            g_variant_get(parameters, "(u)", &id);
            std::lock_guard lock(session->stateMutex);
            session->node = id;
            session->stateChanged.notify_all();
        },
        this, nullptr));
    });

    GVariant* parameters = g_dbus_connection_call_sync(
        bus, kMutterScreenCast, streamPath.c_str(), "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.gnome.Mutter.ScreenCast.Stream", "Parameters"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
    if (parameters != nullptr) {
        GVariant* dict = nullptr;
        g_variant_get(parameters, "(v)", &dict);
        Monitor found;
        g_variant_lookup(dict, "position", "(ii)", &found.x, &found.y);
        g_variant_lookup(dict, "size", "(ii)", &found.width, &found.height);
        {
            std::lock_guard lock(stateMutex);
            place = found;
        }
        g_variant_unref(dict);
        g_variant_unref(parameters);
    }
    return true;
}

void GnomeRemoteDesktop::subscribeSession()
{
    onThread([this] { subscribeSessionSignals(); });
}

void GnomeRemoteDesktop::subscribeSessionSignals()
{
    const char* interface = kSessionInterface;
    subscriptions.push_back(g_dbus_connection_signal_subscribe(
        bus, kMutterRemoteDesktop, interface, "Closed", sessionPath.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar*, GVariant*, gpointer self) {
            auto* session = static_cast<GnomeRemoteDesktop*>(self);
            if (session->sessionPath == path && !session->closed.exchange(true))
                Log::Printf("GNOME remote desktop: mutter closed the session\n");
        },
        this, nullptr));
    subscriptions.push_back(g_dbus_connection_signal_subscribe(
        bus, kMutterRemoteDesktop, interface, "SelectionOwnerChanged", sessionPath.c_str(), nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
           gpointer self) {
            auto* session = static_cast<GnomeRemoteDesktop*>(self);
            GVariant* options = g_variant_get_child_value(parameters, 0);
            // mutter 43 sends the list inside a tuple, "(as)"; the
            // interface's description says "as": both are read.
            GVariant* types = g_variant_lookup_value(options, "mime-types", nullptr);
            if (types != nullptr && g_variant_is_of_type(types, G_VARIANT_TYPE("(as)"))) {
                GVariant* inner = g_variant_get_child_value(types, 0);
                g_variant_unref(types);
                types = inner;
            }
            if (types != nullptr && !g_variant_is_of_type(types, G_VARIANT_TYPE("as"))) {
                g_variant_unref(types);
                types = nullptr;
            }
            gboolean own = FALSE;
            g_variant_lookup(options, "session-is-owner", "b", &own);
            const std::vector<std::string> mimeTypes = Strings(types);
            if (types != nullptr)
                g_variant_unref(types);
            g_variant_unref(options);
            std::function<void(const std::vector<std::string>&, bool)> handler;
            {
                std::lock_guard lock(session->stateMutex);
                handler = session->handlers.ownerChanged;
            }
            if (handler)
                handler(mimeTypes, own);
        },
        this, nullptr));
    subscriptions.push_back(g_dbus_connection_signal_subscribe(
        bus, kMutterRemoteDesktop, interface, "SelectionTransfer", sessionPath.c_str(), nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
           gpointer self) {
            auto* session = static_cast<GnomeRemoteDesktop*>(self);
            const char* mimeType = nullptr;
            std::uint32_t serial = 0;
            g_variant_get(parameters, "(&su)", &mimeType, &serial);
            std::function<void(const std::string&, std::uint32_t)> handler;
            {
                std::lock_guard lock(session->stateMutex);
                handler = session->handlers.transfer;
            }
            if (handler)
                handler(mimeType, serial);
            else
                session->selectionWriteDone(serial, false);
        },
        this, nullptr));
}

namespace {

// Waits for the Response of one portal request and hands back its results
// (null when refused, cancelled or not answered in time).
class PortalRequest {
public:
    PortalRequest(GDBusConnection* bus, GnomeRemoteDesktop& session, const std::string& token) : bus(bus)
    {
        std::string sender = g_dbus_connection_get_unique_name(bus) + 1; // without the ':'
        for (char& c : sender)
            c = c == '.' ? '_' : c;
        const std::string path = std::string(kPortalPath) + "/request/" + sender + "/" + token;
        session.onThread([&] {
        subscription = g_dbus_connection_signal_subscribe(
            bus, kPortal, "org.freedesktop.portal.Request", "Response", path.c_str(), nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
               gpointer self) {
                auto* request = static_cast<PortalRequest*>(self);
                std::uint32_t response = 2;
                GVariant* results = nullptr;
                g_variant_get(parameters, "(u@a{sv})", &response, &results);
                std::lock_guard lock(request->mutex);
                request->answered = true;
                request->results = response == 0 ? results : nullptr;
                if (response != 0)
                    g_variant_unref(results);
                request->changed.notify_all();
            },
            this, nullptr);
        });
    }
    ~PortalRequest()
    {
        g_dbus_connection_signal_unsubscribe(bus, subscription);
        if (results != nullptr)
            g_variant_unref(results);
    }

    // The results once answered; owned by the request.
    GVariant* wait()
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(kPortalTimeoutMs), [this] { return answered; });
        return results;
    }

private:
    GDBusConnection* bus;
    unsigned subscription = 0;
    std::mutex mutex;
    std::condition_variable changed;
    bool answered = false;
    GVariant* results = nullptr;
};

// Calls a portal method that answers through a request object; the options
// dictionary gets the request's handle token.
GVariant* PortalCall(GDBusConnection* bus, GnomeRemoteDesktop& owner, PortalRequest*& request, const char* interface,
                     const char* method, const std::string& session, GVariantBuilder* options, std::string& failure)
{
    static std::atomic<unsigned> counter{0};
    const std::string token = "corvane" + std::to_string(++counter);
    g_variant_builder_add(options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    request = new PortalRequest(bus, owner, token);
    GVariant* args = session.empty() ? g_variant_new("(a{sv})", options)
                     : std::string(method) == "Start"
                         ? g_variant_new("(osa{sv})", session.c_str(), "", options)
                         : g_variant_new("(oa{sv})", session.c_str(), options);
    GError* error = nullptr;
    GVariant* handle = g_dbus_connection_call_sync(bus, kPortal, kPortalPath, interface, method, args,
                                                   G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs,
                                                   nullptr, &error);
    if (handle == nullptr) {
        failure = std::string(method) + ": " + Describe(error);
        return nullptr;
    }
    g_variant_unref(handle);
    GVariant* results = request->wait();
    if (results == nullptr)
        failure = std::string(method) + " was refused or not answered";
    return results;
}

} // namespace

bool GnomeRemoteDesktop::startPortal(std::string& reason)
{
    const char* remote = "org.freedesktop.portal.RemoteDesktop";
    PortalRequest* request = nullptr;
    auto finish = [&](bool ok) {
        delete request;
        request = nullptr;
        return ok;
    };

    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string("corvane"));
    GVariant* results = PortalCall(bus, *this, request, remote, "CreateSession", {}, &options, reason);
    const char* handle = nullptr;
    if (results == nullptr || !g_variant_lookup(results, "session_handle", "&s", &handle))
        return finish(false);
    sessionPath = handle;
    finish(true);

    // Keyboard and pointer, remembered until revoked (persist mode 2).
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "types", g_variant_new_uint32(3));
    g_variant_builder_add(&options, "{sv}", "persist_mode", g_variant_new_uint32(2));
    const std::string saved = ReadRestoreToken();
    if (!saved.empty())
        g_variant_builder_add(&options, "{sv}", "restore_token", g_variant_new_string(saved.c_str()));
    if (PortalCall(bus, *this, request, remote, "SelectDevices", sessionPath, &options, reason) == nullptr)
        return finish(false);
    finish(true);

    // The monitor, for absolute motion and screenshots; a portal that will
    // not share it still gives relative input.
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "types", g_variant_new_uint32(1));
    g_variant_builder_add(&options, "{sv}", "cursor_mode", g_variant_new_uint32(1));
    std::string noStream;
    const bool sources = PortalCall(bus, *this, request, "org.freedesktop.portal.ScreenCast", "SelectSources",
                                    sessionPath, &options, noStream) != nullptr;
    finish(true);

    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    results = PortalCall(bus, *this, request, remote, "Start", sessionPath, &options, reason);
    if (results == nullptr)
        return finish(false);
    const char* token = nullptr;
    if (g_variant_lookup(results, "restore_token", "&s", &token))
        WriteRestoreToken(token);
    GVariant* streams = g_variant_lookup_value(results, "streams", G_VARIANT_TYPE("a(ua{sv})"));
    if (sources && streams != nullptr && g_variant_n_children(streams) > 0) {
        std::uint32_t id = 0;
        GVariant* properties = nullptr;
        g_variant_get_child(streams, 0, "(u@a{sv})", &id, &properties);
        Monitor found;
        g_variant_lookup(properties, "position", "(ii)", &found.x, &found.y);
        g_variant_lookup(properties, "size", "(ii)", &found.width, &found.height);
        g_variant_unref(properties);
        std::lock_guard lock(stateMutex);
        place = found;
        node = id;
    }
    if (streams != nullptr)
        g_variant_unref(streams);
    return finish(true);
}

int GnomeRemoteDesktop::openPipeWireRemote()
{
    if (access() != Access::Portal)
        return -1;
    return FdReply(bus, kPortal, kPortalPath, "org.freedesktop.portal.ScreenCast", "OpenPipeWireRemote",
                   g_variant_new_parsed("(%o, @a{sv} {})", sessionPath.c_str()));
}

GnomeRemoteDesktop::Monitor GnomeRemoteDesktop::monitor() const
{
    std::lock_guard lock(stateMutex);
    return place;
}

void GnomeRemoteDesktop::primeDevices()
{
    // mutter makes a session's keyboard and pointer at their first use; until
    // a keyboard exists no client has the keyboard focus.
    keysym(kShiftL, true);
    keysym(kShiftL, false);
    pointerMotionRelative(0, 0);
    const Monitor m = monitor();
    if (streamNode() != 0 && m.width > 0)
        pointerMotionAbsolute(m.width / 2.0, m.height / 2.0);
    flush();
    std::this_thread::sleep_for(kPrimeWait);
}

void GnomeRemoteDesktop::notify(const char* method, GVariant* args)
{
    const Access current = access();
    if (current == Access::None || closed) {
        g_variant_unref(g_variant_ref_sink(args));
        return;
    }
    if (current == Access::Mutter)
        g_dbus_connection_call(bus, kMutterRemoteDesktop, sessionPath.c_str(), kSessionInterface,
                               method, args, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    else
        g_dbus_connection_call(bus, kPortal, kPortalPath, "org.freedesktop.portal.RemoteDesktop", method, args,
                               nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
}

// The portal's input methods take the session handle and an (empty) options
// dictionary first, and states as numbers.
#define PORTAL_ARGS(format, ...) \
    g_variant_new("(o@a{sv}" format ")", sessionPath.c_str(), g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0), __VA_ARGS__)

void GnomeRemoteDesktop::pointerMotionRelative(double dx, double dy)
{
    if (access() == Access::Portal)
        notify("NotifyPointerMotion", PORTAL_ARGS("dd", dx, dy));
    else
        notify("NotifyPointerMotionRelative", g_variant_new("(dd)", dx, dy));
}

void GnomeRemoteDesktop::pointerMotionAbsolute(double x, double y)
{
    const std::uint32_t stream = streamNode();
    if (stream == 0)
        return;
    if (access() == Access::Portal)
        notify("NotifyPointerMotionAbsolute", PORTAL_ARGS("udd", stream, x, y));
    else
        notify("NotifyPointerMotionAbsolute", g_variant_new("(sdd)", streamPath.c_str(), x, y));
}

void GnomeRemoteDesktop::pointerButton(int button, bool down)
{
    if (access() == Access::Portal)
        notify("NotifyPointerButton", PORTAL_ARGS("iu", button, down ? 1u : 0u));
    else
        notify("NotifyPointerButton", g_variant_new("(ib)", button, down));
}

void GnomeRemoteDesktop::pointerAxisDiscrete(unsigned axis, int steps)
{
    if (access() == Access::Portal)
        notify("NotifyPointerAxisDiscrete", PORTAL_ARGS("ui", axis, steps));
    else
        notify("NotifyPointerAxisDiscrete", g_variant_new("(ui)", axis, steps));
}

void GnomeRemoteDesktop::keysym(std::uint32_t keysym, bool down)
{
    if (access() == Access::Portal)
        notify("NotifyKeyboardKeysym", PORTAL_ARGS("iu", static_cast<gint32>(keysym), down ? 1u : 0u));
    else
        notify("NotifyKeyboardKeysym", g_variant_new("(ub)", keysym, down));
}

void GnomeRemoteDesktop::keycode(std::uint32_t evdevCode, bool down)
{
    if (access() == Access::Portal)
        notify("NotifyKeyboardKeycode", PORTAL_ARGS("iu", static_cast<gint32>(evdevCode), down ? 1u : 0u));
    else
        notify("NotifyKeyboardKeycode", g_variant_new("(ub)", evdevCode, down));
}

#undef PORTAL_ARGS

void GnomeRemoteDesktop::flush()
{
    if (bus == nullptr)
        return;
    // Messages to one peer are handled in order: the answer to a ping
    // comes after every call sent before it.
    const char* peer = access() == Access::Portal ? kPortal : kMutterRemoteDesktop;
    GVariant* pong = g_dbus_connection_call_sync(bus, peer, "/", "org.freedesktop.DBus.Peer", "Ping", nullptr,
                                                 nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
    if (pong != nullptr)
        g_variant_unref(pong);
}

void GnomeRemoteDesktop::setClipboardHandlers(ClipboardHandlers newHandlers)
{
    std::lock_guard lock(stateMutex);
    handlers = std::move(newHandlers);
}

bool GnomeRemoteDesktop::setSelection(const std::vector<std::string>& mimeTypes)
{
    if (!clipboardEnabled())
        return false;
    // Without formats the session gives the clipboard up.
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    if (!mimeTypes.empty())
        g_variant_builder_add(&options, "{sv}", "mime-types", StringList(mimeTypes));
    GVariant* reply = g_dbus_connection_call_sync(bus, kMutterRemoteDesktop, sessionPath.c_str(),
                                                  kSessionInterface, "SetSelection",
                                                  g_variant_new("(a{sv})", &options), nullptr, G_DBUS_CALL_FLAGS_NONE,
                                                  kCallTimeoutMs, nullptr, nullptr);
    if (reply == nullptr)
        return false;
    g_variant_unref(reply);
    return true;
}

int GnomeRemoteDesktop::selectionWrite(std::uint32_t serial)
{
    if (!clipboardEnabled())
        return -1;
    return FdReply(bus, kMutterRemoteDesktop, sessionPath, kSessionInterface, "SelectionWrite",
                   g_variant_new("(u)", serial));
}

void GnomeRemoteDesktop::selectionWriteDone(std::uint32_t serial, bool success)
{
    if (!clipboardEnabled())
        return;
    g_dbus_connection_call(bus, kMutterRemoteDesktop, sessionPath.c_str(), kSessionInterface,
                           "SelectionWriteDone", g_variant_new("(ub)", serial, success), nullptr,
                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
}

int GnomeRemoteDesktop::selectionRead(const std::string& mimeType)
{
    if (!clipboardEnabled())
        return -1;
    return FdReply(bus, kMutterRemoteDesktop, sessionPath, kSessionInterface, "SelectionRead",
                   g_variant_new("(s)", mimeType.c_str()));
}
