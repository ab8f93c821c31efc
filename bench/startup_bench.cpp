// Start-up and idle cost: time from exec to "listen OK!!!" and the resident
// memory of an idle server, against nginx (one process) started to
// accepting connections in the same run.
#include "BenchTools.h"
#include "FreePort.h"
#include "NginxServer.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <cstdio>
#include <thread>

using namespace BenchTools;

int main()
{
    UserSandbox sandbox;
    const int rounds = 10;
    double ourStart = 1e9, nginxStart = 1e9;
    long ourRss = 0, nginxRss = 0;
    TempDir site;
    for (int round = 0; round < rounds; ++round) {
        const Clock::time_point start = Clock::now();
        ServerProcess server({}, false);
        if (server.waitForOutput("listen OK!!!", 10000))
            ourStart = std::min(ourStart, SecondsSince(start));
        if (round == rounds - 1) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            ourRss = ResidentKiB(server.pid());
        }
    }
    for (int round = 0; round < rounds; ++round) {
        const Clock::time_point start = Clock::now();
        NginxServer nginx(site.path(), 1);
        if (nginx.started())
            nginxStart = std::min(nginxStart, SecondsSince(start));
        if (round == rounds - 1) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            nginxRss = ResidentKiB(nginx.processId());
        }
    }
    std::printf("best of %d starts, headless\n", rounds);
    Report("start to listening (ms)", ourStart * 1000, nginxStart * 1000, "ms", "nginx start to accepting");
    Report("idle resident memory (KiB)", static_cast<double>(ourRss), static_cast<double>(nginxRss), "KiB", "nginx, one process");
    return 0;
}
