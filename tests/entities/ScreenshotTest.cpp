// Screenshots: the X root window as PNG on the user's Desktop, sent back.
#include "CData.h"
#include "InProcessServer.h"
#include "SRequest.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "UserSandbox.h"
#include "X11Display.h"
#include "XvfbServer.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

// Last: Xlib defines macros (None, Status, Bool) that clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

bool IsPng(const std::string& bytes)
{
    return bytes.size() > 8 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
}

QImage Decode(const std::string& bytes)
{
    return QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()));
}

// Paints the root window in one colour (0xRRGGBB on a TrueColor screen).
void PaintRoot(unsigned long rgb)
{
    X11Display::instance().With([&](Display* display) {
        const Window root = DefaultRootWindow(display);
        XSetWindowBackground(display, root, rgb);
        XClearWindow(display, root);
        XSync(display, False);
    });
}

// Draws the picture (RGB32, the size of the screen) straight onto the root window.
void DrawOnRoot(const QImage& picture)
{
    X11Display::instance().With([&](Display* display) {
        const int screen = DefaultScreen(display);
        XImage* image = XCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap,
                                     0, const_cast<char*>(reinterpret_cast<const char*>(picture.constBits())),
                                     static_cast<unsigned>(picture.width()), static_cast<unsigned>(picture.height()),
                                     32, static_cast<int>(picture.bytesPerLine()));
        XPutImage(display, RootWindow(display, screen), DefaultGC(display, screen), image, 0, 0, 0, 0,
                  static_cast<unsigned>(picture.width()), static_cast<unsigned>(picture.height()));
        image->data = nullptr; // the pixels belong to the QImage
        XDestroyImage(image);
        XSync(display, False);
    });
}

NetResult RequestScreenshot(int port)
{
    SRequest client;
    client.SetInfo("127.0.0.1", port, 5);
    CData reply;
    return client.SendRequest("OpKey_ScreenShot", "", &reply);
}

// DISPLAY removed for the life of the object.
class NoDisplay {
public:
    NoDisplay()
    {
        if (const char* old = std::getenv("DISPLAY"))
            saved = old;
        ::unsetenv("DISPLAY");
    }
    ~NoDisplay()
    {
        if (saved)
            ::setenv("DISPLAY", saved->c_str(), 1);
    }

private:
    std::optional<std::string> saved;
};

} // namespace

TEST(Screenshot, IsAPngOfTheWholeDisplayWithItsColours)
{
    CORVANE_START_XVFB(xvfb, 640, 360);
    UserSandbox user;
    InProcessServer server;

    PaintRoot(0xff0000);
    const InProcessServer::Reply first = server.request("OpKey_ScreenShot");
    ASSERT_EQ(first.result, NR_OK);
    ASSERT_TRUE(IsPng(first.bytes));
    const QImage red = Decode(first.bytes);
    ASSERT_EQ(red.size(), QSize(640, 360));
    EXPECT_EQ(red.pixelColor(320, 180), QColor(255, 0, 0));
    EXPECT_EQ(TempDir::read(user.desktop() + "/screenshot.png"), first.bytes);

    // The next capture replaces the file and the reply carries the new one.
    PaintRoot(0x00ff80);
    const InProcessServer::Reply second = server.request("OpKey_ScreenShot");
    const QImage green = Decode(second.bytes);
    ASSERT_EQ(green.size(), QSize(640, 360));
    EXPECT_EQ(green.pixelColor(10, 10), QColor(0, 255, 128));
    EXPECT_EQ(TempDir::read(user.desktop() + "/screenshot.png"), second.bytes);
    // No temporary files are left on the Desktop.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(user.desktop()), {}), 1);
}

TEST(Screenshot, KeepsEveryPixelExactly)
{
    CORVANE_START_XVFB(xvfb, 333, 217); // odd sizes: rows are not a multiple of anything
    UserSandbox user;
    InProcessServer server;

    QImage picture(333, 217, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 7 + y) & 0xff, (y * 5) & 0xff, (x ^ y) & 0xff));
    DrawOnRoot(picture);

    const QImage shot = Decode(server.request("OpKey_ScreenShot").bytes).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), picture.size());
    EXPECT_TRUE(shot == picture);
}

TEST(Screenshot, AFailedWriteIsLoggedAndSentAsAMissingFile)
{
    CORVANE_START_XVFB(xvfb, 320, 200);
    UserSandbox user;
    // The Desktop is a file, so nothing can be written into it.
    std::filesystem::remove_all(user.desktop());
    user.root().write("home/Desktop", "not a folder");
    ServerProcess corvane;
    EXPECT_EQ(RequestScreenshot(corvane.tcpPort()), NR_FileUnavailable);
    EXPECT_TRUE(corvane.waitForOutput("Failed to write image to " + user.desktop() + "/screenshot.png\n"));
}

TEST(Screenshot, WithoutADisplayTheReplyIsAMissingFile)
{
    UserSandbox user;
    NoDisplay noDisplay;
    ServerProcess corvane;
    EXPECT_EQ(RequestScreenshot(corvane.tcpPort()), NR_FileUnavailable);
    EXPECT_TRUE(corvane.waitForOutput("Failed to write image to " + user.desktop() + "/screenshot.png\n"));
    EXPECT_FALSE(std::filesystem::exists(user.desktop() + "/screenshot.png"));
}
