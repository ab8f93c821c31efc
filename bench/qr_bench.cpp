// QR encoding speed against libqrencode, the reference encoder, on the same
// bytes in the same run: the largest input (2953 bytes, version 40, level L)
// and a pairing payload, both with automatic mask choice.
#include "QR_Encode.h"

#include <benchmark/benchmark.h>
#include <qrencode.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>

namespace {

const std::string& LargestInput()
{
    static const std::string bytes = [] {
        std::mt19937 random(2953);
        std::string text(2953, 'a');
        for (char& c : text)
            c = static_cast<char>('a' + random() % 26);
        return text;
    }();
    return bytes;
}

const std::string kPairingPayload = "192.168.1.20^_7";

void EncodeCorvane(benchmark::State& state, const std::string& bytes, int expectedVersion)
{
    for (auto _ : state) {
        // On the heap for each encoding, as the image wrapper does it.
        auto encoder = std::make_unique<CQR_Encode>();
        if (!encoder->EncodeData(CQR_Encode::LevelL, -1, true, -1, bytes.data(), static_cast<int>(bytes.size()))
            || encoder->Version() != expectedVersion) {
            state.SkipWithError("unexpected encoding");
            break;
        }
        benchmark::DoNotOptimize(encoder->Module(0, 0));
    }
}

void EncodeLibqrencode(benchmark::State& state, const std::string& bytes, int expectedVersion)
{
    for (auto _ : state) {
        QRcode* code = QRcode_encodeData(static_cast<int>(bytes.size()),
                                         reinterpret_cast<const unsigned char*>(bytes.data()), 0, QR_ECLEVEL_L);
        if (code == nullptr || code->version != expectedVersion) {
            state.SkipWithError("unexpected encoding");
            QRcode_free(code);
            break;
        }
        benchmark::DoNotOptimize(code->data[0]);
        QRcode_free(code);
    }
}

void BM_Largest_Corvane(benchmark::State& state) { EncodeCorvane(state, LargestInput(), 40); }
void BM_Largest_Libqrencode(benchmark::State& state) { EncodeLibqrencode(state, LargestInput(), 40); }
void BM_Pairing_Corvane(benchmark::State& state) { EncodeCorvane(state, kPairingPayload, 1); }
void BM_Pairing_Libqrencode(benchmark::State& state) { EncodeLibqrencode(state, kPairingPayload, 1); }

BENCHMARK(BM_Largest_Corvane)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Largest_Libqrencode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pairing_Corvane)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pairing_Libqrencode)->Unit(benchmark::kMicrosecond);

// The console report, plus the processor time per encoding of each run
// kept for the ratios printed at the end (processor time, because the
// machine may be shared and wall time then counts other programs' work).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                microseconds[run.benchmark_name()] = run.GetAdjustedCPUTime();
        }
    }

    void PrintRatio(const char* label, const std::string& ours, const std::string& anchor) const
    {
        const auto o = microseconds.find(ours);
        const auto a = microseconds.find(anchor);
        if (o == microseconds.end() || a == microseconds.end() || a->second <= 0)
            return;
        std::printf("%-44s corvane %9.2f us   libqrencode %9.2f us   ratio %.2f\n", label, o->second, a->second,
                    o->second / a->second);
    }

private:
    std::map<std::string, double> microseconds;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nProcessor time per encoding (ratio = corvane / libqrencode, below 1 is faster):\n");
    reporter.PrintRatio("2953 bytes, version 40, level L, auto mask:", "BM_Largest_Corvane", "BM_Largest_Libqrencode");
    reporter.PrintRatio("\"192.168.1.20^_7\", version 1, level L:", "BM_Pairing_Corvane", "BM_Pairing_Libqrencode");
    benchmark::Shutdown();
    return 0;
}
