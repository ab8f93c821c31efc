// Typing speed: a 1,000-character mixed ASCII/Chinese text sent with
// OpKey_WriteStr until it stands complete in a real text field, against
// `xdotool type --delay 0` of the same text into a fresh field, in the same
// run on the same private Xvfb server.
#include "BenchTools.h"
#include "InProcessServer.h"
#include "TextFieldProbe.h"
#include "XvfbServer.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kCharacters = 1000;
constexpr int kTimeoutMs = 120000;
using Clock = std::chrono::steady_clock;

struct Result {
    double seconds = 0;
    bool complete = false;
    std::size_t bytesArrived = 0;
};

Result TimeUntilComplete(TextFieldProbe& field, const std::string& text, Clock::time_point start)
{
    Result result;
    result.complete = field.waitForText(text, kTimeoutMs);
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.bytesArrived = field.text().size();
    return result;
}

Result TypeWithCorvane(const std::string& text)
{
    TextFieldProbe field;
    if (!field.waitUntilReady())
        return {};
    InProcessServer server;
    const auto start = Clock::now();
    server.request("OpKey_WriteStr", text);
    return TimeUntilComplete(field, text, start);
}

Result TypeWithXdotool(const std::string& text)
{
    TextFieldProbe field;
    if (!field.waitUntilReady())
        return {};
    const BenchTools::Timed typed = BenchTools::RunTimed({"xdotool", "type", "--delay", "0", "--", text});
    if (typed.status < 0)
        return {};
    Result result;
    result.seconds = typed.seconds;
    // xdotool is done sending; what is going to arrive arrives within moments.
    result.complete = field.waitForText(text, 3000);
    result.bytesArrived = field.text().size();
    return result;
}

void Report(const char* name, const Result& result, std::size_t expectedBytes)
{
    if (result.complete)
        std::printf("  %-34s %8.1f characters/s (%.2f s)\n", name, kCharacters / result.seconds, result.seconds);
    else
        std::printf("  %-34s %8.1f characters/s sent (%.2f s), but incomplete: %zu of %zu bytes arrived\n", name,
                    kCharacters / result.seconds, result.seconds, result.bytesArrived, expectedBytes);
}

} // namespace

int main()
{
    XvfbServer xvfb(1280, 800);
    if (!xvfb.started()) {
        std::printf("typing: Xvfb is not available, nothing measured\n");
        return 1;
    }
    const std::string text = BenchTools::MixedText(kCharacters);

    std::fflush(stdout);
    const int savedStdout = ::dup(STDOUT_FILENO);
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, STDOUT_FILENO);
    const Result corvane = TypeWithCorvane(text);
    const Result xdotool = TypeWithXdotool(text);
    std::fflush(stdout);
    ::dup2(savedStdout, STDOUT_FILENO);
    ::close(devNull);

    std::printf("typing %d mixed ASCII/Chinese characters into a Qt text field under Xvfb\n", kCharacters);
    Report("corvane OpKey_WriteStr:", corvane, text.size());
    Report("anchor: xdotool type --delay 0:", xdotool, text.size());
    if (corvane.seconds > 0 && xdotool.seconds > 0)
        std::printf("  ratio corvane/xdotool (characters/s): %.2f%s\n", xdotool.seconds / corvane.seconds,
                    xdotool.complete ? "" : " (xdotool's text arrived incomplete)");
    return 0;
}
