// Real effects of the input operations on an X server of the test's own.
#include "ChildProcess.h"
#include "EventPoster.h"
#include "FakeWindowManager.h"
#include "InProcessServer.h"
#include "KeybdEntity.h"
#include "MouseEntity.h"
#include "Phone.h"
#include "PPTEntity.h"
#include "SCommon.h"
#include "ServerProcess.h"
#include "TextFieldProbe.h"
#include "UserSandbox.h"
#include "WindowEntity.h"
#include "X11Display.h"
#include "X11EventPoster.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <functional>
#include <string>
#include <optional>
#include <thread>
#include <tuple>

namespace {

// Input through the desktop's event poster on an X server of the test's own,
// into a real toolkit text field (the probe) that has the focus and reports
// what it receives; the test's own connection reads the pointer and keymap.
class X11InputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EventPoster::setInstance(nullptr);
        MouseEntity::bLeftBtnDown = false;
        if (!XvfbServer::installed()) {
            ASSERT_FALSE(XvfbServer::required()) << "Xvfb is required (CORVANE_REQUIRE_X is set) but not installed";
            GTEST_SKIP() << "Xvfb is not installed";
        }
        xvfb.emplace(640, 480);
        ASSERT_TRUE(xvfb->started()) << "Xvfb did not start";
        ASSERT_NE(display = XOpenDisplay(nullptr), nullptr);
        field.emplace();
        ASSERT_TRUE(field->waitUntilReady());
    }
    void TearDown() override
    {
        MouseEntity::bLeftBtnDown = false;
        if (display != nullptr)
            XCloseDisplay(display);
    }

    // The pointer's position on the root window, and the modifier and button mask.
    std::tuple<int, int, unsigned> Pointer()
    {
        Window root, child;
        int x, y, windowX, windowY;
        unsigned mask;
        XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &windowX, &windowY, &mask);
        return {x, y, mask};
    }
    bool WaitForPointer(int x, int y)
    {
        return Eventually([&] {
            const auto [px, py, mask] = Pointer();
            return px == x && py == y;
        });
    }
    // Puts the pointer at (x, y) with relative moves.
    void PlacePointer(int x, int y)
    {
        const auto [px, py, mask] = Pointer();
        MouseEntity::Move(static_cast<float>(x - px), static_cast<float>(y - py));
        ASSERT_TRUE(WaitForPointer(x, y));
    }
    // The field's reports that act causes and that pass `counted`, once
    // `count` of them have come (or after a while) and a moment more.
    std::vector<std::string> After(const std::function<void()>& act, std::size_t count,
                                   const std::function<bool(const std::string&)>& counted)
    {
        const std::size_t from = field->reports().size();
        act();
        return field->reportsAfter(from, count, counted);
    }
    int EmptyKeycodes()
    {
        int low = 0, high = 0, per = 0;
        XDisplayKeycodes(display, &low, &high);
        KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(low), high - low + 1, &per);
        int empty = 0;
        for (int keycode = 0; keycode <= high - low; ++keycode)
            empty += std::all_of(map + keycode * per, map + (keycode + 1) * per, [](KeySym s) { return s == NoSymbol; });
        XFree(map);
        return empty;
    }
    // Waits until every borrowed key code has been given back.
    bool KeymapRestored(int emptyBefore)
    {
        return Eventually([&] { return EmptyKeycodes() == emptyBefore; }, 10000);
    }

    std::optional<XvfbServer> xvfb;
    Display* display = nullptr;
    std::optional<TextFieldProbe> field;
};

TEST_F(X11InputTest, PointerMovesByRelativeStepsAndStopsAtTheRootEdges)
{
    PlacePointer(100, 100);
    const std::pair<std::pair<float, float>, std::pair<int, int>> steps[] = {
        {{10, -5}, {110, 95}}, {{-25, 30}, {85, 125}}, {{-10000, -10000}, {0, 0}},
        {{-1, -1}, {0, 0}},    {{10000, 10000}, {639, 479}}, {{5, 0}, {639, 479}}};
    for (const auto& [delta, at] : steps) {
        MouseEntity::Move(delta.first, delta.second);
        EXPECT_TRUE(WaitForPointer(at.first, at.second)) << at.first << "," << at.second;
    }
}

TEST_F(X11InputTest, ClicksDragsAndWheelClicksReachTheWindowUnderThePointer)
{
    PlacePointer(50, 40);
    const int click = X11EventPoster::kPixelsPerWheelClick / 5; // scroll steps of five pixels
    const std::vector<std::string> left = {"PRESS 1 50 40", "RELEASE 1 50 40"};
    const struct {
        std::function<void()> act;
        std::vector<std::string> lines; // what the field reports, in order
    } steps[] = {
        {[] { MouseEntity::LeftSingleTap(2); }, left},
        {[] { MouseEntity::RightSingleTap(0), MouseEntity::RightSingleTap(1); }, {"PRESS 2 50 40", "RELEASE 2 50 40"}},
        {MouseEntity::LeftDoubleTap, {left[0], left[1], left[0], left[1]}},
        {MouseEntity::LeftThreeTap, {left[0], left[1], left[0], left[1], left[0], left[1]}},
        // A drag presses once and holds the left button until it is released
        // (the toolkit may merge the moves).
        {[] { MouseEntity::Drag(20, 10), MouseEntity::Drag(5, 5); }, {"PRESS 1 50 40", "MOVE 75 55"}},
        {[] { MouseEntity::LeftSingleTap(1), MouseEntity::Move(3, 3); }, {"RELEASE 1 75 55", "MOVE 78 58"}},
        // Pixel scrolling becomes wheel clicks, keeping the remainder.
        {[] { MouseEntity::ScrollWheelMove(0, -3); }, {}},
        {[&] { MouseEntity::ScrollWheelMove(0, -(click - 3)); }, {"WHEEL 0 -120"}},
        {[&] { MouseEntity::ScrollWheelMove(0, click); }, {"WHEEL 0 120"}},
        {[&] { MouseEntity::ScrollWheelMove(2 * click, 0); }, {"WHEEL 120 0", "WHEEL 120 0"}},
        {[&] { MouseEntity::ScrollWheelMove(-click, 0); }, {"WHEEL -120 0"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.lines.empty() ? "nothing" : step.lines.back());
        // Buttons and wheels exactly; of the moves, those the step expects.
        const auto reported = [&](const std::string& line) {
            return line.rfind("MOVE ", 0) != 0 || std::find(step.lines.begin(), step.lines.end(), line) != step.lines.end();
        };
        EXPECT_EQ(After(step.act, step.lines.size(), reported), step.lines);
    }
}

// A few keys of each kind, as the toolkit reads them (Qt key and modifiers,
// hex); a key missing from the layout (F13) is typed on a borrowed key code
// that is given back.
TEST_F(X11InputTest, KeysAndShortcutsArriveAsTheirLinuxEquivalents)
{
    const int emptyBefore = EmptyKeycodes();
    ASSERT_EQ(XKeysymToKeycode(display, XK_F13), 0) << "F13 is expected to be missing";
    const auto tap = [](const std::string& key, const std::string& modifiers = "0") {
        return std::vector<std::string>{"KEY " + key + " " + modifiers, "KEYUP " + key};
    };
    const struct {
        std::function<void()> act;
        std::vector<std::string> keys;
    } cases[] = {
        {[] { KeybdEntity::HotKey(1, 9); }, tap("53", "6000000")},    // Command+Shift+S
        {[] { KeybdEntity::InputChar(8, 3); }, tap("43", "8000000")}, // Option+C
        {KeybdEntity::ReturnChar, tap("1000004")},
        {[] { KeybdEntity::InputChar(117); }, tap("1000007")}, // forward delete
        {[] { KeybdEntity::InputChar(105); }, tap("100003c")}, // F13
        {[] { WindowEntity::Exec(1); }, tap("57", "4000000")},         // close: Control+W
        {[] { WindowEntity::Exec(9000); }, tap("1000012", "8000000")}, // back: Alt+Left
        {[] { WindowEntity::Exec(2); }, tap("100003a")}, // Command+Control+F: F11, its modifiers go
        {[] { PPTEntity::PPTExec(1); }, tap("1000034")}, // F5
        {[] { KeybdEntity::OtherCommand(MsgType_MusicPlayPause); }, tap("1000080")}, // the media key, not the space bar
        // The application switcher holds Alt across its Tabs.
        {[] { for (int code : {10000, 10002, 10002, 10001}) WindowEntity::Exec(code); },
         {"KEY 1000023 8000000", "KEY 1000001 8000000", "KEYUP 1000001", "KEY 1000001 8000000", "KEYUP 1000001",
          "KEYUP 1000023"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys.front());
        // Every key exactly; modifier keys (Qt 0x1000020-0x1000023) where the case expects them.
        const auto counted = [&](const std::string& line) {
            return line.rfind("KEY", 0) == 0 && (line.find(" 100002") != line.find(' ') ||
                                                 std::find(c.keys.begin(), c.keys.end(), line) != c.keys.end());
        };
        EXPECT_EQ(After(c.act, c.keys.size(), counted), c.keys);
    }
    EXPECT_TRUE(KeymapRestored(emptyBefore));
}

TEST_F(X11InputTest, MinimiseAndShowDesktopAskTheWindowManager)
{
    FakeWindowManager manager;
    manager.set("_NET_ACTIVE_WINDOW", XA_WINDOW, {field->window()}); // as a window manager announces it
    const std::size_t from = field->reports().size();
    WindowEntity::Exec(3);
    WindowEntity::Exec(4);
    using Request = FakeWindowManager::Request;
    EXPECT_EQ(manager.awaitRequest("WM_CHANGE_STATE"), (Request{field->window(), IconicState}));
    EXPECT_EQ(manager.awaitRequest("_NET_SHOWING_DESKTOP").value_or(Request{}).data0, 1);
    const auto key = [](const std::string& line) { return line.rfind("KEY", 0) == 0; };
    EXPECT_EQ(field->reportsAfter(from, 0, key), std::vector<std::string>{}); // no keys were typed for them
}

TEST_F(X11InputTest, TextArrivesExactlyInARealTextFieldWhateverTheCapsLock)
{
    InProcessServer server;
    std::string expected;
    for (const std::string& sample : {std::string("Hello, World! 0123456789 ~`@#$%^&*()_+-=[]{}|;':\",./<>?"),
                                      std::string(" héllo wörld 你好世界 😀"), std::string(15, 'a') + "😀b"}) {
        ASSERT_EQ(server.request("OpKey_WriteStr", sample).result, NR_OK);
        EXPECT_TRUE(field->waitForText(expected += sample)) << "field holds: " << field->text();
    }

    Phone phone(server.port());
    for (const char* sample : {"hello", "héllo wörld", "你好世界", "😀", "ok"}) {
        phone.send({{MsgType_Text, sample}});
        expected += sample;
    }
    EXPECT_TRUE(field->waitForText(expected)) << "field holds: " << field->text();

    const auto capsLockOn = [&] { return (std::get<2>(Pointer()) & LockMask) != 0; };
    const KeyCode capsLock = XKeysymToKeycode(display, XK_Caps_Lock);
    XTestFakeKeyEvent(display, capsLock, True, CurrentTime);
    XTestFakeKeyEvent(display, capsLock, False, CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(capsLockOn());
    ASSERT_EQ(server.request("OpKey_WriteStr", "abC é").result, NR_OK);
    EXPECT_TRUE(field->waitForText(expected + "abC é")) << "field holds: " << field->text();
    EXPECT_TRUE(capsLockOn());
}

// count distinct CJK characters, an "x" after every fifth.
std::string DistinctCharacters(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        const char32_t character = 0x4E00 + static_cast<char32_t>(i) * 37;
        text += {static_cast<char>(0xE0 | (character >> 12)), static_cast<char>(0x80 | ((character >> 6) & 0x3F)),
                 static_cast<char>(0x80 | (character & 0x3F))};
        if (i % 5 == 4)
            text += "x";
    }
    return text;
}

TEST_F(X11InputTest, ManyDistinctCharactersArriveInOrderAndTheKeymapIsRestored)
{
    const int emptyBefore = EmptyKeycodes();
    InProcessServer server;
    // More distinct characters than free key codes: borrowed ones are rebound while typing.
    const std::string text = DistinctCharacters(3 * emptyBefore);
    ASSERT_EQ(server.request("OpKey_WriteStr", text).result, NR_OK);
    EXPECT_TRUE(field->waitForText(text)) << "field holds: " << field->text();
    EXPECT_TRUE(KeymapRestored(emptyBefore));
}

// Before a used borrowed key code is rebound, typing waits for the focused
// client to answer a ping. A client that has stopped answering keeps the
// typing waiting, and nothing else: the pointer still moves.
TEST_F(X11InputTest, ThePointerMovesWhileTypingWaitsForAClientThatDoesNotAnswer)
{
    PlacePointer(100, 100);
    // A window of the test's own takes the focus and the pings, and its key presses are counted.
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 50, 50, 0, 0, 0);
    Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    XSetWMProtocols(display, window, &ping, 1);
    XSelectInput(display, window, KeyPressMask);
    XMapRaised(display, window);
    XSync(display, False);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
    std::thread typist([text = DistinctCharacters(EmptyKeycodes() + 20)] { KeybdEntity::InputChar(text.c_str()); });
    XEvent event{};
    int keys = 0;
    const auto readUntilPing = [&] {
        while (XPending(display) > 0) {
            XNextEvent(display, &event);
            keys += event.type == KeyPress;
            if (event.type == ClientMessage && event.xclient.data.l[0] == static_cast<long>(ping))
                return true;
        }
        return false;
    };
    const bool pinged = Eventually(readUntilPing);
    if (pinged) {
        XEvent answer{.xclient = event.xclient};
        keys = 0;
        MouseEntity::Move(5, 5);
        EXPECT_TRUE(WaitForPointer(105, 105));
        readUntilPing(); // what came before the pointer query's reply
        EXPECT_EQ(keys, 0) << "typed between the unanswered ping and the move";
        // Answer as a client would, and take part no more.
        answer.xclient.window = DefaultRootWindow(display);
        XSendEvent(display, DefaultRootWindow(display), False, SubstructureNotifyMask | SubstructureRedirectMask, &answer);
    }
    XDeleteProperty(display, window, XInternAtom(display, "WM_PROTOCOLS", False));
    XSync(display, False);
    typist.join();
    EXPECT_TRUE(pinged);
}

// The whole path of a pointer move: the client tool's live channel, the
// corvane program, and the X server the program injects into.
TEST_F(X11InputTest, ClientToolMovesTheXPointerThroughTheServerProgram)
{
    UserSandbox sandbox;
    const auto [x, y, mask] = Pointer();
    ServerProcess server; // inherits DISPLAY
    const ChildProcess::Result client = ChildProcess::Run(
        {CORVANE_CLIENT_EXE, "--host", "127.0.0.1", "--port", std::to_string(server.tcpPort()), "live"},
        "5 . 30 40\n5 . -10 5\n"); // "TYPE TEXT X Y" lines
    ASSERT_EQ(client.status, 0) << client.err;
    EXPECT_TRUE(WaitForPointer(x + 20, y + 45)) << server.output();
    EXPECT_TRUE(server.waitForOutput(std::to_string(x + 20) + ".000000 " + std::to_string(y + 45) + ".000000"))
        << server.output();
}

TEST(X11EventPosterTest, WithoutADisplayEventsAreDroppedAndReportedOnce)
{
    const char* saved = std::getenv("DISPLAY");
    const std::string savedDisplay = saved ? saved : "";
    ::unsetenv("DISPLAY");
    X11Display::instance().Reopen();

    X11EventPoster poster;
    testing::internal::CaptureStdout();
    const bool source = poster.hasEventSource();
    poster.postMouse(MouseEventType::Moved, MouseButton::Left, {1, 1}, kClickStateUnset);
    poster.postKey(0, true, 0, KeyPurpose::Keyboard);
    poster.postUnicodeKeyDown(u"ab", 2);
    poster.postScroll(100, 0);
    const std::string log = testing::internal::GetCapturedStdout();
    const ScreenSize size = poster.mainScreenSize();

    if (saved)
        ::setenv("DISPLAY", savedDisplay.c_str(), 1);
    X11Display::instance().Reopen();
    EXPECT_FALSE(source);
    EXPECT_EQ(log, "No event source\n");
    EXPECT_EQ(size.width, 0);
}

} // namespace
