#pragma once

#include "ChildProcess.h"
#include "TextFieldProbe.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// Small helpers shared by the benchmark programs.
namespace BenchTools {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start);
// Runs a command (argv[0] a path or looked up in PATH) with output discarded
// and returns its exit status (-1 when it cannot be started) and the wall
// time it took.
struct Timed {
    int status;
    double seconds;
};
Timed RunTimed(const std::vector<std::string>& argv);
// Starts a command in the background with output discarded; it is stopped
// (SIGTERM) when the returned process goes.
ChildProcess Start(const std::vector<std::string>& argv);
// Runs a command to its end; throws when it fails.
void Run(const std::vector<std::string>& argv);
// Wall time of one run of work, and the median of several.
double Seconds(const std::function<void()>& work);
double Median(int runs, const std::function<void()>& work);
// Resident and peak resident memory of a process, in KiB.
long ResidentKiB(pid_t pid);
long PeakResidentKiB(pid_t pid);
// CPU time (user + system) a process and its child processes have used so
// far, in seconds.
double CpuSeconds(pid_t pid);
// Waits until something accepts TCP connections on 127.0.0.1:port.
bool WaitForPort(int port, int timeoutMs);
bool Installed(const std::string& program);
// Creates a file of the given size filled with varied bytes.
void MakeFile(const std::string& path, long long bytes);
// Sends the service's own log lines (standard output) to /dev/null for the
// rest of the run; reports still go to the original standard output.
void QuietServiceLogs();
// Where a benchmark prints its own lines (standard output, also after
// QuietServiceLogs).
std::FILE* Out();
// Prints one line: the figure, the anchor's figure, their ratio (ours over
// the anchor's) and, when given, the goal for that ratio.
// Words of ASCII letters and runs of Chinese characters drawn from a few
// hundred common ones, about half of each, the same text in every run.
std::string MixedText(int characters);
void Report(const std::string& name, double ours, double anchor, const std::string& unit, const std::string& anchorName,
            const std::string& goal = std::string());

// The value below which the share p of sorted values lies.
double Percentile(const std::vector<double>& sorted, double p);
// Four lines: the title, p50 and p99 of ours and of the anchor's latencies
// (microseconds), and their ratios with the goal.
void ReportLatencies(const std::string& title, const std::string& oursName, std::vector<double> ours,
                     const std::string& anchorName, std::vector<double> anchor, const std::string& goal);

// Typing into a text-field probe. A text of `characters` characters: words
// of ASCII letters and runs of Chinese characters drawn from a few hundred
// common ones, about half of each.
std::string MixedText(int characters);
struct Typed {
    double seconds = 0;
    bool complete = false;
    std::size_t bytesArrived = 0;
};
// The time from the start of type() until the field holds exactly text
// (incomplete after timeoutMs).
Typed TypeUntilComplete(TextFieldProbe& field, const std::string& text, const std::function<void()>& type,
                        int timeoutMs);
// A typing tool's own time to send text, and whether all of it arrived
// within moments after.
Typed TypeWithTool(TextFieldProbe& field, const std::string& text, const std::vector<std::string>& argv);
// One line: characters per second and the time, or what arrived of it.
void ReportTyped(const char* name, const Typed& typed, int characters, std::size_t expectedBytes);

} // namespace BenchTools
