// Real effects of the phone's operations on a headless sway, through the
// corvane program: one compositor and one server for the whole program,
// native Wayland text-field probes as the windows that receive them.
#include "CData.h"
#include "ChildProcess.h"
#include "MyClient.h"
#include "SCommon.h"
#include "SRequest.h"
#include "ServerProcess.h"
#include "SwaySession.h"
#include "TempDir.h"
#include "TextFieldProbe.h"
#include "UserSandbox.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <wayland-client.h>

namespace {

const std::string kSep = "^_7";

class WlrootsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        user.emplace();
        sway.emplace();
        if (sway->started())
            server.emplace(); // before the probes: its keyboard is the seat's first
    }
    static void TearDownTestSuite()
    {
        server.reset();
        sway.reset();
        user.reset();
    }
    void SetUp() override
    {
        if (!SwaySession::installed())
            GTEST_SKIP() << "sway is not installed";
        ASSERT_TRUE(sway->started()) << sway->output();
        ASSERT_TRUE(server) << "corvane did not start";
    }

    static std::string Request(const std::string& head, const std::string& body = {})
    {
        SRequest client;
        client.SetInfo("127.0.0.1", server->tcpPort(), 10);
        CData reply;
        EXPECT_EQ(client.SendRequest(head.c_str(), body.c_str(), &reply), NR_OK) << head;
        return reply.pData ? std::string(reply.pData, static_cast<std::size_t>(reply.size)) : std::string();
    }
    // Live messages on one channel: {type, text, x, y}.
    struct Live {
        MsgType type;
        const char* text;
        float x = 0, y = 0;
    };
    static void Send(const std::vector<Live>& messages)
    {
        MyClient client;
        client.SetInfo("127.0.0.1", server->tcpPort(), 5);
        ASSERT_EQ(client.ConnService(), NR_OK);
        for (const Live& live : messages) {
            std::unique_ptr<char[]> message(GetMsgBuf(live.type, live.text, live.x, live.y));
            ASSERT_EQ(client.SendMsg(message.get()), NR_OK);
        }
    }
    static std::unique_ptr<TextFieldProbe> Probe(bool fullScreen = false, const std::string& appId = {})
    {
        auto probe = std::make_unique<TextFieldProbe>(
            TextFieldProbe::Options{.platform = "wayland", .fullScreen = fullScreen, .appId = appId});
        EXPECT_TRUE(probe->waitUntilReady());
        return probe;
    }

    static inline std::optional<UserSandbox> user;
    static inline std::optional<SwaySession> sway;
    static inline std::optional<ServerProcess> server;
};

// Runs act, then returns the probe's new lines that pass `counted` once
// `count` of them came (or the time is up) and a moment passed in which
// more could have come.
std::vector<std::string> After(TextFieldProbe& probe, const std::function<void()>& act,
                               const std::function<bool(const std::string&)>& counted, std::size_t count)
{
    const std::size_t before = probe.reports().size();
    const auto fresh = [&] {
        const std::vector<std::string> all = probe.reports();
        std::vector<std::string> selected;
        std::copy_if(all.begin() + static_cast<long>(before), all.end(), std::back_inserter(selected), counted);
        return selected;
    };
    act();
    for (int i = 0; i < 500 && fresh().size() < count; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return fresh();
}

// The keymap the seat's keyboard has now, as a new client receives it.
std::string SeatKeymap()
{
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr)
        return {};
    struct State {
        wl_seat* seat = nullptr;
        std::string keymap;
    } state;
    static const wl_registry_listener registryListener = {
        .global =
            [](void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
                auto* s = static_cast<State*>(data);
                if (std::string(interface) == "wl_seat" && s->seat == nullptr)
                    s->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
            },
        .global_remove = [](void*, wl_registry*, std::uint32_t) {},
    };
    // A version 1 keyboard of a client without surfaces gets the keymap
    // only: no focus, no keys, no repeat rate.
    static const wl_keyboard_listener keyboardListener = {
        .keymap = [](void* data, wl_keyboard*, std::uint32_t, std::int32_t fd, std::uint32_t size) {
            const std::string text = TempDir::read("/proc/self/fd/" + std::to_string(fd));
            static_cast<State*>(data)->keymap = text.substr(0, size);
            ::close(fd);
        }};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &state);
    wl_display_roundtrip(display);
    if (state.seat != nullptr) {
        wl_keyboard* keyboard = wl_seat_get_keyboard(state.seat);
        wl_keyboard_add_listener(keyboard, &keyboardListener, &state);
        wl_display_roundtrip(display);
        wl_keyboard_destroy(keyboard);
        wl_seat_destroy(state.seat);
    }
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return state.keymap;
}

TEST_F(WlrootsTest, PointerMovesClicksDragsAndScrollsReachTheWindow)
{
    EXPECT_NE(server->output().find("desktop backend: wlroots ("), std::string::npos) << server->output();
    const auto probe = Probe(true);
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
    // The window takes the whole screen a moment after it has the focus:
    // the pointer goes to a known place until the window sees it there.
    bool placed = false;
    for (int i = 0; i < 20 && !placed; ++i) {
        Send({{MsgType_Move, ".", -10000, -10000}, {MsgType_Move, ".", 110, 95}});
        placed = probe->waitForLine("MOVE 110 95", 250);
    }
    ASSERT_TRUE(placed);
    for (const auto& step : steps) {
        SCOPED_TRACE(step.lines.back());
        // Buttons and wheels exactly; of the moves, those the step expects.
        const auto reported = [&](const std::string& line) {
            const bool expected = std::find(step.lines.begin(), step.lines.end(), line) != step.lines.end();
            return line.rfind("MOVE ", 0) != 0 || expected;
        };
        EXPECT_EQ(After(*probe, [&] { Send(step.messages); }, reported, step.lines.size()), step.lines);
    }
}

TEST_F(WlrootsTest, KeysAndShortcutsArriveWithTheirModifiers)
{
    const auto probe = Probe();
    const struct {
        std::function<void()> act;
        std::vector<std::string> keys; // "KEY <Qt key> <Qt modifiers>", hex
    } cases[] = {
        {[] { Request("OpKey_HotKey", "1" + kSep + "9"); }, {"53 6000000"}},      // Command+Shift+S
        {[] { Request("OpKey_WriteKeyCode2", "8" + kSep + "3"); }, {"43 8000000"}}, // Option+C
        {[] { Send({{MsgType_Return, "."}, {MsgType_Delete, "."}, {MsgType_Up, "."}}); },
         {"1000004 0", "1000003 0", "1000013 0"}},
        {[] { Request("OpKey_WindowExec", "1"); }, {"57 4000000"}}, // close: Control+W
        {[] { Request("OpKey_PPTExec", "1"); }, {"1000034 0"}},     // start the show: F5
        {[] { Send({{MsgType_MusicNext, "."}}); }, {"1000083 0"}},   // the media key, not the arrow
        {[] {
             for (const char* code : {"10000", "10002", "10002", "10001"})
                 Request("OpKey_WindowExec", code);
         },
         {"1000023 8000000", "1000001 8000000", "1000001 8000000"}}, // Alt held across two Tabs
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys.back());
        std::vector<std::string> expected;
        for (const std::string& key : c.keys)
            expected.push_back("KEY " + key);
        const auto isKey = [](const std::string& line) { return line.rfind("KEY ", 0) == 0; };
        EXPECT_EQ(After(*probe, c.act, isKey, expected.size()), expected);
    }
}

TEST_F(WlrootsTest, TextArrivesExactlyAndTheLayoutComesBack)
{
    const auto probe = Probe();
    std::string expected = "héllo wörld 你好 😀";
    Request("OpKey_WriteStr", expected);
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
    Request("OpKey_WriteStr", many);
    EXPECT_TRUE(probe->waitForText(expected += many)) << "field holds: " << probe->text();

    // Caps Lock on: the key A gives a capital, the typed text stays as it is.
    Request("OpKey_WriteKeyCode", "57");
    Request("OpKey_WriteKeyCode", "0");
    Send({{MsgType_Text, "abC é"}});
    EXPECT_TRUE(probe->waitForText(expected += "AabC é")) << "field holds: " << probe->text();
    Request("OpKey_WriteKeyCode", "57");

    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const std::string layout = SeatKeymap();
    EXPECT_EQ(layout.find("eacute"), std::string::npos) << "the layout's own keymap is back";
    EXPECT_NE(layout.find("xkb_symbols"), std::string::npos);
}

TEST_F(WlrootsTest, ScreenshotIsThePictureGrimTakesHoweverTheOutputIsTurned)
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
        // Until the window has drawn itself anew: two pictures alike, but
        // for the blinking text cursor.
        QImage before = grim(), after = grim();
        for (int i = 0; i < 50 && (differing(before, after) > 40 || whiteShare(after) < 0.5); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            before = std::exchange(after, grim());
        }
        const QImage ours = QImage::fromData(QByteArray::fromStdString(Request("OpKey_ScreenShot")), "PNG")
                                .convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(ours.size(), c.size);
        EXPECT_LE(std::min(differing(ours, after), differing(ours, grim())), 40) << "only the text cursor may differ";
        EXPECT_GT(whiteShare(ours), 0.5) << "the white text field fills the screen";
    }
    sway->command("output HEADLESS-1 transform normal scale 1");
}

TEST_F(WlrootsTest, ApplicationsAreRaisedAndClosedByTheirAppId)
{
    // One entry named as the first window's app id, one naming the second's
    // as its window class.
    const std::string entry = "[Desktop Entry]\nType=Application\nName=Probe\nExec=true\n";
    user->root().write("data/applications/corvane-probe-a.desktop", entry);
    user->root().write("data/applications/second-probe.desktop", entry + "StartupWMClass=corvane-probe-b\n");
    const auto first = Probe(false, "corvane-probe-a");
    const auto second = Probe(false, "corvane-probe-b"); // the newest window has the focus
    const std::string list = Request("OpKey_GetAppList");
    for (const char* id : {"corvane-probe-a", "second-probe"}) {
        const std::size_t at = list.find(std::string(id) + ".app");
        ASSERT_NE(at, std::string::npos) << list;
        EXPECT_EQ(list.substr(list.find(kSep, at) - 4, 4), "^%_1") << "listed as running: " << id;
    }

    Request("OpKey_ActivityApp", "/Applications/corvane-probe-a.app");
    Send({{MsgType_Text, "raised"}});
    EXPECT_TRUE(first->waitForText("raised")) << "first holds: " << first->text();
    EXPECT_EQ(second->text(), "");

    Request("OpKey_SafeExitApp", "/Applications/second-probe.app");
    EXPECT_GE(second->wait(5000), 0) << "the window was asked to close, not the process killed";
    EXPECT_EQ(first->wait(200), -1) << "the other application runs on";
}

} // namespace
