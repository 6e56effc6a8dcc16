// DetectSpot against the memory-read bound of the same words and against the
// pixel-by-pixel scan, on the default Search box, for three kinds of frame.
// Prints Google Benchmark's table, then ns per frame and the ratios; with
// --benchmark_repetitions=N the ratios use the medians.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "tracking/naive_spot_scan.h"
#include "tracking/spot_detector.h"

namespace {

const SearchBox kBox{40, 600, 40, 440};

std::vector<uint32_t> MakeFrame(const std::string& kind) {
    std::mt19937 rng(99);
    std::vector<uint32_t> f(kFramePixels);
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            const uint32_t red = 20 + rng() % 90, green = 20 + rng() % 90, blue = 30 + rng() % 90;
            uint32_t p = (red << 16) | (green << 8) | blue;
            if (kind == "spot") {
                const int dx = x - 377, dy = y - 211;
                if (dx * dx + dy * dy <= 16) p = 0x00FFE0E0;
            } else if (kind == "tie-heavy") {
                if ((x + y) % 2 == 0) p = 0x00FF0000 | (p & 0xFFFF);
            }
            f[y * kFrameWidth + x] = p;
        }
    }
    return f;
}

// Every word of the box read once, combined with the cheapest operation.
uint32_t ReadBound(const uint32_t* frame, SearchBox b) {
    const int32_t width = b.xMax - b.xMin + 1;
    uint32_t total = 0;
    for (int32_t y = b.yMin; y <= b.yMax; ++y) {
        const uint32_t* row = frame + y * kFrameWidth + b.xMin;
        int32_t i = 0;
#if defined(__SSE2__)
        __m128i a0 = _mm_setzero_si128(), a1 = a0, a2 = a0, a3 = a0;
        for (; i + 16 <= width; i += 16) {
            a0 = _mm_or_si128(a0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i)));
            a1 = _mm_or_si128(a1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 4)));
            a2 = _mm_or_si128(a2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 8)));
            a3 = _mm_or_si128(a3, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 12)));
        }
        const __m128i a = _mm_or_si128(_mm_or_si128(a0, a1), _mm_or_si128(a2, a3));
        total ^= static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_or_si128(a, _mm_srli_si128(a, 8))));
#endif
        for (; i < width; ++i) total ^= row[i];
    }
    return total;
}

const char* kKinds[] = {"spot", "dark", "tie-heavy"};

void BM_DetectSpot(benchmark::State& state, std::string kind) {
    const auto frame = MakeFrame(kind);
    for (auto _ : state) benchmark::DoNotOptimize(DetectSpot(frame.data(), kBox));
}

void BM_ReadBound(benchmark::State& state, std::string kind) {
    const auto frame = MakeFrame(kind);
    for (auto _ : state) benchmark::DoNotOptimize(ReadBound(frame.data(), kBox));
}

void BM_NaiveScan(benchmark::State& state, std::string kind) {
    const auto frame = MakeFrame(kind);
    for (auto _ : state) benchmark::DoNotOptimize(NaiveSpotScan(frame.data(), kBox));
}

class RecordingReporter : public benchmark::ConsoleReporter {
  public:
    // With repetitions the median stands for the benchmark; otherwise the run.
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
            nanoseconds[r.run_name.function_name] = r.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nanoseconds;
};

}  // namespace

int main(int argc, char** argv) {
    for (const char* kind : kKinds) {
        benchmark::RegisterBenchmark((std::string("DetectSpot/") + kind).c_str(), BM_DetectSpot, kind);
        benchmark::RegisterBenchmark((std::string("ReadBound/") + kind).c_str(), BM_ReadBound, kind);
        benchmark::RegisterBenchmark((std::string("NaiveScan/") + kind).c_str(), BM_NaiveScan, kind);
    }
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-10s %14s %14s %14s %12s %12s\n", "frame", "DetectSpot ns", "read bound ns", "naive ns",
                "vs bound", "naive/bound");
    for (const char* kind : kKinds) {
        const std::string k(kind);
        const double detect = reporter.nanoseconds["DetectSpot/" + k];
        const double bound = reporter.nanoseconds["ReadBound/" + k];
        const double naive = reporter.nanoseconds["NaiveScan/" + k];
        if (detect == 0 || bound == 0 || naive == 0) continue;
        std::printf("%-10s %14.0f %14.0f %14.0f %11.2fx %11.2fx\n", kind, detect, bound, naive, detect / bound,
                    naive / bound);
    }
    benchmark::Shutdown();
    return 0;
}
