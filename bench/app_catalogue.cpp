// Lists a catalogue of 300 generated desktop entries the way the phone asks
// for "/Applications" (parse, filter, localise, match against the running
// processes, write the records) and compares it with the anchor: grep
// reading the same files for their Name lines. Each entry starts a program
// of its own that is installed (a small script), as in a real catalogue.
#include "AppEntity.h"
#include "CData.h"
#include "ProcessRunner.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 300;
constexpr int kRounds = 20;

template <typename Fn>
double MillisecondsPerRound(Fn&& fn)
{
    fn(); // warm the page cache
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i)
        fn();
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kRounds;
}

} // namespace

int main()
{
    const fs::path root = fs::temp_directory_path() / ("corvane-bench-apps-" + std::to_string(::getpid()));
    const fs::path folder = root / "share/applications";
    fs::create_directories(folder);
    fs::create_directories(root / "home");
    fs::create_directories(root / "bin");
    for (int i = 0; i < kEntries; ++i) {
        const fs::path program = root / "bin" / ("example-" + std::to_string(i));
        std::ofstream(program) << "#!/bin/sh\n";
        fs::permissions(program, fs::perms::owner_all);
        std::ofstream entry(folder / ("org.example.App" + std::to_string(i) + ".desktop"));
        entry << "[Desktop Entry]\nType=Application\nName=Application " << i << "\nName[de]=Anwendung " << i
              << "\nComment=Generated for the benchmark\nIcon=app-" << i << "\nExec=" << program.string()
              << " %U\nTerminal=false\nCategories=Utility;\n";
    }
    ::setenv("XDG_DATA_HOME", (root / "home").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (root / "share").c_str(), 1);
    ::setenv("LANG", "de_DE.UTF-8", 1);

    std::size_t bytes = 0;
    const double ours = MillisecondsPerRound([&] {
        CData reply;
        AppEntity::GetAppList(&reply);
        bytes = static_cast<std::size_t>(reply.size);
    });
    const double anchor = MillisecondsPerRound(
        [&] { ProcessRunner::run({"grep", "-r", "-h", "^Name=", folder.string()}, 60); });
    fs::remove_all(root);

    std::printf("app catalogue, %d entries (%zu-byte reply): %.2f ms per listing\n", kEntries, bytes, ours);
    std::printf("anchor grep -r -h '^Name=' over the same files: %.2f ms per run\n", anchor);
    std::printf("ratio listing / anchor: %.2f\n", ours / anchor);
    return 0;
}
