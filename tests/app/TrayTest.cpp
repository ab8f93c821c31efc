#include "AppDelegate.h"
#include "Config.h"
#include "DesktopApplication.h"
#include "FakeWindowManager.h"
#include "FreePort.h"
#include "MenuWindow.h"
#include "RecordingAlerts.h"
#include "TrayHost.h"
#include "UserSandbox.h"
#include "XvfbServer.h"

#include <QSystemTrayIcon>
#include <gtest/gtest.h>

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
    FakeWindowManager().askToClose(delegate.menuWindow()->winId());
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
