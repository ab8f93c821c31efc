// Typing speed: a 1,000-character mixed ASCII/Chinese text sent with
// OpKey_WriteStr until it stands complete in a real text field, against
// `xdotool type --delay 0` of the same text into a fresh field, in the same
// run on the same private Xvfb server.
#include "BenchTools.h"
#include "InProcessServer.h"
#include "TextFieldProbe.h"
#include "XvfbServer.h"

#include <cstdio>
#include <string>

namespace {

constexpr int kCharacters = 1000;
constexpr int kTimeoutMs = 120000;

BenchTools::Typed TypeWithCorvane(const std::string& text)
{
    TextFieldProbe field;
    if (!field.waitUntilReady())
        return {};
    InProcessServer server;
    return BenchTools::TypeUntilComplete(field, text, [&] { server.request("OpKey_WriteStr", text); }, kTimeoutMs);
}

BenchTools::Typed TypeWithXdotool(const std::string& text)
{
    TextFieldProbe field;
    if (!field.waitUntilReady())
        return {};
    return BenchTools::TypeWithTool(field, text, {"xdotool", "type", "--delay", "0", "--", text});
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
    BenchTools::QuietServiceLogs();
    const BenchTools::Typed corvane = TypeWithCorvane(text);
    const BenchTools::Typed xdotool = TypeWithXdotool(text);

    std::FILE* out = BenchTools::Out();
    std::fprintf(out, "typing %d mixed ASCII/Chinese characters into a Qt text field under Xvfb\n", kCharacters);
    BenchTools::ReportTyped("corvane OpKey_WriteStr:", corvane, kCharacters, text.size());
    BenchTools::ReportTyped("anchor: xdotool type --delay 0:", xdotool, kCharacters, text.size());
    if (corvane.seconds > 0 && xdotool.seconds > 0)
        std::fprintf(out, "  ratio corvane/xdotool (characters/s): %.2f%s\n", xdotool.seconds / corvane.seconds,
                     xdotool.complete ? "" : " (xdotool's text arrived incomplete)");
    return 0;
}
