#include "BenchTools.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace BenchTools {

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

ChildProcess Start(const std::vector<std::string>& argv)
{
    return ChildProcess(argv, {.out = ChildProcess::Stream::Discard, .err = ChildProcess::Stream::Discard});
}

void Run(const std::vector<std::string>& argv)
{
    if (RunTimed(argv).status != 0)
        throw std::runtime_error(argv[0] + " failed");
}

double Seconds(const std::function<void()>& work)
{
    const Clock::time_point start = Clock::now();
    work();
    return SecondsSince(start);
}

double Median(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(Seconds(work));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

Timed RunTimed(const std::vector<std::string>& argv)
{
    const Clock::time_point start = Clock::now();
    ChildProcess command = Start(argv);
    if (!command.started())
        return {-1, 0};
    const int status = command.wait();
    return {status, SecondsSince(start)};
}

static long StatusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

long ResidentKiB(pid_t pid)
{
    return StatusField(pid, "VmRSS");
}

long PeakResidentKiB(pid_t pid)
{
    return StatusField(pid, "VmHWM");
}

double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t afterName = text.rfind(')');
    if (afterName == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(afterName + 2));
    std::string field;
    long ticks = 0;
    for (int index = 3; fields >> field && index <= 15; ++index) {
        if (index == 14 || index == 15) // utime, stime
            ticks += std::stol(field);
    }
    double seconds = static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (pid_t child; children >> child;)
        seconds += CpuSeconds(child);
    return seconds;
}

bool WaitForPort(int port, int timeoutMs)
{
    const Clock::time_point start = Clock::now();
    while (SecondsSince(start) * 1000 < timeoutMs) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (ok)
            return true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

bool Installed(const std::string& program)
{
    return RunTimed({"sh", "-c", "command -v " + program}).status == 0;
}

void MakeFile(const std::string& path, long long bytes)
{
    std::vector<char> block(1 << 20);
    unsigned state = 12345;
    for (char& c : block) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    for (long long left = bytes; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<long long>(left, static_cast<long long>(block.size())));
        std::fwrite(block.data(), 1, n, out);
        left -= static_cast<long long>(n);
        block[left % block.size()] ^= 0x5a; // no two megabytes alike
    }
    std::fclose(out);
}

namespace {
std::FILE* reportStream = nullptr;
}

void QuietServiceLogs()
{
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    reportStream = ::fdopen(saved, "w");
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, STDOUT_FILENO);
    ::close(devNull);
}

std::FILE* Out()
{
    return reportStream ? reportStream : stdout;
}

void Report(const std::string& name, double ours, double anchor, const std::string& unit, const std::string& anchorName,
            const std::string& goal)
{
    std::FILE* out = Out();
    std::fprintf(out, "%-34s corvane %12.1f %-8s | %-26s %12.1f %-8s | ratio %.2f%s%s\n", name.c_str(), ours,
                 unit.c_str(), anchorName.c_str(), anchor, unit.c_str(), anchor != 0 ? ours / anchor : 0.0,
                 goal.empty() ? "" : "  goal ", goal.c_str());
    std::fflush(out);
}

double Percentile(const std::vector<double>& sorted, double p)
{
    return sorted.empty() ? 0 : sorted[static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1))];
}

void ReportLatencies(const std::string& title, const std::string& oursName, std::vector<double> ours,
                     const std::string& anchorName, std::vector<double> anchor, const std::string& goal)
{
    std::sort(ours.begin(), ours.end());
    std::sort(anchor.begin(), anchor.end());
    const double p50 = Percentile(ours, 0.50), p99 = Percentile(ours, 0.99);
    const double a50 = Percentile(anchor, 0.50), a99 = Percentile(anchor, 0.99);
    const int width = static_cast<int>(std::max(oursName.size(), anchorName.size())) + 1;
    std::FILE* out = Out();
    std::fprintf(out, "%s (microseconds)\n", title.c_str());
    std::fprintf(out, "  %-*s p50 %7.1f   p99 %7.1f\n", width, (oursName + ":").c_str(), p50, p99);
    std::fprintf(out, "  %-*s p50 %7.1f   p99 %7.1f\n", width, (anchorName + ":").c_str(), a50, a99);
    std::fprintf(out, "  ratio corvane/anchor: p50 %.2f   p99 %.2f (goal: %s)\n", p50 / a50, p99 / a99, goal.c_str());
    std::fflush(out);
}

namespace {

std::string AppendUtf8(std::string text, char32_t c)
{
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
    return text;
}

} // namespace

std::string MixedText(int characters)
{
    const char32_t chinese[] = U"的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动"
                               U"同工也能下过子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二"
                               U"理起小物现实加量都两体制机当使点从业本去把性好应开它合还因由其些然前外天政四日那社义";
    const std::size_t chineseCount = sizeof chinese / sizeof chinese[0] - 1;
    std::string text;
    unsigned state = 12345;
    int count = 0;
    while (count < characters) {
        state = state * 1103515245u + 12345u;
        const bool ascii = (state >> 16) % 2 == 0;
        const int run = 2 + static_cast<int>((state >> 8) % 5);
        for (int i = 0; i < run && count < characters; ++i, ++count) {
            state = state * 1103515245u + 12345u;
            if (ascii)
                text = AppendUtf8(text, i == run - 1 ? U' ' : static_cast<char32_t>(U'a' + (state >> 16) % 26));
            else
                text = AppendUtf8(text, chinese[(state >> 16) % chineseCount]);
        }
    }
    return text;
}

Typed TypeUntilComplete(TextFieldProbe& field, const std::string& text, const std::function<void()>& type,
                        int timeoutMs)
{
    const Clock::time_point start = Clock::now();
    type();
    Typed typed;
    typed.complete = field.waitForText(text, timeoutMs);
    typed.seconds = SecondsSince(start);
    typed.bytesArrived = field.text().size();
    return typed;
}

Typed TypeWithTool(TextFieldProbe& field, const std::string& text, const std::vector<std::string>& argv)
{
    const Timed sent = RunTimed(argv);
    if (sent.status < 0)
        return {};
    Typed typed;
    typed.seconds = sent.seconds;
    // The tool is done sending; what is going to arrive arrives within moments.
    typed.complete = field.waitForText(text, 3000);
    typed.bytesArrived = field.text().size();
    return typed;
}

void ReportTyped(const char* name, const Typed& typed, int characters, std::size_t expectedBytes)
{
    std::FILE* out = Out();
    if (typed.complete)
        std::fprintf(out, "  %-34s %8.1f characters/s (%.2f s)\n", name, characters / typed.seconds, typed.seconds);
    else
        std::fprintf(out, "  %-34s %8.1f characters/s sent (%.2f s), but incomplete: %zu of %zu bytes arrived\n",
                     name, characters / typed.seconds, typed.seconds, typed.bytesArrived, expectedBytes);
}

} // namespace BenchTools
