// The sink's per-frame passes over a 640 x 480 frame: packed YUV converted
// to the Frame buffer's words, the red alone of the default Search box (what
// a tracking frame costs), against the plain BGRx copy used for every other
// format. Prints Google Benchmark's table, then per pass the CPU time
// per frame and per pixel and the share of one core at 30 frames a second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "capture/yuv_conversion.h"
#include "state/tracker_state.h"

namespace {

std::vector<unsigned char> Noise(size_t bytes) {
    std::mt19937 rng(7);
    std::vector<unsigned char> v(bytes);
    for (unsigned char& b : v) b = static_cast<unsigned char>(rng());
    return v;
}

void BM_PackedYuvFrame(benchmark::State& state) {
    const std::vector<unsigned char> in = Noise(static_cast<size_t>(kFramePixels) * 2);
    std::vector<uint32_t> out(kFramePixels);
    const YuvMatrix matrix = MakeYuvMatrix(0.299, 0.114, false);
    for (auto _ : state) {
        for (int line = 0; line < kFrameHeight; ++line) {
            ConvertPackedYuvRow(in.data() + line * kFrameWidth * 2, out.data() + (kFrameHeight - 1 - line) * kFrameWidth,
                                kFrameWidth, PackedYuvLayout::kYuy2, matrix);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PackedYuvFrame);

// The default quad's box: columns 40-600, rows 40-440.
void BM_PackedYuvRedOfDefaultBox(benchmark::State& state) {
    const std::vector<unsigned char> in = Noise(static_cast<size_t>(kFramePixels) * 2);
    std::vector<uint32_t> out(kFramePixels);
    const YuvMatrix matrix = MakeYuvMatrix(0.299, 0.114, false);
    for (auto _ : state) {
        for (int y = 40; y <= 440; ++y) {
            ConvertPackedYuvRowRed(in.data() + (kFrameHeight - 1 - y) * kFrameWidth * 2, out.data() + y * kFrameWidth,
                                   kFrameWidth, 40, 600, PackedYuvLayout::kYuy2, matrix);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PackedYuvRedOfDefaultBox);

void BM_BgrxCopyFrame(benchmark::State& state) {
    const std::vector<unsigned char> in = Noise(static_cast<size_t>(kFrameBytes));
    std::vector<uint32_t> out(kFramePixels);
    for (auto _ : state) {
        for (int line = 0; line < kFrameHeight; ++line) {
            const unsigned char* const row = in.data() + line * kFrameWidth * 4;
            uint32_t* const dst = out.data() + (kFrameHeight - 1 - line) * kFrameWidth;
            for (int x = 0; x < kFrameWidth; ++x) {
                uint32_t pixel;
                std::memcpy(&pixel, row + 4 * x, sizeof pixel);
                dst[x] = pixel & 0x00FFFFFFu;
            }
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BgrxCopyFrame);

class Collector : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) nsPerFrame_[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
    void Summary() const {
        for (const auto& [name, ns] : nsPerFrame_) {
            std::printf("%-24s %9.0f ns/frame  %5.2f ns/pixel  %5.2f%% of one core at 30 fps\n", name.c_str(), ns,
                        ns / kFramePixels, ns * 30 / 1e7);
        }
    }

  private:
    std::map<std::string, double> nsPerFrame_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    collector.Summary();
    return 0;
}
