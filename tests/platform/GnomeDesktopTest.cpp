#include "GnomeSession.h"
#include "HttpRequest.h"
#include "LoopbackHttpServer.h"
#include "Phone.h"
#include "ServerProcess.h"
#include "TextFieldProbe.h"
#include "UserSandbox.h"

#include <QColor>
#include <QImage>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

// The probe's pointer and key reports.
bool Input(const std::string& line)
{
    for (const char* kind : {"PRESS ", "RELEASE ", "MOVE ", "WHEEL ", "KEY "}) {
        if (line.rfind(kind, 0) == 0)
            return true;
    }
    return false;
}

} // namespace

// A GNOME desktop of the test's own (mutter with XWayland, PipeWire), the
// real server program started as at login, then a full-screen text field
// as a native Wayland client: what the phone does has its real effect there.
TEST(GnomeDesktop, ThePhoneDrivesAGnomeWaylandDesktop)
{
    UserSandbox sandbox;
    sandbox.set("no_proxy", "*");
    sandbox.set("NO_PROXY", "*");
    sandbox.skipFirstStart(); // the help window would take the focus
    CORVANE_START_GNOME(gnome, 1280, 800);
    gnome.enter();
    LoopbackHttpServer http;
    ServerProcess server({}, true, false);
    EXPECT_TRUE(server.waitForOutput("desktop backend: gnome (Wayland session wayland-corvane, "
                                     "org.gnome.Mutter.RemoteDesktop on the session bus)\n"))
        << server.output();
    // GNOME has no tray: the menu window opens, and takes the focus, at
    // start-up, before the user's own windows.
    EXPECT_TRUE(server.waitForOutput("status menu: in a window (the desktop has no tray)\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    TextFieldProbe probe({.platform = "wayland", .fullScreen = true});
    ASSERT_TRUE(probe.waitUntilReady()) << server.output();
    // mutter reports stale pointer positions just after a window goes full screen.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Phone phone(server.tcpPort());

    // Text in several scripts, most of it not on the keyboard layout; what
    // the user had copied is there again afterwards.
    probe.copy("the user's own copy");
    ASSERT_TRUE(Eventually([&] { return phone.request("OpKey_GetChipBoardData") == "1^_7the user's own copy"; }));
    const std::string text = "héllo wörld 你好 😀";
    phone.request("OpKey_WriteStr", text);
    EXPECT_TRUE(probe.waitForText(text)) << probe.text();
    EXPECT_TRUE(Eventually([&] { return probe.clipboard() == "the user's own copy"; })) << probe.clipboard();

    // Pointer: the server put it in the middle of the monitor (absolute
    // motion); moves are relative from there; clicks, a drag, the wheel.
    std::size_t from = probe.reports().size();
    phone.send({{MsgType_Move, "0", 10, 5},
                {MsgType_LeftAction, "2"},
                {MsgType_RightAction, "2"},
                {MsgType_Drag, "0", 20, 0},
                {MsgType_LeftAction, "1"},
                {MsgType_Scroll, "0", 0, 8}}); // 8 steps of 5 pixels up: one wheel click
    const std::vector<std::string> pointer = {"MOVE 650 405",    "PRESS 1 650 405", "RELEASE 1 650 405",
                                              "PRESS 2 650 405", "RELEASE 2 650 405", "PRESS 1 650 405",
                                              "MOVE 670 405",    "RELEASE 1 670 405", "WHEEL 0 120"};
    EXPECT_EQ(probe.reportsAfter(from, pointer.size(), Input), pointer);

    // Keys with modifiers (Qt key and modifier codes).
    from = probe.reports().size();
    phone.request("OpKey_HotKey", "0^_78");      // a with Shift
    phone.request("OpKey_WriteKeyCode2", "8^_72"); // c with Control
    phone.send({{MsgType_Return}});
    const std::vector<std::string> keys = {"KEY 1000020 2000000", "KEY 41 2000000", "KEY 1000021 4000000",
                                           "KEY 43 4000000", "KEY 1000004 0"};
    EXPECT_EQ(probe.reportsAfter(from, keys.size(), Input), keys);
    EXPECT_TRUE(probe.waitForText(text + "A"));

    // The clipboard without the focus: read, and pushed on a change.
    const std::string settings = "gnome-id^_7device-token^_7" + http.url() + "^_7Basic Z25vbWU6a2V5";
    EXPECT_EQ(phone.request("OpKey_SyncWorkConfig", settings), settings);
    phone.request("OpKey_SyncWork", "1");
    std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // the first check only records
    probe.copy("copied in a Wayland window");
    EXPECT_TRUE(Eventually([&] { return phone.request("OpKey_GetChipBoardData") == "1^_7copied in a Wayland window"; }));
    ASSERT_TRUE(http.waitForRequests(1));
    EXPECT_EQ(http.requests()[0].body, HttpRequest::JPushBody("gnome-id", HttpRequest::kTypeText));

    // The laser dot floats above the full-screen window, and a click on it
    // reaches the window below.
    phone.request("OpKey_LightSize", "40^_740^_71");
    // Made centred (24 × 24), grown from its bottom-left corner: its middle
    // is at (648, 392).
    QImage screen;
    EXPECT_TRUE(Eventually([&] {
        screen = phone.screenshot();
        return !screen.isNull() && screen.pixelColor(648, 392) == QColor(Qt::red);
    })) << (screen.isNull() ? "no screenshot" : screen.pixelColor(648, 392).name().toStdString());
    // The screenshot is the monitor with the text field over all of it.
    EXPECT_EQ(screen.size(), QSize(1280, 800));
    EXPECT_EQ(screen.pixelColor(100, 100), QColor(Qt::white));
    EXPECT_EQ(screen.pixelColor(700, 700), QColor(Qt::white));
    from = probe.reports().size();
    phone.send({{MsgType_Move, "0", -22, -13}, {MsgType_LeftAction, "2"}}); // from (670, 405) to the dot's middle
    const std::vector<std::string> through = {"MOVE 648 392", "PRESS 1 648 392", "RELEASE 1 648 392"};
    EXPECT_EQ(probe.reportsAfter(from, through.size(), Input), through);

    // CORVANE_SCREENSHOT_DIR=docs/screenshots keeps the picture for the docs.
    if (const char* folder = std::getenv("CORVANE_SCREENSHOT_DIR")) {
        EXPECT_TRUE(screen.save(QString::fromLocal8Bit(folder) + QStringLiteral("/laser-pointer-gnome.png")));
    }
}
