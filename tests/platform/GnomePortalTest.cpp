#include "Phone.h"
#include "ServerProcess.h"
#include "SessionBus.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <gio/gio.h>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr const char* kPortalXml = R"(<node>
  <interface name="org.freedesktop.portal.RemoteDesktop">
    <method name="CreateSession"><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
    <method name="SelectDevices"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
    <method name="Start"><arg type="o" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
    <method name="NotifyPointerMotion"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="d" direction="in"/><arg type="d" direction="in"/></method>
    <method name="NotifyPointerMotionAbsolute"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="u" direction="in"/><arg type="d" direction="in"/><arg type="d" direction="in"/></method>
    <method name="NotifyPointerButton"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="in"/></method>
    <method name="NotifyKeyboardKeysym"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="in"/></method>
  </interface>
  <interface name="org.freedesktop.portal.ScreenCast">
    <method name="SelectSources"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
  </interface>
</node>)";

// A desktop portal on the test's session bus that grants every request at
// once (as after the user's consent), hands out a restore token, and
// records the calls it gets, as method name and arguments.
class FakePortal {
public:
    FakePortal()
    {
        thread = std::thread([this] {
            g_main_context_push_thread_default(context);
            GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kPortalXml, nullptr);
            bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
            static const GDBusInterfaceVTable vtable = {&FakePortal::Called, nullptr, nullptr, {}};
            for (GDBusInterfaceInfo** info = node->interfaces; *info != nullptr; ++info)
                g_dbus_connection_register_object(bus, "/org/freedesktop/portal/desktop", *info, &vtable, this,
                                                  nullptr, nullptr);
            g_bus_own_name_on_connection(
                bus, "org.freedesktop.portal.Desktop", G_BUS_NAME_OWNER_FLAGS_NONE,
                [](GDBusConnection*, const gchar*, gpointer self) { static_cast<FakePortal*>(self)->owned.set_value(); },
                nullptr, this, nullptr);
            g_dbus_node_info_unref(node);
            g_main_loop_run(loop);
            g_object_unref(bus);
            g_main_context_pop_thread_default(context);
        });
        // Servers started next find the portal on the bus.
        owned.get_future().wait_for(std::chrono::seconds(5));
    }
    ~FakePortal()
    {
        g_main_loop_quit(loop);
        thread.join();
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }

    std::vector<std::string> calls()
    {
        std::lock_guard lock(mutex);
        return recorded;
    }

private:
    static void Called(GDBusConnection* bus, const gchar* sender, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self)
    {
        auto* portal = static_cast<FakePortal*>(self);
        gchar* printed = g_variant_print(parameters, FALSE);
        {
            std::lock_guard lock(portal->mutex);
            portal->recorded.push_back(std::string(method) + printed);
        }
        g_free(printed);
        if (g_str_has_prefix(method, "Notify")) {
            g_dbus_method_invocation_return_value(invocation, nullptr);
            return;
        }
        // The answer comes as the Response of a request object.
        GVariant* options = g_variant_get_child_value(parameters, g_variant_n_children(parameters) - 1);
        const char* token = "";
        g_variant_lookup(options, "handle_token", "&s", &token);
        std::string unique = sender + 1;
        for (char& c : unique)
            c = c == '.' ? '_' : c;
        const std::string request = "/org/freedesktop/portal/desktop/request/" + unique + "/" + token;
        g_variant_unref(options);
        GVariantBuilder results;
        g_variant_builder_init(&results, G_VARIANT_TYPE("a{sv}"));
        if (g_str_equal(method, "CreateSession"))
            g_variant_builder_add(&results, "{sv}", "session_handle",
                                  g_variant_new_string("/org/freedesktop/portal/desktop/session/1/corvane"));
        if (g_str_equal(method, "Start")) {
            g_variant_builder_add(&results, "{sv}", "restore_token", g_variant_new_string("token-from-portal"));
            g_variant_builder_add(&results, "{sv}", "streams",
                                  g_variant_new_parsed("[(uint32 42, {'size': <(1280, 800)>})]"));
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", request.c_str()));
        g_dbus_connection_emit_signal(bus, sender, request.c_str(), "org.freedesktop.portal.Request", "Response",
                                      g_variant_new("(ua{sv})", 0u, &results), nullptr);
    }

    GMainContext* context = g_main_context_new();
    GMainLoop* loop = g_main_loop_new(context, FALSE);
    GDBusConnection* bus = nullptr;
    std::thread thread;
    std::promise<void> owned;
    std::mutex mutex;
    std::vector<std::string> recorded;
};

} // namespace

// A GNOME session whose mutter interface is out of reach: the server asks
// the desktop portal, keeps its restore token for the next start, and sends
// the phone's input through the portal's session.
TEST(GnomePortal, WithoutMuttersInterfaceInputGoesThroughThePortal)
{
    UserSandbox sandbox;
    SessionBus bus;
    ASSERT_TRUE(bus.started());
    bus.enter({"WAYLAND_DISPLAY=", "DISPLAY="});
    FakePortal portal;
    // Calls as the portal sees them; their signatures are checked against the
    // interface description before they are recorded.
    const std::string session = "'/org/freedesktop/portal/desktop/session/1/corvane'";
    {
        ServerProcess server({"--backend", "gnome"});
        EXPECT_TRUE(server.waitForOutput("asking the desktop portal")) << server.output();
        EXPECT_TRUE(server.waitForOutput("GNOME remote desktop: portal session, monitor stream")) << server.output();
        Phone(server.tcpPort()).send({{MsgType_Move, "2", 10, 5}, {MsgType_LeftAction, "2"}});
        const std::string noOptions = "{}, ";
        const std::vector<std::string> expected = {
            // the devices made and the keyboard primed at start
            "NotifyKeyboardKeysym(" + session + ", " + noOptions + "65505, 1)",
            "NotifyKeyboardKeysym(" + session + ", " + noOptions + "65505, 0)",
            "NotifyPointerMotion(" + session + ", " + noOptions + "0.0, 0.0)",
            "NotifyPointerMotionAbsolute(" + session + ", " + noOptions + "42, 640.0, 400.0)",
            // the phone's move and click
            "NotifyPointerMotion(" + session + ", " + noOptions + "10.0, 5.0)",
            "NotifyPointerButton(" + session + ", " + noOptions + "272, 1)",
            "NotifyPointerButton(" + session + ", " + noOptions + "272, 0)",
        };
        std::vector<std::string> notified;
        Eventually([&] {
            notified.clear();
            for (const std::string& call : portal.calls())
                if (call.rfind("Notify", 0) == 0)
                    notified.push_back(call);
            return notified.size() >= expected.size();
        });
        EXPECT_EQ(notified, expected);
    }
    EXPECT_EQ(TempDir::read(sandbox.configHome() + "/corvane/portal-restore-token"), "token-from-portal\n");

    // The next start hands the token back, so the portal need not ask again.
    ServerProcess again({"--backend", "gnome"});
    EXPECT_TRUE(again.waitForOutput("GNOME remote desktop: portal session")) << again.output();
    int selections = 0;
    for (const std::string& call : portal.calls()) {
        if (call.rfind("SelectDevices", 0) == 0) {
            EXPECT_EQ(call.find("'restore_token'") != std::string::npos, ++selections == 2) << call;
        }
    }
    EXPECT_EQ(selections, 2);
}
