// Listing a folder of 100,000 entries over loopback, against
// `ls -la --time-style=full-iso` of the same folder.
#include "BenchSupport.h"

#include "CData.h"
#include "SRequest.h"

#include <filesystem>

int main()
{
    constexpr int kEntries = 100000;
    char pattern[] = "/tmp/corvane-listing-bench-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    for (int i = 0; i < kEntries; ++i) {
        const std::string name = folder + "/entry-" + std::to_string(i) + (i % 10 == 0 ? ".jpg" : ".txt");
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0)
            ::close(fd);
    }

    bench::Service service;
    long long replySize = 0;
    const auto listing = [&] {
        SRequest client;
        client.SetInfo("127.0.0.1", service.port(), 10);
        CData reply;
        if (client.SendRequest("OpKey_GetFileList", folder.c_str(), &reply) != NR_OK)
            throw std::runtime_error("listing failed");
        replySize = reply.size;
    };
    const auto ls = [&] { bench::Run({"sh", "-c", "exec ls -la --time-style=full-iso \"$0\" > /dev/null", folder}); };

    // Warm the caches for both, then alternate.
    listing();
    ls();
    const double anchor = bench::Median(5, ls);
    const double ours = bench::Median(5, listing);
    std::printf("listing reply: %lld bytes for %d entries\n", replySize, kEntries);
    bench::ReportTimes("listing 100000 entries", ours, anchor, "ls -la --time-style=full-iso", "<= 1");

    std::filesystem::remove_all(folder);
    return 0;
}
