// Listing a folder of 100,000 entries over loopback, against
// `ls -la --time-style=full-iso` of the same folder.
#include "BenchTools.h"
#include "FreePort.h"
#include "InProcessServer.h"

#include "CData.h"
#include "SRequest.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>

int main()
{
    BenchTools::QuietServiceLogs();
    constexpr int kEntries = 100000;
    char pattern[] = "/tmp/corvane-listing-bench-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    for (int i = 0; i < kEntries; ++i) {
        const std::string name = folder + "/entry-" + std::to_string(i) + (i % 10 == 0 ? ".jpg" : ".txt");
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0)
            ::close(fd);
    }

    InProcessServer service;
    long long replySize = 0;
    const auto listing = [&] {
        SRequest client;
        client.SetInfo("127.0.0.1", service.port(), 10);
        CData reply;
        if (client.SendRequest("OpKey_GetFileList", folder.c_str(), &reply) != NR_OK)
            throw std::runtime_error("listing failed");
        replySize = reply.size;
    };
    const auto ls = [&] { BenchTools::Run({"sh", "-c", "exec ls -la --time-style=full-iso \"$0\" > /dev/null", folder}); };

    // Warm the caches for both, then alternate.
    listing();
    ls();
    const double anchor = BenchTools::Median(5, ls);
    const double ours = BenchTools::Median(5, listing);
    std::fprintf(BenchTools::Out(), "listing reply: %lld bytes for %d entries\n", replySize, kEntries);
    BenchTools::Report("listing 100000 entries", ours * 1000, anchor * 1000, "ms", "ls -la --time-style=full-iso", "<= 1");

    std::filesystem::remove_all(folder);
    return 0;
}
