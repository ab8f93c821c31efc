// Input on a headless KDE Plasma session (KWin on a virtual output,
// compositing with QPainter: without a GPU, OpenGL compositing renders in
// software and holds KWin's input back for much of a frame, for every
// client alike), into a full-screen Wayland text field that reports what
// reaches it:
//  - injection latency: a live move written to the server's socket until the
//    field reports the pointer there, over 2,000 moves, against a direct
//    fake-input client of this program moving the pointer the same way;
//  - typing: 1,000 mixed ASCII/Chinese characters (OpKey_WriteStr) and
//    1,000 ASCII letters until the field holds them, against the direct
//    client typing the letters as keys.
#include "BenchTools.h"
#include "CData.h"
#include "KwinFakeInput.h"
#include "KwinSession.h"
#include "MyClient.h"
#include "SCommon.h"
#include "SRequest.h"
#include "ServerProcess.h"
#include "TextFieldProbe.h"
#include "UserSandbox.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <linux/input-event-codes.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using BenchTools::Clock;
constexpr int kMoves = 2000;
// The two are measured in alternating blocks, so that load from elsewhere on
// the machine falls on both alike. A block has an even number of moves:
// each ends where it began.
constexpr int kBlock = 250;
constexpr int kCharacters = 1000;
constexpr int kTypingTimeoutMs = 60000;

std::string Request(int port, const std::string& head, const std::string& body)
{
    SRequest client;
    client.SetInfo("127.0.0.1", port, 10);
    CData headData, bodyData, reply;
    headData.SetData(head.data(), static_cast<long long>(head.size()));
    bodyData.SetData(body.data(), static_cast<long long>(body.size()));
    client.SendRequestByCData(&headData, &bodyData, &reply);
    return std::string(reply.Text());
}

// Adds the latencies in microseconds of count moves by +-1 pixel from
// (x, y): move(dx, x, y) starts one, and the field reports it.
void Measure(TextFieldProbe& field, int count, int x, int y, const std::function<void(int, int, int)>& move,
             std::vector<double>& latencies)
{
    for (int i = 0; i < count; ++i) {
        const int dx = i % 2 == 0 ? 1 : -1;
        const int to = x + (i % 2 == 0 ? 1 : 0);
        const std::size_t mark = field.mark();
        const auto start = Clock::now();
        move(dx, to, y);
        if (!field.waitForLineAfter(mark, "MOVE " + std::to_string(to) + " " + std::to_string(y), 5000))
            return;
        latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
}

// Seconds until the field holds text after type() started it; 0 when it
// never did.
double Typed(TextFieldProbe& field, int port, const std::string& text, const std::function<void()>& type)
{
    Request(port, "OpKey_HotKey", "0^_71"); // select all, then delete
    Request(port, "OpKey_WriteKeyCode", "51");
    if (!field.waitForText("", 5000))
        return 0;
    const auto start = Clock::now();
    type();
    return field.waitForText(text, kTypingTimeoutMs) ? BenchTools::SecondsSince(start) : 0;
}

} // namespace

int main()
{
    UserSandbox sandbox;
    KwinSession::Allow(CORVANE_SERVER_EXE, "corvane");
    KwinSession::Allow(std::filesystem::read_symlink("/proc/self/exe"), "corvane-kde-bench");
    if (!KwinSession::installed()) {
        std::printf("KDE input: kwin_wayland is not installed, nothing measured\n");
        return 1;
    }
    KwinSession session("Q");
    if (!session.started()) {
        std::printf("KDE input: KWin did not start, nothing measured\n");
        return 1;
    }
    session.enter();
    ServerProcess server;
    TextFieldProbe field({.platform = "wayland", .fullScreen = true});
    KwinFakeInput direct;
    MyClient live;
    live.SetInfo("127.0.0.1", server.tcpPort(), 5);
    if (!field.waitUntilReady() || !direct.available() || live.ConnService() != NR_OK) {
        std::printf("KDE input: set-up failed\n");
        return 1;
    }
    BenchTools::QuietServiceLogs();
    const auto liveMove = [&](float dx, float dy) {
        std::unique_ptr<char[]> message(GetMsgBuf(MsgType_Move, "0", dx, dy));
        live.SendMsg(message.get());
    };
    // Both start from the same place, which the server knows.
    const int x = 640, y = 400;
    direct.moveTo(x, y);
    liveMove(0.5f, 0);
    liveMove(-0.5f, 0);
    field.waitForLine("MOVE " + std::to_string(x) + " " + std::to_string(y));

    std::vector<double> corvane, anchor;
    for (int done = 0; done < kMoves; done += kBlock) {
        Measure(field, kBlock, x, y, [&](int dx, int, int) { liveMove(static_cast<float>(dx), 0); }, corvane);
        Measure(field, kBlock, x, y, [&](int, int toX, int toY) { direct.moveTo(toX, toY); }, anchor);
    }
    BenchTools::ReportLatencies("input on KWin (headless, QPainter compositing), " + std::to_string(corvane.size()) +
                                    " + " + std::to_string(anchor.size()) + " moves: live move -> field",
                                "corvane", corvane, "direct fake input", anchor, "p99 under 4000 us");

    // Typing: the anchor types lower-case letters and spaces as keys.
    std::string letters;
    std::vector<std::uint32_t> keys;
    const std::uint32_t alphabet[] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                                      KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                                      KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
    for (int i = 0; i < kCharacters; ++i) {
        const bool space = i % 7 == 6;
        letters += space ? ' ' : static_cast<char>('a' + (i * 11) % 26);
        keys.push_back(space ? KEY_SPACE : alphabet[(i * 11) % 26]);
    }
    const std::string mixed = BenchTools::MixedText(kCharacters);
    const double mixedSeconds =
        Typed(field, server.tcpPort(), mixed, [&] { Request(server.tcpPort(), "OpKey_WriteStr", mixed); });
    const double lettersSeconds =
        Typed(field, server.tcpPort(), letters, [&] { Request(server.tcpPort(), "OpKey_WriteStr", letters); });
    const double directSeconds = Typed(field, server.tcpPort(), letters, [&] {
        for (const std::uint32_t key : keys) {
            direct.key(key, true);
            direct.key(key, false);
        }
    });
    const auto rate = [](double seconds) { return seconds > 0 ? kCharacters / seconds : 0.0; };
    BenchTools::Report("typing 1,000 mixed characters", rate(mixedSeconds), rate(directSeconds), "chars/s",
                       "direct keys (letters)");
    BenchTools::Report("typing 1,000 letters", rate(lettersSeconds), rate(directSeconds), "chars/s",
                       "direct keys (letters)");
    return 0;
}
