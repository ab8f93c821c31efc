// Real effects of the input operations on an X server of the test's own.
#include "EventPoster.h"
#include "InProcessServer.h"
#include "KeybdEntity.h"
#include "MouseEntity.h"
#include "MyClient.h"
#include "PPTEntity.h"
#include "SCommon.h"
#include "TextFieldProbe.h"
#include "WindowEntity.h"
#include "X11Display.h"
#include "X11EventPoster.h"
#include "X11TestWindow.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

namespace {

class X11InputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EventPoster::setInstance(nullptr); // the desktop's poster
        MouseEntity::bLeftBtnDown = false;
    }
    void TearDown() override { MouseEntity::bLeftBtnDown = false; }
};

// Puts the pointer at (x, y) with relative moves.
void PlacePointer(X11TestWindow& window, int x, int y)
{
    int px = 0, py = 0;
    window.pointer(px, py);
    MouseEntity::Move(static_cast<float>(x - px), static_cast<float>(y - py));
    ASSERT_TRUE(window.waitForPointer(x, y));
}

std::size_t CountOf(const std::vector<WindowEvent>& events, int type, unsigned detail)
{
    std::size_t count = 0;
    for (const WindowEvent& event : events)
        count += event.type == type && event.detail == detail ? 1 : 0;
    return count;
}

// Waits until `count` presses and releases of `button` arrived.
bool WaitForClicks(X11TestWindow& window, unsigned button, std::size_t count)
{
    return window.waitFor([&](const std::vector<WindowEvent>& events) {
        return CountOf(events, ButtonPress, button) >= count && CountOf(events, ButtonRelease, button) >= count;
    });
}

std::optional<WindowEvent> FindKey(const std::vector<WindowEvent>& events, int type, unsigned long keysym)
{
    for (const WindowEvent& event : events) {
        if (event.type == type && event.keysym == keysym)
            return event;
    }
    return std::nullopt;
}

bool WaitForKey(X11TestWindow& window, int type, unsigned long keysym)
{
    return window.waitFor(
        [&](const std::vector<WindowEvent>& events) { return FindKey(events, type, keysym).has_value(); });
}

int EmptyKeycodes(Display* display)
{
    int low = 0, high = 0, per = 0;
    XDisplayKeycodes(display, &low, &high);
    KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(low), high - low + 1, &per);
    int empty = 0;
    for (int keycode = low; keycode <= high; ++keycode) {
        bool none = true;
        for (int i = 0; i < per; ++i)
            none = none && map[(keycode - low) * per + i] == NoSymbol;
        empty += none ? 1 : 0;
    }
    XFree(map);
    return empty;
}

bool CapsLockOn(Display* display)
{
    Window root, child;
    int rx, ry, wx, wy;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return (mask & LockMask) != 0;
}

TEST_F(X11InputTest, PointerMovesByRelativeStepsAndStopsAtTheRootEdges)
{
    CORVANE_START_XVFB(xvfb, 640, 480);
    X11TestWindow window(600, 440, 20, 20);
    ASSERT_TRUE(window.open());

    PlacePointer(window, 100, 100);
    MouseEntity::Move(10, -5);
    EXPECT_TRUE(window.waitForPointer(110, 95));
    MouseEntity::Move(-25.0f, 30.0f);
    EXPECT_TRUE(window.waitForPointer(85, 125));

    MouseEntity::Move(-10000, -10000);
    EXPECT_TRUE(window.waitForPointer(0, 0));
    MouseEntity::Move(-1, -1);
    EXPECT_TRUE(window.waitForPointer(0, 0));
    MouseEntity::Move(10000, 10000);
    EXPECT_TRUE(window.waitForPointer(639, 479));
    MouseEntity::Move(5, 0);
    EXPECT_TRUE(window.waitForPointer(639, 479));
}

TEST_F(X11InputTest, ClicksReachTheWindowUnderThePointer)
{
    CORVANE_START_XVFB(xvfb, 640, 480);
    X11TestWindow window(0, 0, 400, 300);
    ASSERT_TRUE(window.open());
    PlacePointer(window, 50, 40);
    window.clear();

    MouseEntity::LeftSingleTap(2);
    ASSERT_TRUE(WaitForClicks(window, 1, 1));
    const auto presses = OfType(window.events(), ButtonPress);
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(presses[0].x, 50);
    EXPECT_EQ(presses[0].y, 40);

    window.clear();
    MouseEntity::RightSingleTap(0);
    MouseEntity::RightSingleTap(1);
    ASSERT_TRUE(WaitForClicks(window, 3, 1));
    EXPECT_EQ(CountOf(window.settle(), ButtonPress, 1), 0u);

    window.clear();
    MouseEntity::LeftDoubleTap();
    ASSERT_TRUE(WaitForClicks(window, 1, 2));
    EXPECT_EQ(CountOf(window.settle(), ButtonPress, 1), 2u);

    window.clear();
    MouseEntity::LeftThreeTap();
    ASSERT_TRUE(WaitForClicks(window, 1, 3));
    const auto triple = window.settle();
    EXPECT_EQ(CountOf(triple, ButtonPress, 1), 3u);
    EXPECT_EQ(CountOf(triple, ButtonRelease, 1), 3u);
    EXPECT_EQ(CountOf(triple, ButtonPress, 3), 0u);
}

TEST_F(X11InputTest, DragHoldsTheLeftButtonUntilReleased)
{
    CORVANE_START_XVFB(xvfb, 640, 480);
    X11TestWindow window(0, 0, 400, 300);
    ASSERT_TRUE(window.open());
    PlacePointer(window, 50, 50);
    window.clear();

    MouseEntity::Drag(20, 10);
    MouseEntity::Drag(5, 5);
    ASSERT_TRUE(window.waitFor([](const std::vector<WindowEvent>& events) {
        for (const WindowEvent& event : events) {
            if (event.type == MotionNotify && event.x == 75 && event.y == 65)
                return true;
        }
        return false;
    }));
    auto events = window.events();
    ASSERT_EQ(CountOf(events, ButtonPress, 1), 1u);
    EXPECT_EQ(OfType(events, ButtonPress)[0].x, 50);
    // Every motion after the press carries the held button.
    bool pressed = false;
    for (const WindowEvent& event : events) {
        pressed = pressed || event.type == ButtonPress;
        if (pressed && event.type == MotionNotify) {
            EXPECT_TRUE(event.state & Button1Mask) << event.x << "," << event.y;
        }
    }
    EXPECT_EQ(CountOf(events, ButtonRelease, 1), 0u);

    MouseEntity::LeftSingleTap(1);
    ASSERT_TRUE(window.waitFor(
        [](const std::vector<WindowEvent>& received) { return CountOf(received, ButtonRelease, 1) == 1; }));
    window.clear();
    MouseEntity::Move(3, 3);
    ASSERT_TRUE(window.waitFor([](const std::vector<WindowEvent>& received) {
        return !OfType(received, MotionNotify).empty();
    }));
    EXPECT_FALSE(OfType(window.events(), MotionNotify)[0].state & Button1Mask);
}

TEST_F(X11InputTest, PixelScrollingBecomesWheelClicksKeepingTheRemainder)
{
    CORVANE_START_XVFB(xvfb, 640, 480);
    X11TestWindow window(0, 0, 400, 300);
    ASSERT_TRUE(window.open());
    PlacePointer(window, 60, 60);
    window.clear();

    const int stepsPerClick = X11EventPoster::kPixelsPerWheelClick / 5;
    MouseEntity::ScrollWheelMove(0, -3);                     // less than a click: nothing yet
    EXPECT_TRUE(OfType(window.settle(), ButtonPress).empty());
    MouseEntity::ScrollWheelMove(0, -(stepsPerClick - 3));   // completes one click downwards
    ASSERT_TRUE(WaitForClicks(window, 5, 1));
    MouseEntity::ScrollWheelMove(0, stepsPerClick);          // one click upwards
    ASSERT_TRUE(WaitForClicks(window, 4, 1));
    MouseEntity::ScrollWheelMove(2 * stepsPerClick, 0);      // two clicks to the left
    ASSERT_TRUE(WaitForClicks(window, 6, 2));
    MouseEntity::ScrollWheelMove(-stepsPerClick, 0);         // one to the right
    ASSERT_TRUE(WaitForClicks(window, 7, 1));

    const auto events = window.settle();
    EXPECT_EQ(CountOf(events, ButtonPress, 5), 1u);
    EXPECT_EQ(CountOf(events, ButtonPress, 4), 1u);
    EXPECT_EQ(CountOf(events, ButtonPress, 6), 2u);
    EXPECT_EQ(CountOf(events, ButtonPress, 7), 1u);
    EXPECT_EQ(CountOf(events, ButtonPress, 1), 0u);
}

TEST_F(X11InputTest, KeysArriveWithTranslatedModifiers)
{
    CORVANE_START_XVFB(xvfb, 640, 480);
    X11TestWindow window(0, 0, 400, 300);
    ASSERT_TRUE(window.open());

    KeybdEntity::HotKey(1, 9); // Command+Shift+S
    ASSERT_TRUE(WaitForKey(window, KeyPress, XK_s));
    const auto hotKey = FindKey(window.events(), KeyPress, XK_s);
    ASSERT_TRUE(hotKey);
    EXPECT_EQ(hotKey->state & (ControlMask | ShiftMask | Mod1Mask), unsigned(ControlMask | ShiftMask));
    ASSERT_TRUE(WaitForKey(window, KeyRelease, XK_s));

    window.clear();
    KeybdEntity::InputChar(8, 3); // Option+C
    ASSERT_TRUE(WaitForKey(window, KeyPress, XK_c));
    EXPECT_EQ(FindKey(window.events(), KeyPress, XK_c).value().state & (ControlMask | Mod1Mask), unsigned(Mod1Mask));

    window.clear();
    KeybdEntity::ReturnChar();
    KeybdEntity::DelChar();
    KeybdEntity::OtherCommand(MsgType_Up);
    KeybdEntity::InputChar(117); // forward delete
    ASSERT_TRUE(WaitForKey(window, KeyRelease, XK_Delete));
    const auto events = window.events();
    for (unsigned long keysym : {XK_Return, XK_BackSpace, XK_Up, XK_Delete}) {
        const auto press = FindKey(events, KeyPress, keysym);
        ASSERT_TRUE(press) << keysym;
        EXPECT_EQ(press->state & (ControlMask | ShiftMask | Mod1Mask), 0u);
    }
}

TEST_F(X11InputTest, KeysMissingFromTheLayoutUseABorrowedKeyCodeThatIsGivenBack)
{
    CORVANE_START_XVFB(xvfb, 640, 480);
    X11TestWindow window(0, 0, 400, 300);
    ASSERT_TRUE(window.open());
    const int emptyBefore = EmptyKeycodes(window.connection());
    ASSERT_EQ(XKeysymToKeycode(window.connection(), XK_F13), 0) << "F13 is expected to be missing";

    KeybdEntity::InputChar(105); // F13
    ASSERT_TRUE(WaitForKey(window, KeyPress, XK_F13));
    ASSERT_TRUE(WaitForKey(window, KeyRelease, XK_F13));

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (EmptyKeycodes(window.connection()) != emptyBefore && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(EmptyKeycodes(window.connection()), emptyBefore);
}

TEST_F(X11InputTest, WindowShortcutsBecomeTheirLinuxEquivalents)
{
    CORVANE_START_XVFB(xvfb, 640, 480);
    X11TestWindow window(0, 0, 400, 300);
    ASSERT_TRUE(window.open());
    constexpr unsigned kModifiers = ControlMask | ShiftMask | Mod1Mask;

    WindowEntity::Exec(1);
    ASSERT_TRUE(WaitForKey(window, KeyRelease, XK_w));
    EXPECT_EQ(FindKey(window.events(), KeyPress, XK_w).value().state & kModifiers, unsigned(ControlMask));

    window.clear();
    WindowEntity::Exec(9000);
    ASSERT_TRUE(WaitForKey(window, KeyRelease, XK_Left));
    EXPECT_EQ(FindKey(window.events(), KeyPress, XK_Left).value().state & kModifiers, unsigned(Mod1Mask));

    window.clear();
    WindowEntity::Exec(2);
    PPTEntity::PPTExec(1);
    PPTEntity::PPTExec(0);
    ASSERT_TRUE(WaitForKey(window, KeyRelease, XK_Escape));
    for (unsigned long keysym : {XK_F11, XK_F5, XK_Escape}) {
        const auto press = FindKey(window.events(), KeyPress, keysym);
        ASSERT_TRUE(press) << keysym;
        EXPECT_EQ(press->state & kModifiers, 0u);
    }

    window.clear();
    KeybdEntity::OtherCommand(MsgType_MusicPlayPause);
    KeybdEntity::OtherCommand(MsgType_MusicNext);
    ASSERT_TRUE(WaitForKey(window, KeyRelease, XF86XK_AudioNext));
    EXPECT_TRUE(FindKey(window.events(), KeyPress, XF86XK_AudioPlay));
    EXPECT_FALSE(FindKey(window.events(), KeyPress, XK_space));
}

TEST_F(X11InputTest, ApplicationSwitcherHoldsAltAcrossTabs)
{
    CORVANE_START_XVFB(xvfb, 640, 480);
    X11TestWindow window(0, 0, 400, 300);
    ASSERT_TRUE(window.open());

    WindowEntity::Exec(10000);
    WindowEntity::Exec(10002);
    WindowEntity::Exec(10002);
    WindowEntity::Exec(10001);
    ASSERT_TRUE(WaitForKey(window, KeyRelease, XK_Alt_L));
    const auto keys = window.settle();

    // Alt goes down once, both Tabs come with Alt held, then Alt goes up.
    std::vector<std::pair<int, unsigned long>> sequence;
    for (const WindowEvent& event : keys) {
        if (event.type == KeyPress || event.type == KeyRelease)
            sequence.emplace_back(event.type, event.keysym);
    }
    const std::vector<std::pair<int, unsigned long>> expected = {
        {KeyPress, XK_Alt_L}, {KeyPress, XK_Tab}, {KeyRelease, XK_Tab},
        {KeyPress, XK_Tab},   {KeyRelease, XK_Tab}, {KeyRelease, XK_Alt_L}};
    EXPECT_EQ(sequence, expected);
    for (const WindowEvent& event : OfType(keys, KeyPress)) {
        if (event.keysym == XK_Tab) {
            EXPECT_EQ(event.state & (Mod1Mask | ControlMask), unsigned(Mod1Mask));
        }
    }
}

TEST_F(X11InputTest, MinimiseAndShowDesktopAskTheWindowManager)
{
    CORVANE_START_XVFB(xvfb, 640, 480);
    X11TestWindow window(0, 0, 400, 300);
    ASSERT_TRUE(window.open());
    window.becomeActiveWindow();

    WindowEntity::Exec(3);
    WindowEntity::Exec(4);
    ASSERT_TRUE(window.waitFor([](const std::vector<WindowEvent>& events) {
        return OfType(events, ClientMessage).size() >= 2;
    }));
    const auto messages = OfType(window.events(), ClientMessage);
    EXPECT_EQ(messages[0].message, "WM_CHANGE_STATE");
    EXPECT_EQ(messages[0].data0, IconicState);
    EXPECT_EQ(messages[0].about, window.id());
    EXPECT_EQ(messages[1].message, "_NET_SHOWING_DESKTOP");
    EXPECT_EQ(messages[1].data0, 1);
    // No keys were typed for them.
    const auto events = window.settle();
    EXPECT_TRUE(OfType(events, KeyPress).empty());
    EXPECT_TRUE(OfType(events, KeyRelease).empty());
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
    const char16_t text[] = u"ab";
    poster.postUnicodeKeyDown(text, 2);
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

// Text typing, read back from a real toolkit text field.
class X11TypingTest : public X11InputTest {
protected:
    // Types through OpKey_WriteStr and waits for the field to hold expected.
    void WriteStr(const std::string& text)
    {
        const auto reply = server->request("OpKey_WriteStr", text);
        ASSERT_EQ(reply.result, NR_OK);
    }

    std::unique_ptr<InProcessServer> server = std::make_unique<InProcessServer>();
};

TEST_F(X11TypingTest, WriteStrTypesExactlyTheText)
{
    CORVANE_START_XVFB(xvfb, 800, 600);
    TextFieldProbe field;
    ASSERT_TRUE(field.waitUntilReady());

    std::string expected;
    for (const std::string& sample : std::vector<std::string>{"Hello, World! 0123456789 ~`@#$%^&*()_+-=[]{}|;':\",./<>?", " héllo wörld",
                                     " 你好世界", " 😀", std::string(15, 'a') + "😀b"}) {
        expected += sample;
        WriteStr(sample);
        EXPECT_TRUE(field.waitForText(expected)) << "field holds: " << field.text();
    }
}

TEST_F(X11TypingTest, LiveTextMessagesTypeExactlyTheText)
{
    CORVANE_START_XVFB(xvfb, 800, 600);
    TextFieldProbe field;
    ASSERT_TRUE(field.waitUntilReady());
    MyClient client;
    client.SetInfo("127.0.0.1", server->port(), 5);
    ASSERT_EQ(client.ConnService(), NR_OK);

    std::string expected;
    for (const char* sample : {"hello", "héllo wörld", "你好世界", "😀", "ok"}) {
        std::unique_ptr<char[]> message(GetMsgBuf(MsgType_Text, sample, 0, 0));
        ASSERT_EQ(client.SendMsg(message.get()), NR_OK);
        expected += sample;
    }
    EXPECT_TRUE(field.waitForText(expected)) << "field holds: " << field.text();
}

TEST_F(X11TypingTest, ManyDistinctCharactersArriveInOrderAndTheKeymapIsRestored)
{
    CORVANE_START_XVFB(xvfb, 800, 600);
    X11TestWindow observer(700, 500, 10, 10);
    ASSERT_TRUE(observer.open());
    const int emptyBefore = EmptyKeycodes(observer.connection());
    TextFieldProbe field;
    ASSERT_TRUE(field.waitUntilReady());

    // More distinct characters than there are free key codes, so borrowed
    // key codes are rebound while the text is being typed.
    std::string text;
    for (int i = 0; i < 3 * emptyBefore; ++i) {
        const char32_t character = 0x4E00 + static_cast<char32_t>(i) * 37;
        text += static_cast<char>(0xE0 | (character >> 12));
        text += static_cast<char>(0x80 | ((character >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (character & 0x3F));
        if (i % 5 == 4)
            text += "x";
    }
    WriteStr(text);
    EXPECT_TRUE(field.waitForText(text)) << "field holds: " << field.text();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (EmptyKeycodes(observer.connection()) != emptyBefore && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(EmptyKeycodes(observer.connection()), emptyBefore);
}

TEST_F(X11TypingTest, CapsLockDoesNotChangeTypedLetters)
{
    CORVANE_START_XVFB(xvfb, 800, 600);
    X11TestWindow observer(700, 500, 10, 10);
    ASSERT_TRUE(observer.open());
    TextFieldProbe field;
    ASSERT_TRUE(field.waitUntilReady());
    Display* display = observer.connection();
    const KeyCode capsLock = XKeysymToKeycode(display, XK_Caps_Lock);
    XTestFakeKeyEvent(display, capsLock, True, CurrentTime);
    XTestFakeKeyEvent(display, capsLock, False, CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(CapsLockOn(display));

    WriteStr("abC é");
    EXPECT_TRUE(field.waitForText("abC é")) << "field holds: " << field.text();
    EXPECT_TRUE(CapsLockOn(display));
}

} // namespace
