// Request rate: one connection per request, 32 concurrent clients, against
// nginx answering a tiny file with "Connection: close" under wrk, in the
// same run on the same machine.
#include "BenchTools.h"
#include "FreePort.h"
#include "NginxServer.h"
#include "RequestLoad.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <cstdio>
#include <regex>

using namespace BenchTools;

static double WrkRate(int port, int seconds)
{
    const std::string output =
        ChildProcess::Run({"wrk", "-t2", "-c32", "-d" + std::to_string(seconds) + "s", "-H", "Connection: close",
                           "http://127.0.0.1:" + std::to_string(port) + "/tiny.txt"})
            .out;
    std::smatch match;
    if (std::regex_search(output, match, std::regex("Requests/sec:\\s+([0-9.]+)")))
        return std::stod(match[1]);
    return 0;
}

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
    UserSandbox sandbox;
    TempDir site;
    site.write("tiny.txt", "hello\n");
    const int port = FreePort::tcp();
    ChildProcess server = Start({CORVANE_SERVER_EXE, "--headless", "--port", std::to_string(port), "--udp-port",
                                 std::to_string(FreePort::udp()), "--broadcast", "127.255.255.255"});
    if (!WaitForPort(port, 10000)) {
        std::fprintf(stderr, "corvane did not start\n");
        return 1;
    }
    std::printf("one request per connection, 32 concurrent clients, %d s each\n", seconds);
    const char* head = argc > 2 ? argv[2] : "OpKey_GetDeviceInfo";
    RequestLoad load(port, head, "");
    load.Run(2, 16, 1); // warm up
    const double ourCpuBefore = CpuSeconds(server.pid());
    const double ours = load.Run(2, 16, seconds);
    const double ourCpuPerRequest = (CpuSeconds(server.pid()) - ourCpuBefore) / (ours * seconds);
    const long long failures = load.failures();

    double anchor = 0;
    double anchorCpuPerRequest = 0;
    if (Installed("wrk")) {
        NginxServer nginx(site.path(), 2);
        if (nginx.started()) {
            WrkRate(nginx.port(), 1);
            const double cpuBefore = CpuSeconds(nginx.processId());
            anchor = WrkRate(nginx.port(), seconds);
            anchorCpuPerRequest = (CpuSeconds(nginx.processId()) - cpuBefore) / (anchor * seconds);
        }
    }
    Report(std::string("requests/s (") + head + ")", ours, anchor, "req/s", "nginx + wrk, Connection: close", ">= 1");
    // Less sensitive to other load on the machine: server CPU per request.
    Report("server CPU per request", ourCpuPerRequest * 1e6, anchorCpuPerRequest * 1e6, "us", "nginx");
    if (failures > 0)
        std::printf("(%lld requests failed)\n", failures);
    server.stop();
    return 0;
}
