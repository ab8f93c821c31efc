// Input on a GNOME Wayland desktop of the benchmark's own (headless mutter
// with PipeWire): the server program, then a full-screen text field as a
// native Wayland client.
//  - Injection latency: from a live move written to the channel's socket
//    until the text field reports the pointer at its new place, against the
//    same mutter method (NotifyPointerMotionRelative) called directly by a
//    minimal D-Bus client with a remote-desktop session of its own,
//    measured the same way in alternating blocks.
//  - Typing rate: 1,000 mixed ASCII/Chinese characters (OpKey_WriteStr)
//    until they stand complete in the field, against the same text typed
//    by the server program on a private Xvfb server (X11 backend).
#include "BenchTools.h"
#include "CData.h"
#include "GnomeSession.h"
#include "MyClient.h"
#include "SCommon.h"
#include "SRequest.h"
#include "ServerProcess.h"
#include "TextFieldProbe.h"
#include "UserSandbox.h"
#include "XvfbServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <gio/gio.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kMoves = 1000; // half each; every move goes to a new place
constexpr int kBlock = 50;
constexpr int kStartX = 100;
constexpr int kY = 400;
constexpr int kCharacters = 1000;
constexpr int kTypingTimeoutMs = 300000;
using Clock = std::chrono::steady_clock;

// A minimal remote-desktop client: its own session, one method call per move.
class DirectClient {
public:
    DirectClient()
    {
        bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        GVariant* created = bus ? g_dbus_connection_call_sync(bus, "org.gnome.Mutter.RemoteDesktop",
                                                              "/org/gnome/Mutter/RemoteDesktop",
                                                              "org.gnome.Mutter.RemoteDesktop", "CreateSession",
                                                              nullptr, G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE,
                                                              5000, nullptr, nullptr)
                                : nullptr;
        if (created == nullptr)
            return;
        const char* path = nullptr;
        g_variant_get(created, "(&o)", &path);
        session = path;
        g_variant_unref(created);
        GVariant* started = g_dbus_connection_call_sync(bus, "org.gnome.Mutter.RemoteDesktop", session.c_str(),
                                                        "org.gnome.Mutter.RemoteDesktop.Session", "Start", nullptr,
                                                        nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (started != nullptr)
            g_variant_unref(started);
        else
            session.clear();
    }
    ~DirectClient()
    {
        if (bus != nullptr)
            g_object_unref(bus);
    }
    bool ready() const { return !session.empty(); }
    void move(double dx, double dy)
    {
        g_dbus_connection_call(bus, "org.gnome.Mutter.RemoteDesktop", session.c_str(),
                               "org.gnome.Mutter.RemoteDesktop.Session", "NotifyPointerMotionRelative",
                               g_variant_new("(dd)", dx, dy), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr,
                               nullptr);
    }

private:
    GDBusConnection* bus = nullptr;
    std::string session;
};

// Latencies in microseconds of `count` moves one pixel to the right,
// starting from x: move() starts one, the field reports it.
void Measure(TextFieldProbe& field, int& x, int count, const std::function<void()>& move,
             std::vector<double>& latencies)
{
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        move();
        ++x;
        if (!field.waitForLine("MOVE " + std::to_string(x) + " " + std::to_string(kY), 2000))
            return;
        latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
}

// Seconds until the text stands complete in a fresh field (0 when it did not).
double TypingSeconds(const ServerProcess& server, const TextFieldProbe::Options& options, const std::string& text)
{
    TextFieldProbe field(options);
    if (!field.waitUntilReady()) {
        std::fprintf(BenchTools::Out(), "typing: the text field did not get the focus\n");
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    SRequest request;
    request.SetInfo("127.0.0.1", server.tcpPort(), 600);
    CData reply;
    const auto start = Clock::now();
    request.SendRequest("OpKey_WriteStr", text.c_str(), &reply);
    if (!field.waitForText(text, kTypingTimeoutMs)) {
        const std::string got = field.text();
        std::size_t same = 0;
        while (same < got.size() && same < text.size() && got[same] == text[same])
            ++same;
        std::fprintf(BenchTools::Out(), "typing: %zu of %zu bytes arrived, the first %zu in order\n", got.size(),
                     text.size(), same);
        return 0;
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main()
{
    std::FILE* out = BenchTools::Out();
    if (!GnomeSession::installed()) {
        std::fprintf(out, "GNOME input: mutter is not installed, nothing measured\n");
        return 1;
    }
    const std::string text = BenchTools::MixedText(kCharacters);
    double x11Seconds = 0;
    {
        XvfbServer xvfb(1280, 800);
        if (xvfb.started()) {
            ServerProcess server({"--backend", "x11"});
            x11Seconds = TypingSeconds(server, {}, text);
        }
    }

    UserSandbox sandbox;
    GnomeSession gnome(1280, 800);
    if (!gnome.started()) {
        std::fprintf(out, "GNOME input: the desktop did not start\n");
        return 1;
    }
    gnome.enter();
    ServerProcess server({"--backend", "gnome"});
    const double gnomeSeconds = TypingSeconds(server, {.platform = "wayland", .fullScreen = true}, text);

    TextFieldProbe field({.platform = "wayland", .fullScreen = true});
    DirectClient direct;
    MyClient phone;
    phone.SetInfo("127.0.0.1", server.tcpPort(), 5);
    if (!field.waitUntilReady() || !direct.ready() || phone.ConnService() != NR_OK) {
        std::fprintf(out, "GNOME input: set-up failed\n");
        return 1;
    }
    // Stale positions come just after a window goes full screen.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    auto send = [&](float dx) {
        std::unique_ptr<char[]> message(GetMsgBuf(MsgType_Move, "0", dx, 0.0f));
        phone.SendMsg(message.get());
    };
    // The server put the pointer in the middle; the sweep starts on the left.
    int x = kStartX - 1;
    send(static_cast<float>(x - 640));
    field.waitForLine("MOVE " + std::to_string(x) + " " + std::to_string(kY), 2000);

    std::vector<double> corvane, anchor;
    for (int done = 0; done < kMoves; done += 2 * kBlock) {
        Measure(field, x, kBlock, [&] { send(1.0f); }, corvane);
        Measure(field, x, kBlock, [&] { direct.move(1.0, 0.0); }, anchor);
    }

    BenchTools::ReportLatencies("GNOME (mutter 43, headless, software rendering), " + std::to_string(corvane.size()) +
                                    " + " + std::to_string(anchor.size()) + " moves: live move -> Wayland window",
                                "corvane", corvane, "direct D-Bus call", anchor, "corvane p99 under 4000 us");
    if (gnomeSeconds > 0 && x11Seconds > 0)
        BenchTools::Report("typing 1,000 mixed characters", kCharacters / gnomeSeconds, kCharacters / x11Seconds,
                           "chars/s", "the same on X11 (Xvfb)");
    else
        std::fprintf(out, "typing: incomplete (GNOME %.2f s, X11 %.2f s)\n", gnomeSeconds, x11Seconds);
    return 0;
}
