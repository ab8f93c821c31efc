// Real effects of the phone's operations on a headless sway, through the
// corvane program started as at login: one compositor and one server for
// the whole program, native Wayland text-field probes as the windows that
// receive them.
#include "ChildProcess.h"
#include "HttpRequest.h"
#include "LoopbackHttpServer.h"
#include "Phone.h"
#include "ServerProcess.h"
#include "SwaySession.h"
#include "TempDir.h"
#include "TextFieldProbe.h"
#include "UserSandbox.h"
#include "WaylandConnection.h"
#include "WaylandKeymap.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

namespace {

using Live = Phone::Live;

class WlrootsSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        user.emplace();
        user->skipFirstStart();
        sway.emplace();
        if (!sway->started())
            return;
        // Before the probes, as at login: its menu window (sway shows no
        // tray) and its keyboard come first.
        server.emplace(std::vector<std::string>{}, true, false);
        phone.emplace(server->tcpPort());
    }
    static void TearDownTestSuite()
    {
        phone.reset();
        server.reset();
        sway.reset();
        user.reset();
    }
    void SetUp() override
    {
        if (!SwaySession::installed()) {
            ASSERT_EQ(std::getenv("CORVANE_REQUIRE_X"), nullptr) << "sway is required (CORVANE_REQUIRE_X is set)";
            GTEST_SKIP() << "sway is not installed";
        }
        ASSERT_TRUE(sway->started()) << sway->output();
        ASSERT_TRUE(server) << "corvane did not start";
    }

    static std::unique_ptr<TextFieldProbe> Probe(bool fullScreen = false, const std::string& appId = {})
    {
        auto probe = std::make_unique<TextFieldProbe>(
            TextFieldProbe::Options{.platform = "wayland", .fullScreen = fullScreen, .appId = appId});
        EXPECT_TRUE(probe->waitUntilReady());
        return probe;
    }
    // A full-screen probe with the pointer at a place it has seen: the
    // window takes the whole screen a moment after it has the focus.
    static std::unique_ptr<TextFieldProbe> FullScreenProbe()
    {
        auto probe = Probe(true);
        bool placed = false;
        for (int i = 0; i < 20 && !placed; ++i) {
            const std::size_t mark = probe->mark();
            phone->send({{MsgType_Move, ".", -10000, -10000}, {MsgType_Move, ".", 110, 95}});
            placed = probe->waitForLineAfter(mark, "MOVE 110 95", 250);
        }
        EXPECT_TRUE(placed);
        return probe;
    }

    static inline std::optional<UserSandbox> user;
    static inline std::optional<SwaySession> sway;
    static inline std::optional<ServerProcess> server;
    static inline std::optional<Phone> phone;
};

// Runs act, then returns the probe's new report lines that pass `counted`
// (TextFieldProbe::reportsAfter).
std::vector<std::string> After(TextFieldProbe& probe, const std::function<void()>& act,
                               const std::function<bool(const std::string&)>& counted, std::size_t count)
{
    const std::size_t before = probe.reports().size();
    act();
    return probe.reportsAfter(before, count, counted);
}

// The keymap the seat's keyboard has now, as a new client receives it.
std::string SeatKeymap()
{
    WaylandConnection wayland;
    WaylandKeymap keymap(wayland);
    const std::string text = keymap.text();
    wayland.stopDispatching();
    return text;
}

TEST_F(WlrootsSessionTest, PointerMovesClicksDragsAndScrollsReachTheWindow)
{
    EXPECT_NE(server->output().find("desktop backend: wlroots ("), std::string::npos) << server->output();
    const auto probe = FullScreenProbe();
    const struct {
        std::vector<Live> messages;
        std::vector<std::string> lines; // what the window reports, in order
    } steps[] = {
        {{{MsgType_Move, ".", -25, 30}}, {"MOVE 85 125"}},
        {{{MsgType_Move, ".", -10000, -10000}, {MsgType_Move, ".", -1, -1}, {MsgType_Move, ".", 5, 5}}, {"MOVE 5 5"}},
        {{{MsgType_Move, ".", 10000, 10000}}, {"MOVE 1279 799"}},
        {{{MsgType_Move, ".", 5, 0}, {MsgType_Move, ".", -101, -99}}, {"MOVE 1178 700"}},
        {{{MsgType_LeftAction, "2"}}, {"PRESS 1 1178 700", "RELEASE 1 1178 700"}},
        {{{MsgType_RightAction, "0"}, {MsgType_RightAction, "1"}}, {"PRESS 2 1178 700", "RELEASE 2 1178 700"}},
        {{{MsgType_LeftDouble, "."}},
         {"PRESS 1 1178 700", "RELEASE 1 1178 700", "PRESS 1 1178 700", "RELEASE 1 1178 700"}},
        {{{MsgType_Drag, ".", -20, -10}, {MsgType_Drag, ".", -5, -5}, {MsgType_LeftAction, "1"}},
         {"PRESS 1 1178 700", "MOVE 1158 690", "MOVE 1153 685", "RELEASE 1 1153 685"}},
        {{{MsgType_Scroll, ".", 0, -3}, {MsgType_Scroll, ".", 0, -5}, {MsgType_Scroll, ".", 16, 0}},
         {"WHEEL 0 -120", "WHEEL 240 0"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.lines.back());
        // Buttons and wheels exactly; of the moves, those the step expects.
        const auto reported = [&](const std::string& line) {
            const bool expected = std::find(step.lines.begin(), step.lines.end(), line) != step.lines.end();
            return line.rfind("MOVE ", 0) != 0 || expected;
        };
        EXPECT_EQ(After(*probe, [&] { phone->send(step.messages); }, reported, step.lines.size()), step.lines);
    }
}

TEST_F(WlrootsSessionTest, KeysAndShortcutsArriveWithTheirModifiers)
{
    const auto probe = Probe();
    const auto request = [](const char* head, const std::string& body) {
        return [=] { phone->request(head, body); };
    };
    const struct {
        std::function<void()> act;
        std::vector<std::string> keys; // "KEY <Qt key> <Qt modifiers>", hex
    } cases[] = {
        {request("OpKey_HotKey", "1^_79"), {"KEY 53 6000000"}},       // Command+Shift+S
        {request("OpKey_WriteKeyCode2", "8^_73"), {"KEY 43 8000000"}}, // Option+C
        {[] { phone->send({{MsgType_Return}, {MsgType_Delete}, {MsgType_Up}}); },
         {"KEY 1000004 0", "KEY 1000003 0", "KEY 1000013 0"}},
        {request("OpKey_WindowExec", "1"), {"KEY 57 4000000"}},   // close: Control+W
        {request("OpKey_PPTExec", "1"), {"KEY 1000034 0"}},       // start the show: F5
        {[] { phone->send({{MsgType_MusicNext}}); }, {"KEY 1000083 0"}}, // the media key, not the arrow
        {[] {
             for (const char* code : {"10000", "10002", "10002", "10001"})
                 phone->request("OpKey_WindowExec", code);
         },
         {"KEY 1000023 8000000", "KEY 1000001 8000000", "KEY 1000001 8000000"}}, // Alt held across two Tabs
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys.back());
        const auto isKey = [](const std::string& line) { return line.rfind("KEY ", 0) == 0; };
        EXPECT_EQ(After(*probe, c.act, isKey, c.keys.size()), c.keys);
    }
}

TEST_F(WlrootsSessionTest, TextArrivesExactlyAndTheLayoutComesBack)
{
    const auto probe = Probe();
    std::string expected = "héllo wörld 你好 😀";
    phone->request("OpKey_WriteStr", expected);
    EXPECT_TRUE(probe->waitForText(expected)) << "field holds: " << probe->text();
    EXPECT_NE(SeatKeymap().find("eacute"), std::string::npos) << "é comes from an uploaded keymap";

    // Far more distinct characters than one keymap's spare key codes hold
    // (at most 247), some of them repeated, between letters of the layout.
    std::string many;
    for (int i = 0; i < 300; ++i) {
        const char32_t c = 0x4E00 + static_cast<char32_t>(i % 7 == 6 ? i / 2 : i) * 37;
        many += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                 static_cast<char>(0x80 | (c & 0x3F))};
        if (i % 5 == 4)
            many += "x";
    }
    phone->request("OpKey_WriteStr", many);
    EXPECT_TRUE(probe->waitForText(expected += many)) << "field holds: " << probe->text();

    // Caps Lock on: the key A gives a capital, the typed text stays as it is.
    phone->request("OpKey_WriteKeyCode", "57");
    phone->request("OpKey_WriteKeyCode", "0");
    phone->send({{MsgType_Text, "abC é"}});
    EXPECT_TRUE(probe->waitForText(expected += "AabC é")) << "field holds: " << probe->text();
    phone->request("OpKey_WriteKeyCode", "57");

    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const std::string layout = SeatKeymap();
    EXPECT_EQ(layout.find("eacute"), std::string::npos) << "the layout's own keymap is back";
    EXPECT_NE(layout.find("xkb_symbols"), std::string::npos);
}

// Read without the focus (the server's windows never have it), and pushed
// on each new copy.
TEST_F(WlrootsSessionTest, TheClipboardIsReadAndEachNewCopyPushed)
{
    const auto probe = Probe();
    // sway takes a selection only with a recent input serial: a key first.
    phone->request("OpKey_WriteKeyCode", "123");
    ASSERT_TRUE(probe->waitForLine("KEY 1000012 0"));
    probe->copy("copied on sway");
    EXPECT_TRUE(Eventually([] { return phone->request("OpKey_GetChipBoardData") == "1^_7copied on sway"; }));
    EXPECT_EQ(phone->request("OpKey_GetRichChipBoardData"), "_^_7copied on sway");

    LoopbackHttpServer http;
    phone->request("OpKey_SyncWorkConfig", "sway-id^_7token^_7" + http.url() + "^_7Basic c3dheTprZXk=");
    phone->request("OpKey_SyncWork", "1");
    ASSERT_TRUE(server->waitForOutput("=====>粘帖板有变化")); // the first check records the clipboard
    probe->copy("pushed");
    ASSERT_TRUE(http.waitForRequests(1));
    EXPECT_EQ(http.requests()[0].body, HttpRequest::JPushBody("sway-id", HttpRequest::kTypeText));
    phone->request("OpKey_SyncWork", "0");
}

TEST_F(WlrootsSessionTest, TheLaserDotShowsAboveAFullScreenWindowAndClicksPassThrough)
{
    const auto probe = FullScreenProbe();
    // Made centred (24 × 24) and grown from its bottom-left corner, its
    // middle is at (648, 392); the phone moves it by (-100, 50).
    phone->request("OpKey_LightSize", "40^_740^_71");
    phone->send({{MsgType_LightMove, ".", -100, 50}});
    QImage shot;
    EXPECT_TRUE(Eventually([&] {
        shot = phone->screenshot();
        return !shot.isNull() && shot.pixel(548, 442) == qRgb(255, 0, 0);
    })) << "no red dot at (548, 442)";
    EXPECT_EQ(shot.size(), QSize(SwaySession::kWidth, SwaySession::kHeight));
    EXPECT_EQ(shot.pixel(530, 424), qRgb(255, 255, 255)); // outside the round dot: the field
    EXPECT_EQ(shot.pixel(648, 392), qRgb(255, 255, 255)); // where it was made

    const std::vector<std::string> through = {"MOVE 548 442", "PRESS 1 548 442", "RELEASE 1 548 442"};
    const auto pointer = [](const std::string& line) {
        return line.rfind("MOVE ", 0) == 0 || line.rfind("PRESS ", 0) == 0 || line.rfind("RELEASE ", 0) == 0;
    };
    EXPECT_EQ(After(*probe, [] { phone->send({{MsgType_Move, ".", 438, 347}, {MsgType_LeftAction, "2"}}); },
                    pointer, through.size()),
              through);
    phone->send({{MsgType_LightOff}});
}

TEST_F(WlrootsSessionTest, ApplicationsAreRaisedAndClosedByTheirAppId)
{
    // One entry named as the first window's app id, one naming the second's
    // as its window class.
    const std::string entry = "[Desktop Entry]\nType=Application\nName=Probe\nExec=true\n";
    user->root().write("data/applications/corvane-probe-a.desktop", entry);
    user->root().write("data/applications/second-probe.desktop", entry + "StartupWMClass=corvane-probe-b\n");
    const auto first = Probe(false, "corvane-probe-a");
    const auto second = Probe(false, "corvane-probe-b"); // the newest window has the focus
    const std::string list = phone->request("OpKey_GetAppList");
    for (const char* id : {"corvane-probe-a", "second-probe"}) {
        const std::size_t at = list.find(std::string(id) + ".app");
        ASSERT_NE(at, std::string::npos) << list;
        EXPECT_EQ(list.substr(list.find("^_7", at) - 4, 4), "^%_1") << "listed as running: " << id;
    }

    phone->request("OpKey_ActivityApp", "/Applications/corvane-probe-a.app");
    phone->send({{MsgType_Text, "raised"}});
    EXPECT_TRUE(first->waitForText("raised")) << "first holds: " << first->text();
    EXPECT_EQ(second->text(), "");

    phone->request("OpKey_SafeExitApp", "/Applications/second-probe.app");
    // Its window was asked to close, as by its close button (a signal would
    // end it without one). Whether the program then quits is its own affair.
    EXPECT_TRUE(second->waitForLine("CLOSE", 20000)) << server->output();
    EXPECT_EQ(first->wait(200), -1) << "the other application runs on";
}

TEST_F(WlrootsSessionTest, ScreenshotIsThePictureGrimTakesHoweverTheOutputIsTurned)
{
    const auto probe = Probe(true);
    TempDir dir;
    const auto grim = [&] {
        EXPECT_EQ(ChildProcess::Run({"grim", dir.file("grim.png")}).status, 0) << "grim is needed";
        return QImage(QString::fromStdString(dir.file("grim.png"))).convertToFormat(QImage::Format_RGB32);
    };
    const auto differing = [](const QImage& a, const QImage& b) {
        long long count = a.size() == b.size() ? 0 : a.width() * a.height();
        for (int y = 0; y < a.height() && a.size() == b.size(); ++y) {
            for (int x = 0; x < a.width(); ++x)
                count += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
        }
        return count;
    };
    // How much of the screen the white text field covers.
    const auto whiteShare = [&](const QImage& image) {
        QImage white(image.size(), QImage::Format_RGB32);
        white.fill(Qt::white);
        const double pixels = static_cast<double>(white.width()) * white.height();
        return image.isNull() ? 0.0 : 1.0 - static_cast<double>(differing(image, white)) / pixels;
    };
    const struct {
        const char* output;
        QSize size;
    } cases[] = {
        {"transform normal scale 1", {SwaySession::kWidth, SwaySession::kHeight}},
        {"transform 90", {SwaySession::kHeight, SwaySession::kWidth}},
        {"transform flipped-270", {SwaySession::kHeight, SwaySession::kWidth}},
        {"transform normal scale 2", {SwaySession::kWidth, SwaySession::kHeight}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        ASSERT_TRUE(sway->command(std::string("output HEADLESS-1 ") + c.output));
        // Until the window has drawn itself anew: two pictures alike.
        QImage before = grim(), after = grim();
        for (int i = 0; i < 50 && (differing(before, after) > 40 || whiteShare(after) < 0.5); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            before = std::exchange(after, grim());
        }
        const QImage ours = phone->screenshot();
        EXPECT_EQ(ours.size(), c.size);
        EXPECT_LE(std::min(differing(ours, after), differing(ours, grim())), 40) << "the picture grim takes";
        EXPECT_GT(whiteShare(ours), 0.5) << "the white text field fills the screen";
    }
    sway->command("output HEADLESS-1 transform normal scale 1");

    // An output plugged in after start-up joins the picture (for the rest
    // of the session: sway 1.7 cannot unplug it again).
    ASSERT_TRUE(sway->command("create_output"));
    EXPECT_TRUE(Eventually([] { return phone->screenshot().width() > SwaySession::kWidth; }));
}

// Last: the server ends on SIGTERM with status 0, its Wayland services
// taken down without a fault (sanitizer builds report one with another
// status).
TEST_F(WlrootsSessionTest, TheServerEndsCleanly)
{
    phone.reset();
    EXPECT_EQ(server->stop(), 0) << server->output();
}

} // namespace
