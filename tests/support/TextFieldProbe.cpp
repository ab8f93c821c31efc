#include "TextFieldProbe.h"

#include <QByteArray>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

// The window of the "READY" line; 0 before that line is complete.
unsigned long ReadyWindow(const std::string& output)
{
    const std::size_t at = output.find("READY ");
    const std::size_t end = at == std::string::npos ? at : output.find('\n', at);
    return end == std::string::npos ? 0 : std::stoul(output.substr(at + 6, end - at - 6));
}

// The complete lines of the output that start with "<prefix> ", without it.
std::vector<std::string> Lines(const std::string& output, const std::string& prefix)
{
    std::vector<std::string> found;
    const std::string start = prefix + " ";
    for (std::size_t at = 0, end; (end = output.find('\n', at)) != std::string::npos; at = end + 1) {
        if (output.compare(at, start.size(), start) == 0)
            found.push_back(output.substr(at + start.size(), end - at - start.size()));
    }
    return found;
}

// The hex-decoded rest of the last complete line with the prefix; "" before
// there is one. Searched from the end: the output of a long typing run is
// large and is searched after every piece that arrives.
std::string Last(const std::string& output, const std::string& prefix)
{
    const std::size_t end = output.rfind('\n');
    if (end == std::string::npos)
        return {};
    const std::string start = "\n" + prefix + " ";
    std::size_t at = output.rfind(start, end);
    if (at != std::string::npos)
        ++at;
    else if (output.compare(0, start.size() - 1, start, 1) == 0)
        at = 0;
    else
        return {};
    const std::size_t from = at + start.size() - 1;
    return QByteArray::fromHex(QByteArray::fromStdString(output.substr(from, output.find('\n', from) - from)))
        .toStdString();
}

// The complete lines after the first `from` that pass `counted`.
std::vector<std::string> Reports(const std::string& output, std::size_t from,
                                 const std::function<bool(const std::string&)>& counted)
{
    std::vector<std::string> found;
    std::size_t index = 0;
    for (std::size_t at = 0, end; (end = output.find('\n', at)) != std::string::npos; at = end + 1, ++index) {
        if (index >= from && counted(output.substr(at, end - at)))
            found.push_back(output.substr(at, end - at));
    }
    return found;
}

std::vector<std::string> ProbeArgv(const TextFieldProbe::Options& options)
{
    std::vector<std::string> argv{options.program, "-platform", options.platform};
    if (options.fullScreen)
        argv.push_back("--fullscreen");
    if (!options.appId.empty())
        argv.insert(argv.end(), {"--app-id", options.appId});
    return argv;
}

} // namespace

TextFieldProbe::TextFieldProbe() : TextFieldProbe(Options{}) {}

TextFieldProbe::TextFieldProbe(const Options& options)
    : probe(ProbeArgv(options), {.out = ChildProcess::Stream::Collect,
                                 .err = ChildProcess::Stream::Discard,
                                 .input = true})
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
    return probe.waitForOutput([&](const std::string& output) { return Last(output, "TEXT") == expected; },
                               timeoutMs);
}

std::string TextFieldProbe::text()
{
    return Last(probe.output(), "TEXT");
}

unsigned long TextFieldProbe::window()
{
    return ReadyWindow(probe.output());
}

std::vector<std::string> TextFieldProbe::lines(const std::string& prefix)
{
    return Lines(probe.output(), prefix);
}

std::vector<std::string> TextFieldProbe::reports()
{
    return Reports(probe.output(), 0, [](const std::string&) { return true; });
}

std::vector<std::string> TextFieldProbe::reportsAfter(std::size_t from, std::size_t count,
                                                      const std::function<bool(const std::string&)>& counted)
{
    probe.waitForOutput([&](const std::string& output) { return Reports(output, from, counted).size() >= count; },
                        5000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // in which more could come
    return Reports(probe.output(), from, counted);
}

bool TextFieldProbe::waitForLine(const std::string& line, int timeoutMs)
{
    return waitForLineAfter(0, line, timeoutMs);
}

bool TextFieldProbe::waitForLineAfter(std::size_t mark, const std::string& line, int timeoutMs)
{
    const std::string wanted = line + "\n";
    return probe.waitForOutput(
        [&](const std::string& output) {
            // From the line start at or before the mark.
            const std::size_t from = mark == 0 ? 0 : output.rfind('\n', mark - 1);
            const std::size_t at = output.find("\n" + wanted, from == std::string::npos ? 0 : from);
            return at != std::string::npos || (mark == 0 && output.compare(0, wanted.size(), wanted) == 0);
        },
        timeoutMs);
}

void TextFieldProbe::copy(const std::string& text)
{
    probe.write("COPY " + QByteArray::fromStdString(text).toHex().toStdString() + "\n");
}

std::string TextFieldProbe::clipboard(int timeoutMs)
{
    const std::size_t before = lines("CLIPBOARD").size();
    probe.write("PASTEBOARD?\n");
    probe.waitForOutput([&](const std::string& output) { return Lines(output, "CLIPBOARD").size() > before; },
                        timeoutMs);
    return Last(probe.output(), "CLIPBOARD");
}
