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

// In a ThreadSanitizer build the program is checked as the test programs are
// (TsanSuppressions.cpp): Qt is not built for the checker, so what Qt's own
// code does is left out.
std::string TsanOptions()
{
    const char* given = std::getenv("TSAN_OPTIONS");
    return std::string("TSAN_OPTIONS=") + (given != nullptr ? std::string(given) + " " : "") +
           "ignore_noninstrumented_modules=1";
}

} // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& extraArgs, bool waitUntilListening, bool headless)
    : tcp(FreePort::tcp()), udp(FreePort::udp()),
      program(Arguments(tcp, udp, extraArgs, headless),
              {.out = ChildProcess::Stream::Collect, .err = ChildProcess::Stream::Collect, .environment = {TsanOptions()}})
{
    if (!program.started())
        throw std::runtime_error("cannot start corvane");
    if (waitUntilListening && !waitForOutput("accept thread start!!!", 10000))
        throw std::runtime_error("corvane did not start listening:\n" + output());
}
