#include "ChildProcess.h"
#include "Config.h"
#include "NetworkNamespaces.h"
#include "NoticeListener.h"
#include "Phone.h"
#include "ServerProcess.h"
#include "TrayHost.h"
#include "UserSandbox.h"
#include "XvfbServer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <thread>
#include <unistd.h>

// The real program with its desktop side on a private X server, driven the
// way a user would: pointer clicks and keys through xdotool.
namespace {

std::vector<std::string> Xdotool(std::vector<std::string> args)
{
    args.insert(args.begin(), "xdotool");
    std::vector<std::string> lines;
    std::istringstream stream(ChildProcess::Run(args).out);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> VisibleWindows(pid_t pid)
{
    return Xdotool({"search", "--onlyvisible", "--pid", std::to_string(pid)});
}

std::vector<std::string> VisibleWindowsNamed(const std::string& name)
{
    return Xdotool({"search", "--onlyvisible", "--name", name});
}

// Opens the tray icon's menu with a right click in its middle: the program
// then shows one more window. A click on a window still settling may be
// lost, so it is tried again.
bool OpenMenu(const std::string& icon, pid_t pid)
{
    const size_t before = VisibleWindows(pid).size();
    for (int attempt = 0; attempt < 3; ++attempt) {
        ChildProcess::Run({"/bin/sh", "-c", "eval $(xdotool getwindowgeometry --shell " + icon +
                                                "); xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3"});
        if (Eventually([&] { return VisibleWindows(pid).size() == before + 1; }, 3000))
            return true;
    }
    return false;
}

void Keys(const std::vector<std::string>& keys)
{
    std::vector<std::string> args = {"key", "--delay", "60"};
    args.insert(args.end(), keys.begin(), keys.end());
    Xdotool(args);
}

} // namespace

TEST(DesktopProgram, TrayMenuOpensWindowsAndQuitEndsAtOnceWithoutANotice)
{
    CORVANE_START_XVFB(xvfb, 1024, 768);
    CORVANE_REQUIRE_TOOLS(TrayHost::installed() && ::access("/usr/bin/xdotool", X_OK) == 0, "trayer or xdotool");
    UserSandbox sandbox; // no session bus either: nothing reaches the real desktop tray
    Config::setIsFirstStart(false);
    TrayHost tray;
    ASSERT_TRUE(tray.started());
    ServerProcess corvane({}, true, false);
    NoticeListener listener(corvane.udpPort());

    // The icon is the program's one visible window: docked in the tray.
    std::vector<std::string> windows;
    ASSERT_TRUE(Eventually([&] {
        windows = VisibleWindows(corvane.pid());
        return windows.size() == 1;
    }, 10000)) << windows.size();
    const std::string icon = windows[0];
    EXPECT_TRUE(VisibleWindowsNamed("^Corvane$").empty()) << "the menu window shows although there is a tray";

    // Its menu opens on a right click; from the bottom: Quit, About.
    ASSERT_TRUE(OpenMenu(icon, corvane.pid()));
    Keys({"Up", "Up", "Return"});
    EXPECT_TRUE(Eventually([&] { return !VisibleWindowsNamed("About Corvane").empty(); }, 10000));

    ASSERT_TRUE(OpenMenu(icon, corvane.pid()));
    Keys({"Up", "Return"});
    EXPECT_EQ(corvane.wait(10000), 1);
    EXPECT_EQ(listener.hear(1000), "") << "the quit entry must not send the leaving notice";
}

TEST(DesktopProgram, ASecondCopyWaitsForItsAlertToBeDismissedThenExitsWithOne)
{
    CORVANE_START_XVFB(xvfb, 1024, 768);
    CORVANE_REQUIRE_TOOLS(TrayHost::installed() && ::access("/usr/bin/xdotool", X_OK) == 0, "trayer or xdotool");
    UserSandbox sandbox; // no session bus either: nothing reaches the real desktop tray
    Config::setIsFirstStart(false);
    ServerProcess first({}, true, false);
    ServerProcess second({"--port", std::to_string(first.tcpPort()), "--udp-port", std::to_string(first.udpPort())},
                         false, false);
    std::vector<std::string> alert;
    ASSERT_TRUE(Eventually([&] {
        alert = VisibleWindows(second.pid());
        return alert.size() == 1;
    }, 10000));
    // Still there while the alert is up.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(second.running());
    Xdotool({"windowfocus", "--sync", alert[0]});
    Keys({"Return"});
    EXPECT_EQ(second.wait(10000), 1);
    // The first copy carries on.
    EXPECT_TRUE(first.running());
}

TEST(DesktopProgram, AnUntrustedPhoneIsAskedAboutOnceInAWindowThatEscapeCloses)
{
    CORVANE_START_XVFB(xvfb, 1024, 768);
    CORVANE_REQUIRE_TOOLS(::access("/usr/bin/xdotool", X_OK) == 0, "xdotool");
    CORVANE_REQUIRE_NAMESPACES();
    UserSandbox sandbox; // no session bus either: nothing reaches the real desktop tray
    Config::setIsFirstStart(false);
    NetworkNamespaces nets;
    std::optional<ServerProcess> corvane;
    {
        NetworkNamespaces::Inside inside(nets, NetworkNamespaces::Side::Server);
        corvane.emplace(std::vector<std::string>{}, true, false);
    }
    auto request = [&] { return nets.connect(0, corvane->tcpPort(), "OpKey_GetDeviceInfo"); };
    auto questions = [] { return VisibleWindowsNamed("^New Device Wants to Connect$"); };
    auto first = request(), second = request();
    std::vector<std::string> shown;
    ASSERT_TRUE(Eventually([&] { return !(shown = questions()).empty(); }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(questions().size(), 1u);
    EXPECT_FALSE(first->waitForClose(0)) << "held open while the question is up";

    Xdotool({"windowfocus", "--sync", shown[0]});
    Keys({"Escape"});
    EXPECT_EQ(first->readAll(5000) + second->readAll(5000), "") << "closed without a reply";
    EXPECT_TRUE(first->waitForClose(0) && second->waitForClose(0));
    EXPECT_TRUE(Eventually([&] { return questions().empty(); }, 10000));
    // Refused from now on, without a question.
    EXPECT_TRUE(request()->waitForClose(5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(questions().empty());
}
