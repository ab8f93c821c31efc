// Real effects in a headless KDE Plasma session: KWin on a virtual output,
// the corvane program driving it through its KDE backend over loopback,
// and a full-screen text field (a native Wayland client) reporting what
// reaches it.
#include "ChildProcess.h"
#include "FreePort.h"
#include "KdeEventPoster.h"
#include "KwinFakeInput.h"
#include "KwinSession.h"
#include "LoopbackHttpServer.h"
#include "Phone.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "TextFieldProbe.h"
#include "UserSandbox.h"

#include <QImage>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <thread>

namespace {

using Message = Phone::Live;

// A KEY line of the probe: Qt key and modifiers.
std::string Key(int key, Qt::KeyboardModifiers modifiers = {})
{
    char line[32];
    std::snprintf(line, sizeof line, "%x %x", static_cast<unsigned>(key), static_cast<unsigned>(modifiers.toInt()));
    return line;
}

class KdeSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sandbox.emplace();
        sandbox->skipFirstStart();
        KwinSession::Allow(CORVANE_SERVER_EXE, "corvane");
        KwinSession::Allow(std::filesystem::read_symlink("/proc/self/exe"), "corvane-kde-tests");
        CORVANE_START_KWIN(session);
        // The desktop program, before the user's windows, as at login.
        server.emplace(std::vector<std::string>{}, true, false);
        ASSERT_TRUE(server->waitForOutput("status menu: in a window")) << server->output();
        std::this_thread::sleep_for(std::chrono::milliseconds(1000)); // the window is up
        field.emplace(TextFieldProbe::Options{.platform = "wayland", .fullScreen = true});
        ASSERT_TRUE(field->waitUntilReady()) << session->log();
        phone.emplace(server->tcpPort());
    }
    static void TearDownTestSuite()
    {
        phone.reset();
        field.reset();
        server.reset();
        session.reset();
        sandbox.reset();
    }
    void SetUp() override
    {
        if (!phone)
            GTEST_SKIP() << "no KWin session";
    }

    static std::string Request(const std::string& head, const std::string& body = {})
    {
        return phone->request(head, body);
    }
    static void Send(const std::vector<Message>& messages) { phone->send(messages); }
    // Waits until the field holds text; with the field's text in the message.
    static void ExpectText(const std::string& text)
    {
        EXPECT_TRUE(field->waitForText(text)) << "field holds: " << field->text();
    }

    static inline std::optional<UserSandbox> sandbox;
    static inline std::optional<KwinSession> session;
    static inline std::optional<ServerProcess> server;
    static inline std::optional<TextFieldProbe> field;
    static inline std::optional<Phone> phone;
};

TEST_F(KdeSessionTest, ThePointerMovesClicksDragsAndScrolls)
{
    EXPECT_NE(server->output().find("desktop backend: kde (Wayland session "), std::string::npos) << server->output();
    const struct {
        std::vector<Message> messages;
        std::vector<std::string> lines; // what the field reports, in order
    } steps[] = {
        {{{MsgType_Move, "0", -5000, -5000}}, {"MOVE 0 0"}},
        {{{MsgType_Move, "0", 100, 50}, {MsgType_Move, "0", 10, 5}}, {"MOVE 110 55"}},
        {{{MsgType_Move, "0", 5000, 5000}}, {"MOVE 1279 799"}},
        {{{MsgType_Move, "0", -1169, -744}}, {"MOVE 110 55"}},
        {{{MsgType_LeftAction, "2"}}, {"PRESS 1 110 55", "RELEASE 1 110 55"}},
        {{{MsgType_RightAction, "0"}, {MsgType_RightAction, "1"}}, {"PRESS 2 110 55", "RELEASE 2 110 55"}},
        {{{MsgType_LeftDouble}}, {"PRESS 1 110 55", "RELEASE 1 110 55", "PRESS 1 110 55", "RELEASE 1 110 55"}},
        {{{MsgType_LeftTriple}},
         {"PRESS 1 110 55", "RELEASE 1 110 55", "PRESS 1 110 55", "RELEASE 1 110 55", "PRESS 1 110 55",
          "RELEASE 1 110 55"}},
        {{{MsgType_Drag, "0", 20, 10}, {MsgType_Drag, "0", 5, 5}}, {"PRESS 1 110 55", "MOVE 135 70"}},
        {{{MsgType_LeftAction, "1"}}, {"RELEASE 1 135 70"}},
        {{{MsgType_Scroll, "0", 0, -3}, {MsgType_Scroll, "0", 4, 0}}, {"WHEEL 0 -180", "WHEEL 240 0"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.lines.back());
        // Buttons and wheels exactly; of the moves, those the step expects.
        const auto reported = [&](const std::string& line) {
            return line.rfind("MOVE ", 0) != 0 || std::find(step.lines.begin(), step.lines.end(), line) != step.lines.end();
        };
        const std::size_t from = field->reports().size();
        Send(step.messages);
        EXPECT_EQ(field->reportsAfter(from, step.lines.size(), reported), step.lines);
    }
}

// Wayland keeps the pointer's position from clients: after a pause the
// server asks KWin for it, and the phone moves on from where the user left
// the pointer.
TEST_F(KdeSessionTest, ThePhoneMovesThePointerOnFromWhereTheUserLeftIt)
{
    KwinFakeInput mouse;
    ASSERT_TRUE(mouse.available());
    std::size_t mark = field->mark();
    mouse.moveTo(500, 300);
    ASSERT_TRUE(field->waitForLineAfter(mark, "MOVE 500 300"));
    std::this_thread::sleep_for(KdeEventPoster::kPointerIdle);
    mark = field->mark();
    Send({{MsgType_Move, "0", 10, -20}});
    EXPECT_TRUE(field->waitForLineAfter(mark, "MOVE 510 280")) << field->lines("MOVE").back();
}

// Every modifier, a function key, an arrow and a media key (the phone's
// keys become keysyms through the table all desktops share; the X11 test
// checks other rows of it).
TEST_F(KdeSessionTest, KeysAndShortcutsArriveWithTheirModifiers)
{
    const auto isModifier = [](const std::string& line) {
        const int key = std::stoi(line.substr(0, line.find(' ')), nullptr, 16);
        return key >= Qt::Key_Shift && key <= Qt::Key_Alt;
    };
    const struct {
        std::function<void()> act;
        std::string key;
    } cases[] = {
        {[] { Request("OpKey_HotKey", "1^_79"); }, Key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier)},
        {[] { Request("OpKey_WriteKeyCode2", "8^_73"); }, Key(Qt::Key_C, Qt::AltModifier)},
        {[] { Request("OpKey_WriteKeyCode", "117"); }, Key(Qt::Key_Delete)},
        {[] { Request("OpKey_PPTExec", "1"); }, Key(Qt::Key_F5)},
        {[] { Send({{MsgType_Return, "0", 0, 0}}); }, Key(Qt::Key_Return)},
        {[] { Send({{MsgType_Up, "0", 0, 0}}); }, Key(Qt::Key_Up)},
        {[] { Send({{MsgType_MusicPlayPause, "0", 0, 0}}); }, Key(Qt::Key_MediaPlay)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const auto keys = [&] {
            std::vector<std::string> found;
            for (const std::string& line : field->lines("KEY")) {
                if (!isModifier(line))
                    found.push_back(line);
            }
            return found;
        };
        const std::size_t before = keys().size();
        c.act();
        ASSERT_TRUE(Eventually([&] { return keys().size() > before; }));
        EXPECT_EQ(keys()[before], c.key); // with exactly its modifiers: none is left held
    }
}

TEST_F(KdeSessionTest, TextArrivesExactlyAndTheUsersClipboardComesBack)
{
    field->copy("the user's own words");
    ASSERT_EQ(field->clipboard(), "the user's own words");
    Request("OpKey_HotKey", "0^_71"); // select all
    Send({{MsgType_Delete, "0", 0, 0}});
    ExpectText("");

    Request("OpKey_WriteStr", "héllo wörld 你好 😀");
    Send({{MsgType_Text, " ok ½", 0, 0}});
    ExpectText("héllo wörld 你好 😀 ok ½");
    EXPECT_TRUE(Eventually([] { return field->clipboard(1000) == "the user's own words"; }));
}

TEST_F(KdeSessionTest, TheClipboardIsReadAndEachNewCopyPushed)
{
    field->copy("copied in the session");
    EXPECT_TRUE(Eventually([] { return Request("OpKey_GetChipBoardData") == "1^_7copied in the session"; }));
    EXPECT_EQ(Request("OpKey_GetRichChipBoardData"), "_^_7copied in the session");

    LoopbackHttpServer http;
    Request("OpKey_SyncWorkConfig", "kde-id^_7token^_7" + http.url() + "^_7Basic a2RlOmtleQ==");
    Request("OpKey_SyncWork", "1");
    ASSERT_TRUE(server->waitForOutput("=====>粘帖板有变化")); // the first check records the clipboard
    field->copy("pushed");
    ASSERT_TRUE(http.waitForRequests(1));

    // Text typed through the clipboard is not a copy of the user's.
    const std::string before = field->text();
    Request("OpKey_WriteStr", "ö");
    ExpectText(before + "ö");
    EXPECT_TRUE(Eventually([] { return field->clipboard(1000) == "pushed"; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(700)); // one more check of the watch
    EXPECT_EQ(http.requests().size(), 1u);
    field->copy("copied again");
    EXPECT_TRUE(http.waitForRequests(2));
    Request("OpKey_SyncWork", "0");
}

TEST_F(KdeSessionTest, TheLaserDotShowsAboveTheFullScreenWindowAndClicksPassThrough)
{
    // Made centred (24 × 24) and grown from its bottom-left corner, its
    // middle is at (648, 392); the phone moves it by (-100, 50).
    Request("OpKey_LightSize", "40^_740^_71");
    Send({{MsgType_LightMove, "0", -100, 50}});
    QImage shot;
    ASSERT_TRUE(Eventually([&] {
        shot = phone->screenshot();
        return !shot.isNull() && shot.pixel(548, 442) == qRgb(255, 0, 0);
    })) << "screenshot " << shot.width() << "x" << shot.height();
    EXPECT_EQ(shot.size(), QSize(KwinSession::kWidth, KwinSession::kHeight));
    EXPECT_EQ(shot.pixel(1000, 600), qRgb(255, 255, 255)); // the text field's base
    EXPECT_EQ(shot.pixel(530, 424), qRgb(255, 255, 255)); // outside the round dot
    const QImage file(QString::fromStdString(sandbox->desktop() + "/screenshot.png"));
    EXPECT_EQ(file.convertToFormat(QImage::Format_RGB32), shot);

    const std::size_t presses = field->lines("PRESS").size();
    Send({{MsgType_Move, "0", -5000, -5000}, {MsgType_Move, "0", 548, 442}, {MsgType_LeftAction, "2", 0, 0}});
    ASSERT_TRUE(Eventually([&] { return field->lines("PRESS").size() > presses; }));
    EXPECT_EQ(field->lines("PRESS").back(), "1 548 442");
    Send({{MsgType_LightOff}});
}

TEST_F(KdeSessionTest, AnApplicationsWindowIsMinimisedRaisedAndClosedPolitely)
{
    // A program of its own (a copy of the probe) with its own menu entry.
    const std::string program = sandbox->root().file("bin/corvane-window-probe");
    std::filesystem::create_directories(sandbox->root().file("bin"));
    std::filesystem::copy_file(CORVANE_TEXT_FIELD_PROBE_EXE, program);
    std::ofstream(sandbox->dataHome() + "/applications/corvane-window-probe.desktop")
        << "[Desktop Entry]\nType=Application\nName=Window probe\nExec=" << program << " -platform wayland\n";
    const std::string bundle = "/Applications/corvane-window-probe.app";
    TextFieldProbe app({.platform = "wayland", .program = program});
    ASSERT_TRUE(app.waitUntilReady());

    Request("OpKey_WindowExec", "3"); // minimises the active window: the application's
    const std::string below = field->text() + "to the field below";
    Request("OpKey_WriteStr", "to the field below");
    ExpectText(below);
    Request("OpKey_ActivityApp", bundle);
    Request("OpKey_WriteStr", "raised");
    EXPECT_TRUE(app.waitForText("raised")) << app.text();

    Request("OpKey_SafeExitApp", bundle);
    // Its window was asked to close, as by its close button (a signal would
    // end it without one). Whether the program then quits is its own affair,
    // not the server's.
    EXPECT_TRUE(app.waitForLine("CLOSE", 20000)) << server->output();
}

TEST_F(KdeSessionTest, AProgramWithoutTheDesktopEntryIsToldWhatItNeeds)
{
    const std::string program = sandbox->root().file("bin/corvane-unlisted");
    std::filesystem::create_directories(sandbox->root().file("bin"));
    std::filesystem::copy_file(CORVANE_SERVER_EXE, program);
    // Its desktop module goes with it, as the build tree keeps them.
    const std::filesystem::path module = std::filesystem::path(CORVANE_SERVER_EXE).parent_path() / "corvane-desktop.so";
    std::filesystem::copy_file(module, sandbox->root().file("bin/corvane-desktop.so"));
    const int port = FreePort::tcp();
    ChildProcess unlisted({program, "--headless", "--port", std::to_string(port), "--udp-port",
                           std::to_string(FreePort::udp()), "--broadcast", "127.255.255.255"},
                          {.out = ChildProcess::Stream::Collect, .err = ChildProcess::Stream::Collect});
    ASSERT_TRUE(unlisted.waitForOutput("accept thread start!!!", 10000)) << unlisted.output();
    Phone(port).request("OpKey_ScreenShot");
    const std::string entry = ": it needs a desktop entry in its applications folders with Exec=" + program +
                              ", X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,org_kde_plasma_window_management"
                              " and X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2 (installing Corvane"
                              " installs it as share/applications/corvane.desktop)\n";
    for (const std::string& line :
         {"KWin refuses org_kde_kwin_fake_input and org_kde_plasma_window_management to " + program + entry,
          "KWin refuses org.kde.KWin.ScreenShot2 to " + program + entry})
        EXPECT_TRUE(unlisted.waitForOutput(line)) << unlisted.output();
}

// Last: the server ends on SIGTERM with status 0, its KDE services taken
// down without a fault (sanitizer builds report one with another status).
TEST_F(KdeSessionTest, TheServerEndsCleanly)
{
    EXPECT_EQ(server->stop(), 0) << server->output();
}

} // namespace
