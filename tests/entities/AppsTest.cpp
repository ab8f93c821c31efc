// The application catalogue ("/Applications") and application control, on
// desktop entries of a private data tree. Running programs are copies of the
// test application (tests/programs/corvane_test_app), started by the test or
// by the code under test and ended by their PIDs.
#include "AppEntity.h"
#include "CData.h"
#include "ChildProcess.h"
#include "FakeWindowManager.h"
#include "FileFacts.h"
#include "IconTheme.h"
#include "InProcessServer.h"
#include "Phone.h"
#include "SCommon.h"
#include "SessionBus.h"
#include "StubTools.h"
#include "TempDir.h"
#include "UserSandbox.h"
#include "X11Display.h"
#include "XvfbServer.h"

#include <QImage>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <pthread.h>
#include <thread>
#include <tuple>
#include <unistd.h>

// Xlib after GoogleTest: its macros (None, Bool, ...) clash with names in the test headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

const char* const kPath = "/Applications/testapp.app";

// The lines of an application's log that start with prefix.
std::vector<std::string> Lines(const std::string& log, const std::string& prefix)
{
    std::vector<std::string> lines = split(TempDir::read(log), "\n");
    std::erase_if(lines, [&](const std::string& line) { return line.rfind(prefix, 0) != 0; });
    return lines;
}

// The first such line, waited for up to 10 s; "" without one.
std::string WaitForLine(const std::string& log, const std::string& prefix)
{
    Eventually([&] { return !Lines(log, prefix).empty(); }, 10000);
    const auto lines = Lines(log, prefix);
    return lines.empty() ? "" : lines[0];
}

unsigned long MappedWindow(const std::string& log)
{
    const std::string line = WaitForLine(log, "mapped ");
    return line.empty() ? 0 : std::strtoul(line.c_str() + 7, nullptr, 10);
}

bool Ends(ChildProcess& app)
{
    app.wait(10000);
    return !app.running();
}

std::string List()
{
    CData reply;
    AppEntity::GetAppList(&reply);
    return std::string(reply.Text());
}

// The fields of each listed application, in order.
std::vector<std::vector<std::string>> Records()
{
    std::vector<std::vector<std::string>> records;
    const std::vector<std::string> pieces = split(List(), "^_7");
    for (std::size_t i = 1; i < pieces.size(); ++i)
        records.push_back(split(pieces[i], "^%_"));
    return records;
}

// Each listed application's running flag, as "<id>=<flag> " in list order.
std::string Running()
{
    std::string flags;
    for (const auto& record : Records())
        flags += record.at(4) + "=" + record.at(9) + " ";
    return flags;
}

// A private data tree (user folder "data", system folders "sys1:sys2"), a
// desktop named TestDesk, an English locale, and this test's own copy of the
// test application in bin/.
class Apps : public ::testing::Test {
protected:
    Apps()
    {
        sandbox.set("XDG_DATA_DIRS", sandbox.root().file("sys1") + ":" + sandbox.root().file("sys2"));
        sandbox.set("XDG_CURRENT_DESKTOP", "TestDesk");
        sandbox.set("LANG", "en_US.UTF-8");
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            ::unsetenv(name);
        std::filesystem::create_directories(sandbox.root().file("bin"));
        std::filesystem::copy_file(CORVANE_TEST_APP, program);
    }
    ~Apps() override
    {
        for (const pid_t pid : launched) {
            std::error_code error;
            const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
            if (!error && exe == std::filesystem::canonical(program, error))
                ::kill(pid, SIGKILL);
        }
    }

    // Writes <folder>/applications/<relative> and returns its path.
    std::string Entry(const std::string& folder, const std::string& relative, const std::string& body) const
    {
        return sandbox.root().write(folder + "/applications/" + relative, "[Desktop Entry]\n" + body);
    }
    std::string Log(const std::string& name = "app") const { return sandbox.root().file(name + ".log"); }
    // The entry "testapp" that runs the test application.
    std::string TestAppEntry(const std::string& extraExec = "", const std::string& extraKeys = "") const
    {
        return Entry("sys1", "testapp.desktop", "Type=Application\nName=Test App\nExec=\"" + program + "\" --log \"" +
                                                    Log() + "\" --lifetime 60" + extraExec + "\n" + extraKeys);
    }
    std::vector<std::string> AppArgs(const std::string& log, std::vector<std::string> extra = {}) const
    {
        extra.insert(extra.begin(), {program, "--log", log, "--lifetime", "60"});
        return extra;
    }
    // The pid of the "started <pid>" line of a copy the code under test launched.
    pid_t Launched(const std::string& log)
    {
        const std::string line = WaitForLine(log, "started ");
        const pid_t pid = line.empty() ? -1 : static_cast<pid_t>(std::atol(line.c_str() + 8));
        if (pid > 0)
            launched.push_back(pid);
        return pid;
    }

    UserSandbox sandbox;
    const std::string program = sandbox.root().file("bin/corvane-test-app-" + std::to_string(::getpid()));
    std::vector<pid_t> launched;
};

const std::string kApp = "Type=Application\nExec=/bin/true\n";

// The user's entry overrides the systems', and earlier system folders win.
TEST_F(Apps, ListsWhatAUserWouldSeeByIdsFromSubfoldersInNameOrderWithTheUsersEntriesWinning)
{
    Entry("sys1", "shown.desktop", kApp + "Name=Shown\n");
    Entry("sys1", "hidden.desktop", kApp + "Name=Hidden\nHidden=true\n");
    Entry("sys1", "nodisplay.desktop", kApp + "Name=NoDisplay\nNoDisplay=true\n");
    Entry("sys1", "link.desktop", "Type=Link\nName=Link\nURL=https://example.org\n");
    Entry("sys1", "noexec.desktop", "Type=Application\nName=NoExec\n");
    Entry("sys1", "noname.desktop", kApp);
    Entry("sys1", "elsewhere.desktop", kApp + "Name=Elsewhere\nOnlyShowIn=OtherDesk;\n");
    Entry("sys1", "here.desktop", kApp + "Name=Here\nOnlyShowIn=OtherDesk;TestDesk;\n");
    Entry("sys1", "nothere.desktop", kApp + "Name=NotHere\nNotShowIn=TestDesk;\n");
    Entry("sys1", "missing-tryexec.desktop", kApp + "Name=Missing\nTryExec=/no/such/program\n");
    Entry("sys1", "present-tryexec.desktop", kApp + "Name=Present\nTryExec=sh\n");
    Entry("sys1", "readme.txt", kApp + "Name=NotAnEntry\n");
    Entry("sys1", "grouped.desktop", "[Other Group]\nName=Wrong\n");
    Entry("sys1", "kde/okular.desktop", kApp + "Name=zeta viewer\n");
    Entry("sys1", "a/b/c.desktop", kApp + "Name=Alpha\n");
    Entry("sys1", "beta.desktop", kApp + "Name=beta\n");
    Entry("sys2", "editor.desktop", kApp + "Name=System Editor\n");
    Entry("data", "editor.desktop", kApp + "Name=My Editor\n");
    Entry("sys2", "viewer.desktop", kApp + "Name=Old Viewer\n");
    Entry("sys1", "viewer.desktop", kApp + "Name=New Viewer\n");
    Entry("sys1", "player.desktop", kApp + "Name=Player\n");
    Entry("data", "player.desktop", kApp + "Name=Player\nHidden=true\n"); // removes the system entry
    std::vector<std::string> listed;
    for (const auto& record : Records())
        listed.push_back(record.at(4) + " " + record.at(3));
    EXPECT_EQ(listed, (std::vector<std::string>{"a-b-c.app Alpha", "beta.app beta", "here.app Here", "editor.app My Editor",
                                                "viewer.app New Viewer", "present-tryexec.app Present", "shown.app Shown",
                                                "kde-okular.app zeta viewer"}));
}

TEST_F(Apps, DisplayNamesFollowTheMessagesLocale)
{
    Entry("sys1", "calc.desktop", kApp + "Name=Calculator\nName[de]=Rechner\nName[de_CH]=Taschenrechner\n"
                                         "Name[sr@latin]=Kalkulator\nName[zh_CN]=计算器\nComment[fr]=ignored\n");
    // Each setting stays for the rows below it: LC_MESSAGES overrides LANG, and LC_ALL both.
    const std::tuple<const char*, const char*, const char*> settings[] = {
        {"LANG", "en_US.UTF-8", "Calculator"}, {"LANG", "de_DE.UTF-8", "Rechner"},
        {"LANG", "de_CH.UTF-8", "Taschenrechner"}, {"LANG", "sr_RS.UTF-8@latin", "Kalkulator"},
        {"LANG", "zh_CN.UTF-8", "计算器"}, {"LANG", "C", "Calculator"}, {"LC_MESSAGES", "de_DE.UTF-8", "Rechner"},
        {"LC_ALL", "zh_CN.UTF-8", "计算器"}};
    for (const auto& [variable, value, name] : settings) {
        sandbox.set(variable, value);
        EXPECT_EQ(Records().at(0).at(3), name) << variable << "=" << value;
    }
}

TEST_F(Apps, MarksAnApplicationRunningWhileItsProgramOrScriptRuns)
{
    const std::string name = std::filesystem::path(program).filename().string();
    Entry("sys1", "bypath.desktop", "Type=Application\nName=By Path\nExec=" + program + " %U\n");
    Entry("sys1", "byname.desktop", "Type=Application\nName=By Name\nExec=" + name + "\n");
    Entry("sys1", "other.desktop", kApp + "Name=Other\n");
    sandbox.set("PATH", sandbox.root().file("bin") + ":" + std::getenv("PATH"));
    // The script waits with a shell builtin, so the shell is the only process.
    const std::string script = sandbox.root().write("tool/serve.sh", "read -r line\n");
    Entry("sys1", "script.desktop", "Type=Application\nName=Script\nExec=sh " + script + "\n");
    // An inline command names no program to look for.
    Entry("sys1", "inline.desktop", "Type=Application\nName=Inline\nExec=sh -c \"read -r line\"\n");
    const std::string none = "byname.app=0 bypath.app=0 inline.app=0 other.app=0 script.app=0 ";
    EXPECT_EQ(Running(), none);
    {
        ChildProcess app(AppArgs(Log(), {"--no-window"}), {.stopSignal = SIGKILL});
        ASSERT_FALSE(WaitForLine(Log(), "started").empty());
        EXPECT_EQ(Running(), "byname.app=1 bypath.app=1 inline.app=0 other.app=0 script.app=0 ");
        ::kill(app.pid(), SIGKILL);
        ASSERT_TRUE(Ends(app));
    }
    EXPECT_EQ(Running(), none);

    ChildProcess shell({"/bin/sh", script}, {.input = true, .stopSignal = SIGKILL});
    ASSERT_TRUE(shell.started());
    EXPECT_EQ(Running(), "byname.app=0 bypath.app=0 inline.app=0 other.app=0 script.app=1 ");
    shell.stop();
    EXPECT_EQ(Running(), none);
}

TEST_F(Apps, EachApplicationIsADirectoryRecordAndTheFolderAndIconsAnswerOnlyTheirExactPaths)
{
    EXPECT_EQ(List(), "/Applications^_7");
    QImage red(24, 24, QImage::Format_ARGB32);
    red.fill(Qt::red);
    const std::string iconFile = sandbox.root().file("red.png");
    ASSERT_TRUE(red.save(QString::fromStdString(iconFile)));
    const std::string file = Entry("sys1", "org.example.Red.desktop",
                                   "Type=Application\nName=Red Editor\nExec=/bin/true %F\nIcon=" + iconFile + "\n");
    EXPECT_EQ(List(), "/Applications^_70^%_2^%_0^%_Red Editor^%_org.example.Red.app^%_1^%_" +
                          std::to_string(std::filesystem::file_size(file)) + "^%_" + FileFacts::created(file) + "^%_" +
                          FileFacts::modified(file) + "^%_0^_7");
    Entry("sys1", "plain.desktop", kApp + "Name=Plain\nIcon=no-such-icon-anywhere\n");

    CData listing, own, generic, none;
    ASSERT_TRUE(AppEntity::ListVirtualFolder("/Applications", &listing));
    EXPECT_EQ(std::string(listing.Text()), List());
    ASSERT_TRUE(AppEntity::IconForPath("/Applications/org.example.Red.app", &own));
    const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(own.pData), static_cast<int>(own.size));
    EXPECT_EQ(image.pixelColor(12, 12), QColor(Qt::red));
    ASSERT_TRUE(AppEntity::IconForPath("/Applications/plain.app", &generic));
    EXPECT_EQ(std::string(generic.pData, static_cast<std::size_t>(generic.size)), IconTheme::genericPng());

    for (const char* other : {"/Applications/", "/applications", "/", "", "/Applications/unknown.app",
                              "/Applications/org.example.Red", "/etc/passwd", static_cast<const char*>(nullptr)}) {
        EXPECT_FALSE(AppEntity::ListVirtualFolder(other, &none)) << other;
        EXPECT_FALSE(AppEntity::IconForPath(other, &none)) << other;
        EXPECT_EQ(none.size, 0);
    }
    EXPECT_FALSE(AppEntity::ListVirtualFolder("/Applications/org.example.Red.app", &none));
    EXPECT_FALSE(AppEntity::IconForPath("/Applications", &none));
    EXPECT_EQ(none.size, 0);
}

TEST_F(Apps, OpenLaunchesTheEntryWithItsFieldCodesHandledOrBringsItForward)
{
    CORVANE_START_XVFB(x, 640, 480);
    const std::string file =
        TestAppEntry(" \"two words\" %U %f %i %c %k 100%% \"--tag=\\\\$HOME\" %d", "Icon=app-icon\n");
    std::signal(SIGPIPE, SIG_IGN); // as the server has it
    CData reply;
    AppEntity::OpenApp(kPath, &reply);
    EXPECT_EQ(reply.size, 0);
    ASSERT_GT(Launched(Log()), 0);
    EXPECT_EQ(Lines(Log(), "as "), std::vector<std::string>{"as sigpipe-default own-session"});
    const unsigned long window = MappedWindow(Log());
    ASSERT_NE(window, 0u);
    std::vector<std::string> args = Lines(Log(), "arg ");
    for (std::string& arg : args)
        arg.erase(0, 4);
    EXPECT_EQ(args, (std::vector<std::string>{"--log", Log(), "--lifetime", "60", "two words", "--icon", "app-icon",
                                              "Test App", file, "100%", "--tag=$HOME"}));
    EXPECT_EQ(Running(), "testapp.app=1 ");

    // No window manager runs: the running window is raised and focused directly.
    AppEntity::OpenApp(kPath, &reply);
    EXPECT_FALSE(WaitForLine(Log(), "focus").empty());
    Window focus = 0;
    int revert = 0;
    X11Display::instance().With([&](Display* d) { XGetInputFocus(d, &focus, &revert); });
    EXPECT_EQ(focus, window);
    AppEntity::ActiviteApp(kPath, &reply);
    EXPECT_EQ(reply.size, 0);
    EXPECT_EQ(Lines(Log(), "started").size(), 1u);
}

TEST_F(Apps, DBusActivatableAndTerminalApplicationsStartAsFromTheDesktopsMenu)
{
    // Started by the session bus, which runs the service of the same name.
    sandbox.root().write("sys1/dbus-1/services/org.example.Probe.service",
                         "[D-BUS Service]\nName=org.example.Probe\nExec=/bin/sh -c 'echo activated >> " + Log() + "'\n");
    Entry("sys1", "org.example.Probe.desktop", "Type=Application\nName=Probe\nDBusActivatable=true\n");
    SessionBus bus;
    ASSERT_TRUE(bus.started());
    bus.enter();
    CData reply;
    AppEntity::OpenApp("/Applications/org.example.Probe.app", &reply);
    EXPECT_EQ(WaitForLine(Log(), "activated"), "activated");

    // A terminal application opens in the desktop's terminal (stand-ins of
    // the ones GIO looks for first), in the folder its entry names.
    const std::string folder = sandbox.root().file("bin");
    StubTools terminals({"xdg-terminal-exec", "gnome-terminal"});
    for (const char* terminal : {"xdg-terminal-exec", "gnome-terminal"})
        terminals.define(terminal, "pwd >> '" + Log("cwd") + "'\n");
    Entry("sys1", "top.desktop", "Type=Application\nName=Top\nExec=true --batch %U\nTerminal=true\nPath=" + folder + "\n");
    AppEntity::OpenApp("/Applications/top.app", &reply);
    EXPECT_EQ(WaitForLine(Log("cwd"), "/"), folder);
    const std::vector<std::string> calls = terminals.calls();
    EXPECT_TRUE(calls == std::vector<std::string>{"gnome-terminal -- true --batch"} ||
                calls == std::vector<std::string>{"xdg-terminal-exec true --batch"})
        << testing::PrintToString(calls);
}

// The live channel's thread runs at real-time priority where the system
// grants it; the player a music key starts must not.
TEST_F(Apps, AMusicKeyStartsThePlayerWithNormalScheduling)
{
    const sched_param realtime{.sched_priority = 99};
    if (pthread_setschedparam(pthread_self(), SCHED_RR, &realtime) != 0)
        GTEST_SKIP() << "real-time scheduling is not granted here";
    const sched_param normal{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
    const std::string policy = sandbox.root().file("policy");
    const std::string player = sandbox.root().write("bin/player", "#!/bin/sh\nchrt -p $$ > '" + policy + "'\n");
    std::filesystem::permissions(player, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    Entry("sys1", "iTunes.desktop", "Type=Application\nName=Player\nExec=\"" + player + "\"\n");
    InProcessServer server;
    Phone phone(server.port());
    phone.send({{MsgType_MusicPlayPause}});
    Eventually([&] { return TempDir::read(policy).find('\n') != std::string::npos; }, 10000);
    EXPECT_NE(TempDir::read(policy).find("SCHED_OTHER"), std::string::npos) << TempDir::read(policy);
}

TEST_F(Apps, WithAWindowManagerActivationAndClosingAreAskedOfIt)
{
    CORVANE_START_XVFB(x, 640, 480);
    FakeWindowManager manager;
    ASSERT_TRUE(manager.connected());
    manager.announce();
    TestAppEntry();
    // Known only by its window class: its command names no program to look for.
    Entry("sys1", "byclass.desktop",
          "Type=Application\nName=By Class\nExec=sh -c \"exit 0\"\nStartupWMClass=corvanetestapp\n");
    EXPECT_EQ(Running(), "byclass.app=0 testapp.app=0 ");

    ChildProcess app(AppArgs(Log()), {.stopSignal = SIGKILL});
    const unsigned long window = MappedWindow(Log());
    ASSERT_NE(window, 0u);
    manager.set("_NET_CLIENT_LIST", XA_WINDOW, {window});
    EXPECT_EQ(Running(), "byclass.app=1 testapp.app=1 ");

    CData reply;
    AppEntity::ActiviteApp(kPath, &reply);
    using Request = FakeWindowManager::Request;
    EXPECT_EQ(manager.awaitRequest("_NET_ACTIVE_WINDOW"), (Request{window, 2})) << "2: from a task switcher";

    AppEntity::ExitApp("/Applications/byclass.app", &reply);
    EXPECT_EQ(manager.awaitRequest("_NET_CLOSE_WINDOW").value_or(Request{}).window, window);
    EXPECT_EQ(reply.size, 0);
    EXPECT_EQ(Lines(Log(), "started").size(), 1u);
}

TEST_F(Apps, QuitAndForceQuitAddressOnlyTheFirstRunningInstanceOfTheirApplication)
{
    CORVANE_START_XVFB(x, 640, 480);
    TestAppEntry();
    Entry("sys1", "stopped.desktop", "Type=Application\nName=Stopped\nExec=sh -c \"exit 0\"\n");
    // The first one refuses the close request, as an application asking to save would.
    ChildProcess first(AppArgs(Log("first"), {"--refuse-close"}), {.stopSignal = SIGKILL});
    ASSERT_NE(MappedWindow(Log("first")), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // a later start time
    ChildProcess second(AppArgs(Log("second")), {.stopSignal = SIGKILL});
    ASSERT_NE(MappedWindow(Log("second")), 0u);

    // Stopped applications and paths of none reach neither instance.
    CData reply;
    for (const char* path : {"/Applications/stopped.app", "/Applications/iTunes.app", "/Applications/testapp",
                             "/etc/testapp.app", "/Applications/sys/testapp.app", "Applications/testapp.app",
                             "/Applications/.app", "", static_cast<const char*>(nullptr)}) {
        AppEntity::ExitApp(path, &reply);
        AppEntity::CloseApp(path, &reply);
    }
    AppEntity::OpenApp("/Applications/iTunes.app", &reply);
    AppEntity::ActiviteApp(nullptr, &reply);
    EXPECT_EQ(reply.size, 0);

    AppEntity::ExitApp(kPath, &reply);
    EXPECT_FALSE(WaitForLine(Log("first"), "delete-window").empty());
    EXPECT_TRUE(first.running());
    AppEntity::CloseApp(kPath, &reply);
    EXPECT_TRUE(Ends(first));
    EXPECT_EQ(Lines(Log("first"), "sigterm").size(), 0u) << "killed, not asked";
    EXPECT_EQ(Lines(Log("first"), "delete-window").size(), 1u);
    EXPECT_TRUE(second.running());
    EXPECT_EQ(Lines(Log("second"), "delete-window").size(), 0u);

    AppEntity::ExitApp(kPath, &reply);
    EXPECT_FALSE(WaitForLine(Log("second"), "delete-window").empty());
    EXPECT_TRUE(Ends(second));
    EXPECT_EQ(reply.size, 0);

    // An instance without windows is asked with SIGTERM.
    ChildProcess windowless(AppArgs(Log("windowless"), {"--no-window"}), {.stopSignal = SIGKILL});
    ASSERT_FALSE(WaitForLine(Log("windowless"), "started").empty());
    AppEntity::ExitApp(kPath, &reply);
    EXPECT_FALSE(WaitForLine(Log("windowless"), "sigterm").empty());
    EXPECT_TRUE(Ends(windowless));
    // With none running, activating starts one (the only one started: the
    // paths above started none).
    AppEntity::ActiviteApp(kPath, &reply);
    EXPECT_GT(Launched(Log()), 0);
    EXPECT_EQ(Lines(Log(), "started").size(), 1u);
}

} // namespace
