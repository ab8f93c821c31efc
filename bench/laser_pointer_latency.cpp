// Laser-pointer latency on a private Xvfb server: from a live "pointer move"
// message written to the channel's socket until the X server reports the
// dot's window at its new place, over 10,000 moves; against a plain Xlib
// client moving a window of the same size with XMoveWindow, observed the
// same way. The dot's path: connection thread, main queue, Qt event loop,
// the window's configure request.
#include "BenchTools.h"
#include "InProcessServer.h"
#include "LightCtl.h"
#include "WidgetLaserDot.h"
#include "MyClient.h"
#include "OverlayWindows.h"
#include "SCommon.h"
#include "XvfbServer.h"

#include <QApplication>
#include <QMetaObject>
#include <QWidget>
#include <X11/Xlib.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kMoves = 10000;
// The two are measured in alternating blocks, so that load from elsewhere on
// the machine falls on both alike.
constexpr int kBlock = 500;
constexpr int kDotSize = 30;
using Clock = std::chrono::steady_clock;

int WindowX(Display* display, Window window)
{
    Window root;
    int x = 0, y = 0;
    unsigned width, height, border, depth;
    XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth);
    return x;
}

// Adds the latencies in microseconds of `count` moves by +-1 point:
// move(dx) starts one, and the X server is asked for the window's place
// until it is there.
void Measure(Display* observer, Window window, int count, const std::function<void(int dx, int targetX)>& move,
             std::vector<double>& latencies)
{
    int x = WindowX(observer, window);
    for (int i = 0; i < count; ++i) {
        const int dx = (i % 2 == 0) ? 1 : -1;
        const auto start = Clock::now();
        move(dx, x + dx);
        while (WindowX(observer, window) != x + dx) {
        }
        latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        x += dx;
    }
}

} // namespace

int main(int argc, char** argv)
{
    XvfbServer xvfb(1280, 800);
    if (!xvfb.started()) {
        std::fprintf(BenchTools::Out(), "laser pointer latency: Xvfb is not available, nothing measured\n");
        return 1;
    }
    BenchTools::QuietServiceLogs();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    // The server comes first: it installs the desktop module linked into
    // this program, which makes the dot's surface.
    InProcessServer server;
    OverlayWindows overlays;
    overlays.lightCtl.lightSize(kDotSize, kDotSize, true);
    QApplication::processEvents();

    // The anchor: an equal window of a plain Xlib client.
    Display* observer = XOpenDisplay(xvfb.display().c_str());
    Display* direct = XOpenDisplay(xvfb.display().c_str());
    MyClient client;
    client.SetInfo("127.0.0.1", server.port(), 5);
    auto* surface = static_cast<WidgetLaserDot*>(overlays.lightCtl.surface());
    if (surface == nullptr || observer == nullptr || direct == nullptr || client.ConnService() != NR_OK) {
        std::fprintf(BenchTools::Out(), "laser pointer latency: set-up failed\n");
        return 1;
    }
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const Window plain = XCreateWindow(direct, DefaultRootWindow(direct), 400, 300, kDotSize, kDotSize, 0,
                                       CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    XMapWindow(direct, plain);
    XSync(direct, False);
    const Window dot = surface->window()->winId();

    std::vector<double> corvane, anchor;
    std::atomic<bool> finished{false};
    std::thread measuring([&] {
        for (int done = 0; done < kMoves; done += kBlock) {
            Measure(observer, dot, kBlock, [&](int dx, int) {
                std::unique_ptr<char[]> message(GetMsgBuf(MsgType_LightMove, nullptr, static_cast<float>(dx), 0.0f));
                client.SendMsg(message.get());
            }, corvane);
            Measure(observer, plain, kBlock, [&](int, int x) {
                XMoveWindow(direct, plain, x, 300);
                XFlush(direct);
            }, anchor);
        }
        finished = true;
        QMetaObject::invokeMethod(&application, [] { QApplication::quit(); }, Qt::QueuedConnection);
    });
    application.exec();
    measuring.join();
    if (!finished)
        return 1;
    std::sort(corvane.begin(), corvane.end());
    std::sort(anchor.begin(), anchor.end());

    std::FILE* out = BenchTools::Out();
    std::fprintf(out, "laser pointer latency under Xvfb, %d moves (microseconds)\n", kMoves);
    using BenchTools::Percentile;
    BenchTools::Report("dot move p50", Percentile(corvane, 0.50), Percentile(anchor, 0.50), "us",
                       "XMoveWindow of a plain window");
    BenchTools::Report("dot move p99", Percentile(corvane, 0.99), Percentile(anchor, 0.99), "us",
                       "XMoveWindow of a plain window", "corvane p99 within one 60 Hz frame (16700 us)");
    XDestroyWindow(direct, plain);
    XCloseDisplay(direct);
    XCloseDisplay(observer);
    return 0;
}
