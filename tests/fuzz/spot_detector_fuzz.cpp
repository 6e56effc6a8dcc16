// DetectSpot against the pixel-by-pixel scan, over any frame and any Search
// box: both must give the same result; any difference aborts.
//
// Input: a background byte (one of the prepared frames below, or no frame
// at all), the bounds xMin, xMax, yMin, yMax (a tag byte and a 32-bit word
// each, see Bound and UpperBound), then pixel writes of 8 bytes each (index,
// value). The frames are prepared once and each case's writes undone
// after it, so a case costs its scans rather than the building of 1.2 MB.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "tracking/naive_spot_scan.h"
#include "tracking/spot_detector.h"

namespace {

constexpr int kBackgrounds = 16;
constexpr int kMaxWrites = 256;

uint32_t Red(uint32_t red) { return red << 16; }

// Deterministic noise, the same in every run.
uint32_t Next(uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state;
}

// Backgrounds chosen to reach every branch of the detector: dark, exactly
// at the floor, all tied above it, gradients, noise with many ties, and
// channels other than red that must not count.
uint32_t BackgroundPixel(int kind, int x, int y, uint32_t* noise) {
    const uint32_t n = Next(noise);
    switch (kind) {
        case 0: return 0;
        case 1: return Red(224);
        case 2: return Red(225) | (n & 0xFF00FFFFu);
        case 3: return 0x00FFFFFFu;
        case 4: return Red(static_cast<uint32_t>(x * 255 / 639));
        case 5: return Red(static_cast<uint32_t>(y * 255 / 479));
        case 6: return Red(200 + (n >> 24) % 56) | (n & 0xFF00FFFFu);
        case 7: return n;
        case 8: return ((x ^ y) & 1) ? Red(255) : 0;
        case 9: return Red(230 + ((x + y) & 1));
        case 10: return (x * 31 + y * 17) % 97 == 0 ? Red(250) : Red(100);
        case 11: return 0xFF000000u | Red(224) | (n & 0xFFFFu);
        case 12: return Red(226 + x % 15);
        case 13: return Red(225 + (n >> 24) % 4);
        case 14: return (n >> 20) % 4096 == 0 ? Red(255) : Red((n >> 24) & 0x7F);
        default: return Red(255 - static_cast<uint32_t>((x + y) % 4));
    }
}

// Each background in an allocation of exactly one frame: a read past it
// lands in the sanitizer's red zone.
uint32_t* g_backgrounds[kBackgrounds];

uint32_t* Background(int kind) {
    if (g_backgrounds[0] == nullptr) {
        uint32_t noise = 12345;
        for (int k = 0; k < kBackgrounds; ++k) {
            g_backgrounds[k] = new uint32_t[kFramePixels];
            for (int y = 0; y < kFrameHeight; ++y) {
                for (int x = 0; x < kFrameWidth; ++x) g_backgrounds[k][y * kFrameWidth + x] = BackgroundPixel(k, x, y, &noise);
            }
        }
    }
    return g_backgrounds[kind];
}

// Mostly values around the frame, often its edges and the extremes of the
// type, sometimes any 32-bit value.
int32_t Decode(uint8_t tag, uint32_t word) {
    static const int32_t kEdges[] = {INT32_MIN, INT32_MIN + 1, -65536, -2, -1, 0, 1, 15, 16, 17,
                                     238, 239, 240, 478, 479, 480, 481, 623, 624, 638,
                                     639, 640, 641, 65535, 65536, INT32_MAX - 1, INT32_MAX};
    switch (tag % 4) {
        case 0: return static_cast<int32_t>(word);
        case 1: return kEdges[word % (sizeof kEdges / sizeof kEdges[0])];
        default: return static_cast<int32_t>(word % 760) - 60;
    }
}

int32_t Bound(FuzzInput* in) {
    const uint8_t tag = TakeU8(in);
    return Decode(tag, TakeU32(in));
}

// The upper bound of an axis: as the lower one half of the time, otherwise
// within 128 of it, either side. Most cases then scan a small box and the
// fuzzer stays fast; whole-frame boxes still come from the other half.
int32_t UpperBound(FuzzInput* in, int32_t lower) {
    const uint8_t tag = TakeU8(in);
    const uint32_t word = TakeU32(in);
    if (tag % 8 < 4) return Decode(tag, word);
    const auto step = static_cast<int32_t>(static_cast<int8_t>(word & 0xFF));
    return static_cast<int32_t>(static_cast<uint32_t>(lower) + static_cast<uint32_t>(step));
}

struct Write {
    uint32_t index, old;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size, 0};
    const uint8_t background = TakeU8(&in);
    SearchBox box;
    box.xMin = Bound(&in);
    box.xMax = UpperBound(&in, box.xMin);
    box.yMin = Bound(&in);
    box.yMax = UpperBound(&in, box.yMin);

    if (background == 0xFF) {
        // No frame at all: nothing is read and nothing is found.
        if (DetectSpot(nullptr, box).found) std::abort();
        return 0;
    }
    uint32_t* const frame = Background(background % kBackgrounds);
    Write writes[kMaxWrites];
    int count = 0;
    while (InputLeft(&in) && count < kMaxWrites) {
        const uint32_t index = TakeU32(&in) % kFramePixels;
        writes[count++] = {index, frame[index]};
        frame[index] = TakeU32(&in);
    }

    const SpotResult fast = DetectSpot(frame, box);
    const SpotResult naive = NaiveSpotScan(frame, box);
    const bool same = fast.found == naive.found && (!fast.found || (fast.sumX == naive.sumX && fast.sumY == naive.sumY));

    while (count > 0) {
        --count;
        frame[writes[count].index] = writes[count].old;
    }
    if (!same) {
        std::fprintf(stderr, "box %d..%d x %d..%d: detector %d (%d, %d), scan %d (%d, %d)\n", box.xMin, box.xMax,
                     box.yMin, box.yMax, fast.found, fast.sumX, fast.sumY, naive.found, naive.sumX, naive.sumY);
        std::abort();
    }
    return 0;
}
