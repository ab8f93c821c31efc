// Download speed: "OpKey_GetFile" of a 1 GiB file over loopback, against
// nginx (sendfile on) fetched with curl and against socat -b 40960 piping
// the same file, all in the same run. Also shows that the server's memory
// does not grow with the file.
#include "BenchTools.h"
#include "FreePort.h"
#include "NginxServer.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <cstdio>
#include <thread>

using namespace BenchTools;

int main(int argc, char** argv)
{
    const long long size = argc > 1 ? std::atoll(argv[1]) : (1LL << 30);
    const int rounds = 3;
    TempDir dir;
    const std::string file = dir.file("big.bin");
    MakeFile(file, size);
    const double megabytes = static_cast<double>(size) / 1e6;
    std::printf("download of %.0f MB over loopback, best of %d rounds\n", megabytes, rounds);

    UserSandbox sandbox;
    ServerProcess server;
    NginxServer nginx(dir.path(), 1);
    const bool haveSocat = Installed("socat");
    const long rssBefore = ResidentKiB(server.pid());

    double ours = 0, viaNginx = 0, viaSocat = 0;
    for (int round = 0; round < rounds; ++round) {
        const Timed corvane = RunTimed({"sh", "-c", std::string(CORVANE_CLIENT_EXE) + " --port " +
                                                        std::to_string(server.tcpPort()) + " request OpKey_GetFile " +
                                                        file + " > /dev/null"});
        if (corvane.status == 0)
            ours = std::max(ours, megabytes / corvane.seconds);
        if (nginx.started()) {
            const Timed curl = RunTimed({"curl", "-s", "-o", "/dev/null",
                                         "http://127.0.0.1:" + std::to_string(nginx.port()) + "/big.bin"});
            if (curl.status == 0)
                viaNginx = std::max(viaNginx, megabytes / curl.seconds);
        }
        if (haveSocat) {
            const int port = FreePort::tcp();
            ChildProcess sender = Start({"socat", "-b", "40960", "-u", "FILE:" + file,
                                         "TCP-LISTEN:" + std::to_string(port) + ",reuseaddr,bind=127.0.0.1"});
            std::this_thread::sleep_for(std::chrono::milliseconds(200)); // let it listen
            const Timed socat = RunTimed({"socat", "-b", "40960", "-u", "TCP:127.0.0.1:" + std::to_string(port),
                                          "OPEN:/dev/null"});
            sender.wait();
            if (socat.status == 0)
                viaSocat = std::max(viaSocat, megabytes / socat.seconds);
        }
    }
    Report("download MB/s", ours, viaNginx, "MB/s", "nginx sendfile + curl");
    Report("download MB/s", ours, viaSocat, "MB/s", "socat -b 40960");
    std::printf("server resident memory: %ld KiB before, %ld KiB after, peak %ld KiB (file %.0f MB)\n", rssBefore,
                ResidentKiB(server.pid()), PeakResidentKiB(server.pid()), megabytes);
    return 0;
}
