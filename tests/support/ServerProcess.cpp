#include "ServerProcess.h"

#include "FreePort.h"

#include <cstdlib>
#include <stdexcept>

namespace {

std::vector<std::string> Arguments(int tcp, int udp, const std::vector<std::string>& extraArgs, bool headless)
{
    std::vector<std::string> args = {CORVANE_SERVER_EXE, "--port", std::to_string(tcp), "--udp-port",
                                     std::to_string(udp), "--broadcast", "127.255.255.255"};
    if (headless)
        args.insert(args.begin() + 1, "--headless");
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return args;
}

// A sanitizer's options for the program: the caller's, and ours.
std::string SanitizerOptions(const char* name, const std::string& ours)
{
    const char* given = std::getenv(name);
    return std::string(name) + "=" + (given != nullptr ? std::string(given) + " " : "") + ours;
}

} // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& extraArgs, bool waitUntilListening, bool headless)
    : tcp(0), udp(0)
{
    // A port found free can still be taken by another test before the program
    // binds it; the program then says so and is started again on new ports.
    for (int attempt = 1;; ++attempt) {
        tcp = FreePort::tcp();
        udp = FreePort::udp();
        program = std::make_unique<ChildProcess>(
            Arguments(tcp, udp, extraArgs, headless),
            ChildProcess::Options{
                .out = ChildProcess::Stream::Collect,
                .err = ChildProcess::Stream::Collect,
                // In a ThreadSanitizer build the program is checked as the
                // test programs are (TsanSuppressions.cpp): what Qt's own code
                // does is left out. The desktop program's leak checks leave out
                // the libraries' leaks of leak-suppressions.txt, which only
                // full stacks name.
                .environment = {SanitizerOptions("TSAN_OPTIONS", "ignore_noninstrumented_modules=1"),
                                SanitizerOptions("LSAN_OPTIONS", headless ? "" : "fast_unwind_on_malloc=0 suppressions="
                                                                                  CORVANE_LEAK_SUPPRESSIONS)}});
        if (!program->started())
            throw std::runtime_error("cannot start corvane");
        if (!waitUntilListening)
            return;
        const bool listening = program->waitForOutput(
            [](const std::string& output) {
                return output.find("accept thread start!!!") != std::string::npos ||
                       output.find("bind socket error") != std::string::npos;
            },
            10000);
        if (listening && output().find("bind socket error") == std::string::npos)
            return;
        if (!listening || attempt == 3)
            throw std::runtime_error("corvane did not start listening:\n" + output());
        program->stop();
    }
}
