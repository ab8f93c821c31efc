#include "AppEntity.h"
#include "CData.h"
#include "SCommon.h"
#include "TestAppProcess.h"
#include "UserSandbox.h"
#include "XvfbServer.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

// Xlib after GoogleTest: its macros (None, Bool, ...) clash with names in the test headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

const char* const kPath = "/Applications/testapp.app";

// One desktop entry "testapp" whose program is the test application, in a
// private data tree.
class AppControl : public ::testing::Test {
protected:
    AppControl() : program(TestAppProcess::privateCopy(sandbox.root().file("bin")))
    {
        sandbox.set("XDG_DATA_DIRS", sandbox.root().file("sys"));
        sandbox.set("LANG", "C");
        ::unsetenv("XDG_CURRENT_DESKTOP");
    }

    ~AppControl() override
    {
        for (const pid_t pid : launched)
            TestAppProcess::endLaunched(pid, program);
    }

    std::string log(const std::string& name = "app") const { return sandbox.root().file(name + ".log"); }

    void Entry(const std::string& id, const std::string& body) const
    {
        sandbox.root().write("sys/applications/" + id + ".desktop", "[Desktop Entry]\nType=Application\n" + body);
    }

    void TestAppEntry(const std::string& extraExec = "", const std::string& extraKeys = "") const
    {
        Entry("testapp", "Name=Test App\nExec=\"" + program + "\" --log \"" + log() +
                             "\" --lifetime 60" + extraExec + "\n" + extraKeys);
    }

    // The pid in the log's "started <pid>" line of a copy the code under
    // test launched; remembered so that the test ends it.
    pid_t Launched(const std::string& logFile)
    {
        const std::string line = TestAppProcess::waitForLine(logFile, "started ");
        const pid_t pid = line.empty() ? -1 : static_cast<pid_t>(std::atol(line.c_str() + 8));
        if (pid > 0)
            launched.push_back(pid);
        return pid;
    }

    static unsigned long MappedWindow(const std::string& logFile)
    {
        const std::string line = TestAppProcess::waitForLine(logFile, "mapped ");
        return line.empty() ? 0 : std::strtoul(line.c_str() + 7, nullptr, 10);
    }

    static long Count(const std::string& logFile, const std::string& prefix)
    {
        const auto lines = TestAppProcess::lines(logFile);
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.compare(0, prefix.size(), prefix) == 0; });
    }

    static std::string RunningFlag(const std::string& name)
    {
        CData reply;
        AppEntity::GetAppList(&reply);
        const std::vector<std::string> pieces = split(std::string(reply.Text()), "^_7");
        for (std::size_t i = 1; i < pieces.size(); ++i) {
            const std::vector<std::string> fields = split(pieces[i], "^%_");
            if (fields.size() == 10 && fields[4] == name)
                return fields[9];
        }
        return "not listed";
    }

    UserSandbox sandbox;
    const std::string program; // this test's own copy of the test application
    std::vector<pid_t> launched;
};

TEST_F(AppControl, OpenLaunchesTheEntryWithItsFieldCodesHandled)
{
    CORVANE_START_XVFB(x, 640, 480);
    TestAppEntry(" \"two words\" %U %f %i %c %k 100%% \"--tag=\\\\$HOME\" %d", "Icon=app-icon\n");
    CData reply;
    AppEntity::OpenApp(kPath, &reply);
    EXPECT_EQ(reply.size, 0);
    ASSERT_GT(Launched(log()), 0);
    ASSERT_NE(MappedWindow(log()), 0u);

    std::vector<std::string> args;
    for (const std::string& line : TestAppProcess::lines(log())) {
        if (line.rfind("arg ", 0) == 0)
            args.push_back(line.substr(4));
    }
    const std::string file = sandbox.root().file("sys/applications/testapp.desktop");
    EXPECT_EQ(args, (std::vector<std::string>{"--log", log(), "--lifetime", "60", "two words", "--icon", "app-icon",
                                              "Test App", file, "100%", "--tag=$HOME"}));
    EXPECT_EQ(RunningFlag("testapp.app"), "1");
}

TEST_F(AppControl, OpenAndActivateBringARunningApplicationForwardInsteadOfStartingIt)
{
    CORVANE_START_XVFB(x, 640, 480);
    TestAppEntry();
    CData reply;
    AppEntity::ActiviteApp(kPath, &reply);
    ASSERT_GT(Launched(log()), 0);
    const unsigned long window = MappedWindow(log());
    ASSERT_NE(window, 0u);

    // No window manager runs: the window is raised and focused directly.
    AppEntity::OpenApp(kPath, &reply);
    EXPECT_FALSE(TestAppProcess::waitForLine(log(), "focus").empty());
    Display* d = XOpenDisplay(x.display().c_str());
    ASSERT_NE(d, nullptr);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    EXPECT_EQ(focus, window);
    XCloseDisplay(d);

    AppEntity::ActiviteApp(kPath, &reply);
    EXPECT_EQ(reply.size, 0);
    EXPECT_EQ(Count(log(), "started"), 1);
}

// Stands in for an EWMH window manager: announces support for activation
// and closing, keeps the client list, and reads the requests sent to the
// root window.
class FakeWindowManager {
public:
    explicit FakeWindowManager(const std::string& display) : d(XOpenDisplay(display.c_str()))
    {
        if (d == nullptr)
            return;
        root = DefaultRootWindow(d);
        check = XCreateSimpleWindow(d, root, 0, 0, 1, 1, 0, 0, 0);
        const Atom checkAtom = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
        XChangeProperty(d, root, checkAtom, XA_WINDOW, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&check), 1);
        XChangeProperty(d, check, checkAtom, XA_WINDOW, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&check), 1);
        Atom supported[] = {XInternAtom(d, "_NET_ACTIVE_WINDOW", False), XInternAtom(d, "_NET_CLOSE_WINDOW", False),
                            XInternAtom(d, "_NET_CLIENT_LIST", False)};
        XChangeProperty(d, root, XInternAtom(d, "_NET_SUPPORTED", False), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(supported), 3);
        XSelectInput(d, root, SubstructureNotifyMask);
        XSync(d, False);
    }
    ~FakeWindowManager()
    {
        if (d != nullptr)
            XCloseDisplay(d);
    }
    bool connected() const { return d != nullptr; }

    void SetClients(std::vector<Window> clients)
    {
        XChangeProperty(d, root, XInternAtom(d, "_NET_CLIENT_LIST", False), XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(clients.data()), static_cast<int>(clients.size()));
        XSync(d, False);
    }

    // The next client message of that type sent to the root window.
    std::optional<XClientMessageEvent> AwaitRequest(const char* type, int timeoutMs = 10000)
    {
        const Atom wanted = XInternAtom(d, type, False);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            while (XPending(d) > 0) {
                XEvent event;
                XNextEvent(d, &event);
                if (event.type == ClientMessage && event.xclient.message_type == wanted)
                    return event.xclient;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::nullopt;
    }

private:
    Display* d;
    Window root = 0;
    Window check = 0;
};

TEST_F(AppControl, WithAWindowManagerActivationAndClosingAreAskedOfIt)
{
    CORVANE_START_XVFB(x, 640, 480);
    FakeWindowManager manager(x.display());
    ASSERT_TRUE(manager.connected());
    TestAppEntry();
    // Known only by its window class: the program it names is not the one that runs.
    Entry("byclass", "Name=By Class\nExec=/usr/bin/corvane-no-such-launcher\nStartupWMClass=corvanetestapp\n");
    EXPECT_EQ(RunningFlag("byclass.app"), "0");

    TestAppProcess app(program, log(), {});
    const unsigned long window = MappedWindow(log());
    ASSERT_NE(window, 0u);
    manager.SetClients({window});
    EXPECT_EQ(RunningFlag("byclass.app"), "1");

    CData reply;
    AppEntity::ActiviteApp(kPath, &reply);
    const auto activate = manager.AwaitRequest("_NET_ACTIVE_WINDOW");
    ASSERT_TRUE(activate.has_value());
    EXPECT_EQ(activate->window, window);
    EXPECT_EQ(activate->data.l[0], 2) << "a request from a task switcher";

    AppEntity::ExitApp("/Applications/byclass.app", &reply);
    const auto close = manager.AwaitRequest("_NET_CLOSE_WINDOW");
    ASSERT_TRUE(close.has_value());
    EXPECT_EQ(close->window, window);
    EXPECT_EQ(reply.size, 0);
    EXPECT_EQ(Count(log(), "started"), 1);
}

TEST_F(AppControl, QuitAndForceQuitAddressOnlyTheFirstRunningInstance)
{
    CORVANE_START_XVFB(x, 640, 480);
    TestAppEntry();
    // The first one answers the close request as an application asking to
    // save would: it stays.
    TestAppProcess first(program, log("first"), {"--refuse-close"});
    ASSERT_NE(MappedWindow(log("first")), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // a later start time
    TestAppProcess second(program, log("second"), {});
    ASSERT_NE(MappedWindow(log("second")), 0u);

    CData reply;
    AppEntity::ExitApp(kPath, &reply);
    EXPECT_FALSE(TestAppProcess::waitForLine(log("first"), "delete-window").empty());
    EXPECT_TRUE(first.running());

    AppEntity::CloseApp(kPath, &reply);
    EXPECT_TRUE(first.waitForExit());
    EXPECT_EQ(Count(log("first"), "sigterm"), 0) << "killed, not asked";
    EXPECT_TRUE(second.running());
    EXPECT_EQ(Count(log("second"), "delete-window"), 0);

    AppEntity::ExitApp(kPath, &reply);
    EXPECT_FALSE(TestAppProcess::waitForLine(log("second"), "delete-window").empty());
    EXPECT_TRUE(second.waitForExit());
    EXPECT_EQ(reply.size, 0);
}

TEST_F(AppControl, QuitSendsSigtermToAnInstanceWithoutWindows)
{
    CORVANE_START_XVFB(x, 640, 480);
    TestAppEntry();
    TestAppProcess app(program, log(), {"--no-window"});
    ASSERT_FALSE(TestAppProcess::waitForLine(log(), "started").empty());
    CData reply;
    AppEntity::ExitApp(kPath, &reply);
    EXPECT_FALSE(TestAppProcess::waitForLine(log(), "sigterm").empty());
    EXPECT_TRUE(app.waitForExit());
}

TEST_F(AppControl, UnknownPathsAndStoppedApplicationsAreLeftAlone)
{
    CORVANE_START_XVFB(x, 640, 480);
    TestAppEntry();
    Entry("stopped", "Name=Stopped\nExec=/usr/bin/corvane-no-such-program\n");
    TestAppProcess app(program, log(), {});
    ASSERT_NE(MappedWindow(log()), 0u);

    CData reply;
    for (const char* path : {"/Applications/stopped.app", "/Applications/iTunes.app", "/Applications/testapp",
                             "/etc/testapp.app", "/Applications/sys/testapp.app", "Applications/testapp.app",
                             "/Applications/.app", ""}) {
        AppEntity::ExitApp(path, &reply);
        AppEntity::CloseApp(path, &reply);
    }
    AppEntity::ExitApp(nullptr, &reply);
    AppEntity::CloseApp(nullptr, &reply);
    AppEntity::OpenApp("/Applications/iTunes.app", &reply);
    AppEntity::ActiviteApp(nullptr, &reply);
    EXPECT_EQ(reply.size, 0);

    // A signal or close request would have arrived by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(app.running());
    EXPECT_EQ(Count(log(), "delete-window"), 0);
    EXPECT_EQ(Count(log(), "started"), 1);
}

} // namespace
