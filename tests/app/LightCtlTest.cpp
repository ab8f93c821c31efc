// The laser pointer's window: its state changes on Qt's offscreen platform
// (place, size, shape, colour, visibility), changes from the entity arriving
// through the main thread in order, and, on a real X server, the dot above
// a full-screen window.
#include "DesktopApplication.h"
#include "LightCtl.h"
#include "LightDotView.h"
#include "OverlayWindows.h"
#include "PPTEntity.h"
#include "ScreenCapture.h"
#include "X11WindowFacts.h"
#include "XvfbServer.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <thread>

namespace {

QSize Desktop()
{
    return QGuiApplication::primaryScreen()->virtualSize();
}

// The window's bottom-left corner, in Qt's y-down coordinates.
QPoint BottomLeft(const LightCtl& ctl)
{
    const QRect frame = ctl.window()->geometry();
    return {frame.x(), frame.y() + frame.height()};
}

class LightCtlTest : public ::testing::Test {
protected:
    DesktopApplication desktop{"offscreen"};
};

TEST_F(LightCtlTest, TheFirstShowMakesARedRoundDotCentredAboveEverything)
{
    LightCtl ctl;
    ctl.hide();
    ctl.move(5, 5);
    EXPECT_EQ(ctl.window(), nullptr); // neither makes the window

    ctl.show();
    QWidget* window = ctl.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(ctl.alpha(), 1.0);
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::X11BypassWindowManagerHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(window->testAttribute(Qt::WA_TranslucentBackground));

    const QRect frame = window->geometry();
    EXPECT_EQ(frame.width(), frame.height());
    const QPoint screenCentre = QGuiApplication::primaryScreen()->geometry().center();
    EXPECT_LE((frame.center() - screenCentre).manhattanLength(), 2);

    LightDotView* dot = ctl.contentView();
    ASSERT_NE(dot, nullptr);
    EXPECT_EQ(dot->geometry(), QRect(QPoint(0, 0), frame.size()));
    EXPECT_EQ(dot->color(), QColor(Qt::red));
    EXPECT_DOUBLE_EQ(dot->cornerRadius(), frame.width() / 2.0);
    EXPECT_TRUE(window->mask().contains(QPoint(frame.width() / 2, frame.height() / 2)));
    EXPECT_FALSE(window->mask().contains(QPoint(0, 0)));
}

TEST_F(LightCtlTest, ANewSizeKeepsTheBottomLeftCornerAndRoundsByHalfTheWidth)
{
    LightCtl ctl;
    ctl.show();
    const QPoint corner = BottomLeft(ctl);

    ctl.lightSize(40, 40, true);
    EXPECT_EQ(ctl.window()->size(), QSize(40, 40));
    EXPECT_EQ(BottomLeft(ctl), corner);
    EXPECT_EQ(ctl.contentView()->geometry(), QRect(0, 0, 40, 40));
    EXPECT_DOUBLE_EQ(ctl.contentView()->cornerRadius(), 20);
    const QRegion circle = ctl.window()->mask();
    EXPECT_TRUE(circle.contains(QPoint(20, 20)));
    EXPECT_TRUE(circle.contains(QPoint(20, 1)));
    EXPECT_FALSE(circle.contains(QPoint(2, 2)));
    EXPECT_FALSE(circle.contains(QPoint(37, 37)));

    ctl.lightSize(60, 20, true);
    EXPECT_EQ(ctl.window()->size(), QSize(60, 20));
    EXPECT_EQ(BottomLeft(ctl), corner);
    EXPECT_DOUBLE_EQ(ctl.contentView()->cornerRadius(), 30); // half the width, not the height
    const QRegion capsule = ctl.window()->mask();
    EXPECT_TRUE(capsule.contains(QPoint(30, 10)));
    EXPECT_TRUE(capsule.contains(QPoint(5, 10)));
    EXPECT_FALSE(capsule.contains(QPoint(0, 0)));
    EXPECT_TRUE(ctl.window()->isVisible());

    // Sizes from the phone stay within bounds.
    ctl.lightSize(0, -5, true);
    EXPECT_EQ(ctl.window()->size(), QSize(1, 1));
    ctl.lightSize(1000000, 30, true);
    EXPECT_EQ(ctl.window()->size(), QSize(LightCtl::kMaxSize, 30));
    EXPECT_EQ(BottomLeft(ctl), corner);
}

TEST_F(LightCtlTest, MovesFollowThePhoneAndTheBottomLeftCornerStaysOnTheScreen)
{
    LightCtl ctl;
    ctl.lightSize(30, 30, true);
    const QPoint start = ctl.window()->pos();
    const QSize desktopSize = Desktop();

    ctl.move(10, 20); // the phone's y grows downwards, as Qt's does
    EXPECT_EQ(ctl.window()->pos(), start + QPoint(10, 20));
    ctl.move(-4, -8);
    EXPECT_EQ(ctl.window()->pos(), start + QPoint(6, 12));
    for (int i = 0; i < 5; ++i)
        ctl.move(0.4f, -0.2f); // fractions add up
    EXPECT_EQ(ctl.window()->pos(), start + QPoint(8, 11));

    // Not left of the screen, and one point short of its right edge.
    ctl.move(-100000, 0);
    EXPECT_EQ(ctl.window()->x(), 0);
    ctl.move(100000, 0);
    EXPECT_EQ(ctl.window()->x(), desktopSize.width() - 1);
    // Not below the screen; above, the corner stops one point below the top
    // edge, so the dot reaches past it by its height less one.
    ctl.move(0, 100000);
    EXPECT_EQ(BottomLeft(ctl).y(), desktopSize.height());
    ctl.move(0, -100000);
    EXPECT_EQ(BottomLeft(ctl).y(), 1);
    EXPECT_EQ(ctl.window()->y(), 1 - 30);

    // Values that are not numbers move nothing.
    const QPoint before = ctl.window()->pos();
    ctl.move(std::nanf(""), 3);
    ctl.move(0, std::numeric_limits<float>::infinity());
    EXPECT_EQ(ctl.window()->pos(), before);
}

TEST_F(LightCtlTest, AHiddenPointerIgnoresMovesAndComesBackWhereItWas)
{
    LightCtl ctl;
    ctl.show();
    ctl.move(15, -25);
    const QPoint shownAt = ctl.window()->pos();

    ctl.hide();
    EXPECT_FALSE(ctl.window()->isVisible());
    EXPECT_EQ(ctl.alpha(), 0.0);
    ctl.move(100, 100);

    ctl.show();
    EXPECT_TRUE(ctl.window()->isVisible());
    EXPECT_EQ(ctl.window()->pos(), shownAt);
}

TEST_F(LightCtlTest, ColourAndSizeWithTheShowFlagOffAreKeptForTheNextShow)
{
    LightCtl ctl;
    ctl.show();
    ctl.lightColor(0x00FF00, 0.5f, false);
    EXPECT_FALSE(ctl.window()->isVisible());
    EXPECT_EQ(ctl.alpha(), 0.0);
    const QColor green = ctl.contentView()->color();
    EXPECT_EQ(green.red(), 0);
    EXPECT_EQ(green.green(), 255);
    EXPECT_EQ(green.blue(), 0);
    EXPECT_NEAR(green.alphaF(), 0.5, 0.01);

    ctl.lightSize(50, 50, false);
    EXPECT_FALSE(ctl.window()->isVisible());
    ctl.show();
    EXPECT_TRUE(ctl.window()->isVisible());
    EXPECT_EQ(ctl.window()->size(), QSize(50, 50));
    EXPECT_EQ(ctl.contentView()->color(), green);

    ctl.lightColor(0x123456, 1.0f, true);
    EXPECT_TRUE(ctl.window()->isVisible());
    EXPECT_EQ(ctl.contentView()->color(), QColor(0x12, 0x34, 0x56));
    // Alphas out of range are brought into it.
    ctl.lightColor(0xFFFFFF, 7.0f, true);
    EXPECT_EQ(ctl.contentView()->color().alpha(), 255);
    ctl.lightColor(0xFFFFFF, std::nanf(""), true);
    EXPECT_EQ(ctl.contentView()->color().alpha(), 255);
}

TEST_F(LightCtlTest, AlphaSwitchTogglesBetweenShownAndHidden)
{
    LightCtl ctl;
    ctl.alphaSwitch(); // makes the pointer, shown
    ASSERT_NE(ctl.window(), nullptr);
    EXPECT_TRUE(ctl.window()->isVisible());
    EXPECT_EQ(ctl.alpha(), 1.0);

    ctl.alphaSwitch();
    EXPECT_FALSE(ctl.window()->isVisible());
    EXPECT_EQ(ctl.alpha(), 0.0);
    ctl.alphaSwitch();
    EXPECT_TRUE(ctl.window()->isVisible());
    EXPECT_EQ(ctl.alpha(), 1.0);

    // Anything but exactly 0 counts as shown.
    ctl.setAlpha(0.5);
    EXPECT_TRUE(ctl.window()->isVisible());
    ctl.alphaSwitch();
    EXPECT_EQ(ctl.alpha(), 0.0);
    EXPECT_FALSE(ctl.window()->isVisible());
}

TEST_F(LightCtlTest, ChangesFromTheEntityArriveOnTheMainThreadInOrder)
{
    OverlayWindows overlays;
    LightCtl& ctl = overlays.lightCtl;
    std::thread connection([] {
        PPTEntity::LightSize(50, 50, true);
        PPTEntity::LightMove(10, 10);
        PPTEntity::LightOff();
        PPTEntity::LightMove(100, 100); // hidden: ignored
        PPTEntity::LightOn();
        PPTEntity::LightMove(-5, 0);
        PPTEntity::LightColor(0x0000FF, 1.0f, true);
    });
    connection.join(); // none of them waited for the main thread
    EXPECT_EQ(ctl.window(), nullptr);

    ASSERT_TRUE(desktop.pumpUntil([&] { return ctl.contentView() && ctl.contentView()->color() == QColor(Qt::blue); }));
    ASSERT_TRUE(ctl.window()->isVisible());
    EXPECT_EQ(ctl.window()->size(), QSize(50, 50));
    // Made centred at its interface size, grown from its bottom-left
    // corner, then moved by (10, 10) and (-5, 0). The interface file's
    // dot is 24 points wide.
    const QPoint centre = QGuiApplication::primaryScreen()->geometry().center();
    EXPECT_EQ(ctl.window()->pos(), QPoint(centre.x() - 12 + 10 - 5, centre.y() - 12 + (24 - 50) + 10));
}

// The dot over a full-screen "slide" on a real X server, after the slide
// was raised over it: the pixel at the dot's centre is the dot's.
TEST(LaserPointerOnX, TheDotStaysAboveAFullScreenWindow)
{
#ifdef __SANITIZE_THREAD__
    // A shown widget makes Qt start its accessibility bridge, whose D-Bus
    // thread trades objects with the main thread under locks the checker
    // cannot see (Qt is not built for it).
    GTEST_SKIP() << "Qt's accessibility thread is invisible to ThreadSanitizer";
#endif
    CORVANE_START_XVFB(xvfb, 1024, 640);
    DesktopApplication desktop;
    QLabel slide(QStringLiteral("<h1>Quarterly review</h1><p>Revenue grew in every region.</p>"
                                "<p><small>Corvane laser pointer over a full-screen window</small></p>"));
    slide.setAlignment(Qt::AlignCenter);
    slide.setStyleSheet(QStringLiteral("background: #1d3557; color: #f1faee; font-size: 28px;"));
    // Without a window manager to honour the full-screen state, the window
    // covers the screen by its own geometry.
    slide.setGeometry(QGuiApplication::primaryScreen()->geometry());
    slide.showFullScreen();
    ASSERT_TRUE(desktop.pumpUntil([&] {
        const QImage screen = ScreenCapture::grabRoot();
        return !screen.isNull() && screen.pixelColor(5, 5) == QColor(0x1d, 0x35, 0x57) &&
               screen.pixelColor(screen.width() - 5, screen.height() - 5) == QColor(0x1d, 0x35, 0x57);
    }));
    const QImage slideOnly = ScreenCapture::grabRoot();

    LightCtl ctl;
    ctl.lightSize(40, 40, true);
    ctl.move(120, 90);
    // Outside the window manager's stacking, so no managed window, however
    // full-screen, is placed over it for good.
    EXPECT_TRUE(X11WindowFacts(ctl.window()->winId()).overrideRedirect());
    const QPoint centre = ctl.window()->geometry().center();
    ASSERT_TRUE(desktop.pumpUntil([&] { return ScreenCapture::grabRoot().pixelColor(centre) == QColor(Qt::red); }));

    // The slide show comes to the front again, over the dot; the dot goes
    // back on top by itself.
    slide.raise();
    slide.activateWindow();
    ASSERT_TRUE(desktop.pumpUntil([&] { return ScreenCapture::grabRoot().pixelColor(centre) == QColor(Qt::red); }));
    const QImage screen = ScreenCapture::grabRoot();
    // Beside the dot, and in the corners of its window, the slide shows.
    const QRect frame = ctl.window()->geometry();
    for (const QPoint& point : {QPoint(centre.x() + 30, centre.y()), frame.topLeft(), frame.bottomRight()})
        EXPECT_EQ(screen.pixelColor(point), slideOnly.pixelColor(point)) << point.x() << "," << point.y();

    // CORVANE_SCREENSHOT_DIR=docs/screenshots keeps the picture for the docs.
    if (const char* folder = std::getenv("CORVANE_SCREENSHOT_DIR")) {
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(screen.save(QString::fromLocal8Bit(folder) + QStringLiteral("/laser-pointer.png")));
    }
}

} // namespace
