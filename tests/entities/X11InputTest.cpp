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

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <functional>
#include <memory>
#include <optional>
#include <poll.h>
#include <thread>

namespace {

// One event the test window received.
struct WindowEvent {
    int type = 0;
    unsigned long keysym = 0; // the unshifted keysym of a key event
    unsigned state = 0;       // modifier mask
    int x = 0, y = 0;
    long data0 = 0, data1 = 0; // client messages: the first two values
};
using Events = std::vector<WindowEvent>;

std::optional<WindowEvent> FindKey(const Events& events, int type, unsigned long keysym)
{
    for (const WindowEvent& event : events) {
        if (event.type == type && event.keysym == keysym)
            return event;
    }
    return std::nullopt;
}

constexpr unsigned kModifiers = ControlMask | ShiftMask | Mod1Mask;

// Input through the desktop's event poster on an X server of the test's own,
// into a plain Xlib window of the test's (through a connection of its own)
// that has the focus and records the pointer and key events it gets.
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
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 300, 0, 0, 0xFFFFFF);
        XSelectInput(display, window,
                     KeyPressMask | KeyReleaseMask | PointerMotionMask | StructureNotifyMask | FocusChangeMask);
        // Keymap changes come as XKB events in order with the key events, as toolkits see them.
        int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
        if (XkbQueryExtension(display, &opcode, &xkbEventBase, &error, &major, &minor))
            XkbSelectEvents(display, XkbUseCoreKbd, XkbMapNotifyMask | XkbNewKeyboardNotifyMask,
                            XkbMapNotifyMask | XkbNewKeyboardNotifyMask);
        XMapRaised(display, window);
        for (XEvent event; XNextEvent(display, &event), !(event.type == MapNotify && event.xmap.window == window);) {
        }
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        Clear();
    }
    void TearDown() override
    {
        MouseEntity::bLeftBtnDown = false;
        if (display != nullptr)
            XCloseDisplay(display);
    }

    void Pump()
    {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            WindowEvent e{.type = event.type};
            switch (event.type) {
            case KeyPress:
            case KeyRelease:
                e.keysym = XLookupKeysym(&event.xkey, 0);
                e.state = event.xkey.state;
                break;
            case MotionNotify: e = {event.type, 0, event.xmotion.state, event.xmotion.x_root, event.xmotion.y_root}; break;
            case ClientMessage:
                e.data0 = event.xclient.data.l[0];
                e.data1 = event.xclient.data.l[1];
                break;
            case MappingNotify: XRefreshKeyboardMapping(&event.xmapping); continue;
            default:
                if (xkbEventBase != 0 && event.type == xkbEventBase)
                    XkbRefreshKeyboardMapping(reinterpret_cast<XkbMapNotifyEvent*>(&event));
                continue;
            }
            received.push_back(e);
        }
    }
    // Collects events until done(events) holds; false after timeoutMs.
    bool WaitFor(const std::function<bool(const Events&)>& done, int timeoutMs = 5000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            Pump();
            if (done(received))
                return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd connection{ConnectionNumber(display), POLLIN, 0};
            ::poll(&connection, 1, static_cast<int>(left.count()));
        }
    }
    // Collects events for a short while, to see that nothing more arrives.
    Events Settle()
    {
        WaitFor([](const Events&) { return false; }, 200);
        return received;
    }
    // Forgets the events so far, those still on their way included.
    void Clear()
    {
        XSync(display, False);
        Pump();
        received.clear();
    }
    std::pair<int, int> Pointer()
    {
        Window root, child;
        int x, y, windowX, windowY;
        unsigned mask;
        XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &windowX, &windowY, &mask);
        return {x, y};
    }
    bool WaitForPointer(int x, int y)
    {
        return Eventually([&] { return Pointer() == std::pair{x, y}; });
    }
    // Puts the pointer at (x, y) with relative moves and forgets the events so far.
    void PlacePointer(int x, int y)
    {
        const auto [px, py] = Pointer();
        MouseEntity::Move(static_cast<float>(x - px), static_cast<float>(y - py));
        ASSERT_TRUE(WaitForPointer(x, y));
        Clear();
    }
    bool WaitForKey(int type, unsigned long keysym)
    {
        return WaitFor([&](const Events& e) { return FindKey(e, type, keysym).has_value(); });
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
    Window window = 0;
    int xkbEventBase = 0;
    Events received;
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

// Into a real toolkit window over the test's own.
TEST_F(X11InputTest, ClicksDragsAndWheelClicksReachTheWindowUnderThePointer)
{
    TextFieldProbe field;
    ASSERT_TRUE(field.waitUntilReady());
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
        const std::size_t from = field.reports().size();
        step.act();
        EXPECT_EQ(field.reportsAfter(from, step.lines.size(), reported), step.lines);
    }
}

// A few keys of each kind; a key missing from the layout (F13) is typed on
// a borrowed key code that is given back.
TEST_F(X11InputTest, KeysAndShortcutsArriveAsTheirLinuxEquivalents)
{
    const int emptyBefore = EmptyKeycodes();
    ASSERT_EQ(XKeysymToKeycode(display, XK_F13), 0) << "F13 is expected to be missing";
    const struct {
        std::function<void()> act;
        unsigned long keysym;
        unsigned modifiers;
    } cases[] = {
        {[] { KeybdEntity::HotKey(1, 9); }, XK_s, ControlMask | ShiftMask}, // Command+Shift+S
        {[] { KeybdEntity::InputChar(8, 3); }, XK_c, Mod1Mask},              // Option+C
        {KeybdEntity::ReturnChar, XK_Return, 0},
        {[] { KeybdEntity::InputChar(117); }, XK_Delete, 0}, // forward delete
        {[] { KeybdEntity::InputChar(105); }, XK_F13, 0},
        {[] { WindowEntity::Exec(1); }, XK_w, ControlMask},
        {[] { WindowEntity::Exec(9000); }, XK_Left, Mod1Mask},
        {[] { WindowEntity::Exec(2); }, XK_F11, 0}, // Command+Control+F: its modifiers go
        {[] { PPTEntity::PPTExec(1); }, XK_F5, 0},
        {[] { KeybdEntity::OtherCommand(MsgType_MusicPlayPause); }, XF86XK_AudioPlay, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keysym);
        Clear();
        c.act();
        ASSERT_TRUE(WaitForKey(KeyRelease, c.keysym));
        const auto press = FindKey(received, KeyPress, c.keysym);
        ASSERT_TRUE(press);
        EXPECT_EQ(press->state & kModifiers, c.modifiers);
        EXPECT_FALSE(FindKey(received, KeyPress, XK_space)); // music keys are not the space bar
    }
    EXPECT_TRUE(KeymapRestored(emptyBefore));
}

TEST_F(X11InputTest, ApplicationSwitcherHoldsAltAcrossTabs)
{
    for (int code : {10000, 10002, 10002, 10001})
        WindowEntity::Exec(code);
    ASSERT_TRUE(WaitForKey(KeyRelease, XK_Alt_L));
    std::vector<std::pair<int, unsigned long>> sequence;
    for (const WindowEvent& event : Settle()) {
        if (event.type == KeyPress || event.type == KeyRelease)
            sequence.emplace_back(event.type, event.keysym);
        EXPECT_TRUE(event.type != KeyPress || event.keysym != XK_Tab ||
                    (event.state & (Mod1Mask | ControlMask)) == Mod1Mask);
    }
    EXPECT_EQ(sequence, (std::vector<std::pair<int, unsigned long>>{{KeyPress, XK_Alt_L}, {KeyPress, XK_Tab},
                                                                    {KeyRelease, XK_Tab}, {KeyPress, XK_Tab},
                                                                    {KeyRelease, XK_Tab}, {KeyRelease, XK_Alt_L}}));
}

TEST_F(X11InputTest, MinimiseAndShowDesktopAskTheWindowManager)
{
    FakeWindowManager manager;
    manager.set("_NET_ACTIVE_WINDOW", XA_WINDOW, {window}); // as a window manager announces it
    WindowEntity::Exec(3);
    WindowEntity::Exec(4);
    using Request = FakeWindowManager::Request;
    EXPECT_EQ(manager.awaitRequest("WM_CHANGE_STATE"), (Request{window, IconicState}));
    EXPECT_EQ(manager.awaitRequest("_NET_SHOWING_DESKTOP").value_or(Request{}).data0, 1);
    for (const WindowEvent& event : Settle()) // no keys were typed for them
        EXPECT_TRUE(event.type != KeyPress && event.type != KeyRelease) << event.type;
}

TEST_F(X11InputTest, TextArrivesExactlyInARealTextFieldWhateverTheCapsLock)
{
    InProcessServer server;
    TextFieldProbe field;
    ASSERT_TRUE(field.waitUntilReady());
    std::string expected;
    for (const std::string& sample : {std::string("Hello, World! 0123456789 ~`@#$%^&*()_+-=[]{}|;':\",./<>?"),
                                      std::string(" héllo wörld 你好世界 😀"), std::string(15, 'a') + "😀b"}) {
        ASSERT_EQ(server.request("OpKey_WriteStr", sample).result, NR_OK);
        EXPECT_TRUE(field.waitForText(expected += sample)) << "field holds: " << field.text();
    }

    Phone phone(server.port());
    for (const char* sample : {"hello", "héllo wörld", "你好世界", "😀", "ok"}) {
        phone.send({{MsgType_Text, sample}});
        expected += sample;
    }
    EXPECT_TRUE(field.waitForText(expected)) << "field holds: " << field.text();

    const auto capsLockOn = [&] {
        Window root, child;
        int rx, ry, wx, wy;
        unsigned mask = 0;
        XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rx, &ry, &wx, &wy, &mask);
        return (mask & LockMask) != 0;
    };
    const KeyCode capsLock = XKeysymToKeycode(display, XK_Caps_Lock);
    XTestFakeKeyEvent(display, capsLock, True, CurrentTime);
    XTestFakeKeyEvent(display, capsLock, False, CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(capsLockOn());
    ASSERT_EQ(server.request("OpKey_WriteStr", "abC é").result, NR_OK);
    EXPECT_TRUE(field.waitForText(expected + "abC é")) << "field holds: " << field.text();
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
    TextFieldProbe field;
    ASSERT_TRUE(field.waitUntilReady());
    // More distinct characters than free key codes: borrowed ones are rebound while typing.
    const std::string text = DistinctCharacters(3 * emptyBefore);
    ASSERT_EQ(server.request("OpKey_WriteStr", text).result, NR_OK);
    EXPECT_TRUE(field.waitForText(text)) << "field holds: " << field.text();
    EXPECT_TRUE(KeymapRestored(emptyBefore));
}

// Before a used borrowed key code is rebound, typing waits for the focused
// client to answer a ping. A client that has stopped answering keeps the
// typing waiting, and nothing else: the pointer still moves.
TEST_F(X11InputTest, ThePointerMovesWhileTypingWaitsForAClientThatDoesNotAnswer)
{
    PlacePointer(100, 100);
    Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    XSetWMProtocols(display, window, &ping, 1);
    Clear();
    std::thread typist([text = DistinctCharacters(EmptyKeycodes() + 20)] { KeybdEntity::InputChar(text.c_str()); });
    const auto pingIndex = [&] {
        const auto found = std::find_if(received.begin(), received.end(), [&](const WindowEvent& e) {
            return e.type == ClientMessage && e.data0 == static_cast<long>(ping);
        });
        return found - received.begin();
    };
    const bool pinged = WaitFor([&](const Events& e) { return pingIndex() < static_cast<long>(e.size()); });
    if (pinged) {
        MouseEntity::Move(5, 5);
        EXPECT_TRUE(WaitFor([](const Events& e) {
            return std::any_of(e.begin(), e.end(), [](const WindowEvent& w) { return w.type == MotionNotify && w.x == 105; });
        }));
        // Nothing was typed between the unanswered ping and the move.
        const Events events = received;
        const auto moved = std::find_if(events.begin() + pingIndex(), events.end(),
                                        [](const WindowEvent& e) { return e.type == MotionNotify; });
        EXPECT_EQ(std::count_if(events.begin() + pingIndex(), moved, [](const WindowEvent& e) { return e.type == KeyPress; }), 0);
        // Answer as a client would, and take part no more.
        XEvent answer{};
        answer.xclient = {ClientMessage, 0, True, display, DefaultRootWindow(display),
                          XInternAtom(display, "WM_PROTOCOLS", False), 32, {}};
        answer.xclient.data.l[0] = static_cast<long>(ping);
        answer.xclient.data.l[1] = events[static_cast<std::size_t>(pingIndex())].data1;
        answer.xclient.data.l[2] = static_cast<long>(window);
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
    const auto [x, y] = Pointer();
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
