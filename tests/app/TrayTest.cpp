#include "AppDelegate.h"
#include "Config.h"
#include "MenuWindow.h"
#include "DesktopApplication.h"
#include "FreePort.h"
#include "RecordingAlerts.h"
#include "TrayHost.h"
#include "UserSandbox.h"
#include "XvfbServer.h"

#include "X11Display.h"

#include <QSystemTrayIcon>
#include <gtest/gtest.h>
// Last: Xlib's macros (None, Bool, ...) would clash with the headers above.
#include <X11/Xlib.h>

namespace {

// What a window manager sends when the user clicks a window's close button.
void CloseFromWindowManager(unsigned long window)
{
    X11Display::instance().With([&](Display* display) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
    });
}

} // namespace

// Under a real X server: the status menu moves into a system tray as soon
// as one appears, and back into its window when the tray goes away.
TEST(Tray, TheIconFollowsTheTrayAndTheWindowStandsInWithoutOne)
{
    CORVANE_START_XVFB(xvfb, 1024, 768);
    CORVANE_REQUIRE_TOOLS(TrayHost::installed(), "trayer");
    UserSandbox sandbox;
    Config::setIsFirstStart(false);
    DesktopApplication app;
    RecordingAlerts alerts;
    AppDelegate delegate(FreePort::launchOptions());
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());

    QSystemTrayIcon* icon = delegate.statusItem();
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->isVisible());
    ASSERT_NE(delegate.menuWindow(), nullptr);
    EXPECT_TRUE(app.pumpUntil([&] { return delegate.menuWindow()->isVisible(); }));
    // Closed by the user, the window is minimised, not lost.
    CloseFromWindowManager(delegate.menuWindow()->winId());
    EXPECT_TRUE(app.pumpUntil([&] { return delegate.menuWindow()->isMinimized(); }));
    EXPECT_TRUE(delegate.menuWindow()->isVisible());

    TrayHost tray;
    ASSERT_TRUE(tray.started());
    EXPECT_TRUE(app.pumpUntil([&] { return icon->isVisible() && !delegate.menuWindow()->isVisible(); }, 10000));
    // Docked: the tray gave the icon its place at the top left.
    EXPECT_TRUE(app.pumpUntil([&] { return icon->geometry().isValid() && icon->geometry().top() < 24; }, 10000))
        << icon->geometry().x() << "," << icon->geometry().y();
    EXPECT_EQ(icon->contextMenu(), delegate.statusMenu());
    EXPECT_EQ(icon->toolTip(), "Corvane");

    tray.stop();
    EXPECT_TRUE(app.pumpUntil([&] { return !icon->isVisible() && delegate.menuWindow()->isVisible(); }, 10000));
    EXPECT_EQ(alerts.shown(), "");
}
