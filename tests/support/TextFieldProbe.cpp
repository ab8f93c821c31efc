#include "TextFieldProbe.h"

#include <stdexcept>

// The probe prints "READY <window id>" once it has the focus, then
// "TEXT <hex of the UTF-8 text>" after every change.
namespace {

// The window of the "READY" line; 0 before that line is complete.
unsigned long ReadyWindow(const std::string& output)
{
    const std::size_t at = output.find("READY ");
    const std::size_t end = at == std::string::npos ? at : output.find('\n', at);
    return end == std::string::npos ? 0 : std::stoul(output.substr(at + 6, end - at - 6));
}

// The text of the last complete "TEXT" line; "" before there is one. Only
// a line can start with "TEXT": the rest of the line is hexadecimal.
std::string CurrentText(const std::string& output)
{
    const std::size_t end = output.rfind('\n');
    const std::size_t at = end == std::string::npos ? end : output.rfind("TEXT", end);
    if (at == std::string::npos)
        return {};
    const std::size_t lineEnd = output.find('\n', at);
    std::string bytes;
    for (std::size_t i = at + 5; i + 1 < lineEnd; i += 2)
        bytes.push_back(static_cast<char>(std::stoi(output.substr(i, 2), nullptr, 16)));
    return bytes;
}

} // namespace

TextFieldProbe::TextFieldProbe()
    : probe({CORVANE_TEXT_FIELD_PROBE_EXE, "-platform", "xcb"},
            {.out = ChildProcess::Stream::Collect, .err = ChildProcess::Stream::Discard})
{
    if (!probe.started())
        throw std::runtime_error("cannot start the text field probe");
}

bool TextFieldProbe::waitUntilReady(int timeoutMs)
{
    return probe.waitForOutput([](const std::string& output) { return ReadyWindow(output) != 0; }, timeoutMs);
}

bool TextFieldProbe::waitForText(const std::string& expected, int timeoutMs)
{
    return probe.waitForOutput([&](const std::string& output) { return CurrentText(output) == expected; },
                               timeoutMs);
}

std::string TextFieldProbe::text()
{
    return CurrentText(probe.output());
}

unsigned long TextFieldProbe::window()
{
    return ReadyWindow(probe.output());
}
