// A screenshot of a 1920 × 1080 Xvfb display showing a photo-like picture,
// to PNG, against ImageMagick's `import -window root`.
#include "BenchTools.h"
#include "FreePort.h"
#include "InProcessServer.h"

#include "CData.h"
#include "SRequest.h"
#include "X11Display.h"
#include "XvfbServer.h"

#include <QImage>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

// Last: Xlib defines macros (None, Status, Bool) that clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Smooth colour fields with fine grain and a few sharp shapes, like a photograph.
QImage PhotoLike()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    std::mt19937 random(7);
    std::normal_distribution<float> grain(0.0f, 4.0f);
    for (int y = 0; y < kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const float u = static_cast<float>(x) / kWidth;
            const float v = static_cast<float>(y) / kHeight;
            const bool shape = std::hypot(u - 0.6f, v - 0.4f) < 0.15f;
            const float r = (shape ? 200 : 120 + 90 * std::sin(3.1f * u + 1.3f * v)) + grain(random);
            const float g = (shape ? 60 : 110 + 80 * std::sin(2.3f * v - 1.7f * u + 0.5f)) + grain(random);
            const float b = 100 + 70 * std::cos(4.1f * u * v + 0.3f) + grain(random);
            line[x] = qRgb(std::clamp(static_cast<int>(r), 0, 255), std::clamp(static_cast<int>(g), 0, 255),
                           std::clamp(static_cast<int>(b), 0, 255));
        }
    }
    return image;
}

// Shows the picture as the root window's background.
void ShowOnRoot(const QImage& picture)
{
    X11Display::instance().With([&](Display* display) {
        const int screen = DefaultScreen(display);
        const Window root = RootWindow(display, screen);
        const Pixmap pixmap = XCreatePixmap(display, root, kWidth, kHeight, DefaultDepth(display, screen));
        XImage* image = XCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap,
                                     0, const_cast<char*>(reinterpret_cast<const char*>(picture.constBits())),
                                     kWidth, kHeight, 32, static_cast<int>(picture.bytesPerLine()));
        XPutImage(display, pixmap, DefaultGC(display, screen), image, 0, 0, 0, 0, kWidth, kHeight);
        image->data = nullptr; // the pixels belong to the QImage
        XDestroyImage(image);
        XSetWindowBackgroundPixmap(display, root, pixmap);
        XClearWindow(display, root);
        XFreePixmap(display, pixmap);
        XSync(display, False);
    });
}

} // namespace

int main()
{
    BenchTools::QuietServiceLogs();
    char pattern[] = "/tmp/corvane-screenshot-bench-XXXXXX";
    const std::string home = ::mkdtemp(pattern);
    std::filesystem::create_directories(home + "/Desktop");
    std::filesystem::create_directories(home + "/config");
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    const std::string importOut = home + "/import.png";

    const XvfbServer xvfb(kWidth, kHeight); // DISPLAY goes to it
    if (!xvfb.started())
        throw std::runtime_error("Xvfb did not start");
    ShowOnRoot(PhotoLike());

    InProcessServer service;
    long long pngSize = 0;
    const auto ours = [&] {
        SRequest client;
        client.SetInfo("127.0.0.1", service.port(), 10);
        CData reply;
        if (client.SendRequest("OpKey_ScreenShot", "", &reply) != NR_OK)
            throw std::runtime_error("screenshot failed");
        pngSize = reply.size;
    };
    const auto import = [&] { BenchTools::Run({"import", "-window", "root", importOut}); };

    ours();
    import();
    const double anchor = BenchTools::Median(5, import);
    const double mine = BenchTools::Median(5, ours);
    std::fprintf(BenchTools::Out(), "screenshot PNG: corvane %lld bytes, import %ju bytes\n", pngSize,
                static_cast<std::uintmax_t>(std::filesystem::file_size(importOut)));
    BenchTools::Report("screenshot of 1920x1080 to PNG", mine * 1000, anchor * 1000, "ms", "import -window root", "<= 0.5");

    std::filesystem::remove_all(home);
    return 0;
}
