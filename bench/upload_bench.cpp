// Uploading 1 GiB over loopback, against `socat -b 40960` receiving the same
// bytes into a file on the same disk.
#include "BenchTools.h"
#include "CData.h"
#include "FreePort.h"
#include "InProcessServer.h"
#include "SUpload.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr long long kSize = 1LL << 30;

// Sends the whole file to a plain TCP receiver with sendfile, as the
// upload client does.
void SendRaw(const std::string& source, int port)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // socat may still be starting: the first accepted connection is the transfer.
    while (::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != ECONNREFUSED)
            throw std::runtime_error("cannot reach socat");
        ::usleep(1000);
    }
    const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    off_t offset = 0;
    while (offset < kSize) {
        if (::sendfile(sock, fd, &offset, static_cast<size_t>(kSize - offset)) <= 0)
            throw std::runtime_error("send to socat failed");
    }
    ::close(fd);
    ::close(sock);
}

} // namespace

int main()
{
    BenchTools::QuietServiceLogs();
    char pattern[] = "/tmp/corvane-upload-bench-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    const std::string source = folder + "/source.bin";
    const std::string received = folder + "/received";
    std::filesystem::create_directories(received);
    BenchTools::MakeFile(source, kSize);

    InProcessServer service;
    const auto ours = [&] {
        SUpload upload;
        upload.SetInfo("127.0.0.1", service.port(), 10);
        CData reply;
        const double seconds = BenchTools::Seconds([&] {
            if (upload.UploadFile(source.c_str(), received.c_str(), "upload.bin", false, &reply) != NR_OK ||
                reply.Text() != "1")
                throw std::runtime_error("upload failed");
        });
        if (std::filesystem::file_size(received + "/upload.bin") != static_cast<std::uintmax_t>(kSize))
            throw std::runtime_error("upload incomplete");
        std::filesystem::remove(received + "/upload.bin");
        return seconds;
    };
    const auto socat = [&] {
        const int port = FreePort::tcp();
        const std::string target = received + "/socat.bin";
        ChildProcess receiver = BenchTools::Start({"socat", "-u", "-b", "40960",
                                                   "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr",
                                                   "CREATE:" + target});
        // From the accepted connection until socat has written and closed the file.
        const auto start = std::chrono::steady_clock::now();
        SendRaw(source, port);
        if (receiver.wait() != 0 ||
            std::filesystem::file_size(target) != static_cast<std::uintmax_t>(kSize))
            throw std::runtime_error("socat failed");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::filesystem::remove(target);
        return seconds;
    };

    // Alternate the two so that both meet the same state of the page cache.
    std::vector<double> oursTimes;
    std::vector<double> socatTimes;
    for (int round = 0; round < 4; ++round) {
        socatTimes.push_back(socat());
        oursTimes.push_back(ours());
    }
    std::sort(oursTimes.begin(), oursTimes.end());
    std::sort(socatTimes.begin(), socatTimes.end());
    const double mine = (oursTimes[1] + oursTimes[2]) / 2;
    const double anchor = (socatTimes[1] + socatTimes[2]) / 2;
    const double gib = static_cast<double>(kSize) / (1 << 30);
    std::fprintf(BenchTools::Out(), "upload of 1 GiB: corvane %.0f ms (%.2f GiB/s), anchor %.0f ms (%.2f GiB/s, socat -b 40960), "
                "throughput ratio %.2f (goal >= 0.9)\n",
                mine * 1000, gib / mine, anchor * 1000, gib / anchor, anchor / mine);

    std::filesystem::remove_all(folder);
    return 0;
}
