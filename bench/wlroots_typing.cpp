// Typing speed on a headless sway: a 1,000-character mixed ASCII/Chinese
// text sent to the corvane program with OpKey_WriteStr until it stands
// complete in a native Wayland text field, against `wtype` of the same text
// into a fresh field, in the same run.
#include "BenchTools.h"
#include "CData.h"
#include "SRequest.h"
#include "ServerProcess.h"
#include "SwaySession.h"
#include "TextFieldProbe.h"
#include "UserSandbox.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int kCharacters = 1000;
constexpr int kTimeoutMs = 120000;

std::unique_ptr<TextFieldProbe> Field()
{
    auto field = std::make_unique<TextFieldProbe>(TextFieldProbe::Options{.platform = "wayland"});
    return field->waitUntilReady() ? std::move(field) : nullptr;
}

} // namespace

int main()
{
    UserSandbox user;
    SwaySession sway;
    if (!sway.started() || !BenchTools::Installed("wtype")) {
        std::printf("typing on sway: sway or wtype is not available, nothing measured\n");
        return 1;
    }
    ServerProcess corvane; // before the fields: its keyboard is the seat's
    const std::string text = BenchTools::MixedText(kCharacters);
    BenchTools::QuietServiceLogs();

    BenchTools::Typed ours, anchor;
    if (const auto field = Field()) {
        ours = BenchTools::TypeUntilComplete(*field, text, [&] {
            SRequest client;
            client.SetInfo("127.0.0.1", corvane.tcpPort(), 120);
            CData reply;
            client.SendRequest("OpKey_WriteStr", text.c_str(), &reply);
        }, kTimeoutMs);
    }
    if (const auto field = Field())
        anchor = BenchTools::TypeWithTool(*field, text, {"wtype", "--", text});

    std::FILE* out = BenchTools::Out();
    std::fprintf(out, "typing %d mixed ASCII/Chinese characters into a Qt text field on headless sway\n",
                 kCharacters);
    BenchTools::ReportTyped("corvane OpKey_WriteStr:", ours, kCharacters, text.size());
    BenchTools::ReportTyped("anchor: wtype:", anchor, kCharacters, text.size());
    if (ours.seconds > 0 && anchor.seconds > 0)
        std::fprintf(out, "  ratio corvane/wtype (characters/s): %.2f%s (goal: at least 1.0, all arriving)\n",
                     anchor.seconds / ours.seconds, anchor.complete ? "" : " (wtype's text arrived incomplete)");
    return 0;
}
