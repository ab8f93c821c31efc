// Injection latency on a private Xvfb server: from a live move message
// written to the channel's socket until the X server reports the new
// pointer position, over 10,000 moves; against a direct XTest motion plus
// XQueryPointer polling from the same process, measured the same way.
#include "BenchTools.h"
#include "EventPoster.h"
#include "InProcessServer.h"
#include "MyClient.h"
#include "SCommon.h"
#include "XvfbServer.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMoves = 10000;
// The two are measured in alternating blocks, so that load from elsewhere on
// the machine falls on both alike.
constexpr int kBlock = 500;
using Clock = std::chrono::steady_clock;

void Pointer(Display* display, int& x, int& y)
{
    Window root, child;
    int wx, wy;
    unsigned mask;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &wx, &wy, &mask);
}

// Adds the latencies in microseconds of `count` moves by +-1 pixel: move(dx)
// starts one, and the X server is asked for the pointer until it is there.
void Measure(Display* observer, int count, const std::function<void(int dx, int targetX, int y)>& move,
             std::vector<double>& latencies)
{
    int x = 0, y = 0;
    Pointer(observer, x, y);
    for (int i = 0; i < count; ++i) {
        const int dx = (i % 2 == 0) ? 1 : -1;
        const auto start = Clock::now();
        move(dx, x + dx, y);
        int px = 0, py = 0;
        do {
            Pointer(observer, px, py);
        } while (px != x + dx || py != y);
        latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        x += dx;
    }
}

} // namespace

int main()
{
    XvfbServer xvfb(1280, 800);
    if (!xvfb.started()) {
        std::printf("injection latency: Xvfb is not available, nothing measured\n");
        return 1;
    }
    Display* observer = XOpenDisplay(xvfb.display().c_str());
    Display* direct = XOpenDisplay(xvfb.display().c_str());
    InProcessServer server;
    MyClient client;
    client.SetInfo("127.0.0.1", server.port(), 5);
    if (observer == nullptr || direct == nullptr || client.ConnService() != NR_OK) {
        std::printf("injection latency: set-up failed\n");
        return 1;
    }

    // The "%f %f" move log goes to /dev/null while measuring.
    std::fflush(stdout);
    const int savedStdout = ::dup(STDOUT_FILENO);
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, STDOUT_FILENO);

    std::vector<double> corvane, anchor;
    for (int done = 0; done < kMoves; done += kBlock) {
        Measure(observer, kBlock, [&](int dx, int, int) {
            std::unique_ptr<char[]> message(GetMsgBuf(MsgType_Move, nullptr, static_cast<float>(dx), 0.0f));
            client.SendMsg(message.get());
        }, corvane);
        Measure(observer, kBlock, [&](int, int x, int y) {
            XTestFakeMotionEvent(direct, -1, x, y, CurrentTime);
            XFlush(direct);
        }, anchor);
    }
    std::fflush(stdout);
    ::dup2(savedStdout, STDOUT_FILENO);
    ::close(devNull);

    BenchTools::ReportLatencies("injection latency under Xvfb, " + std::to_string(kMoves) + " moves",
                                "corvane live move -> X pointer", corvane, "anchor: direct XTest + XQueryPointer",
                                anchor, "p99 under 2000");
    XCloseDisplay(direct);
    XCloseDisplay(observer);
    return 0;
}
