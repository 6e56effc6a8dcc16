#include "capture/yuv_conversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>

#include "capture/yuv_conversion_kernel.h"
#endif

YuvMatrix MakeYuvMatrix(double kr, double kb, bool fullRange) {
    // Each component is first brought to 0..1 (chroma to -0.5..0.5) by a
    // divisor taken as float, as the converter does, then to 0..255 RGB in
    // 1/256 units.
    const double luma = static_cast<double>(1.0f / (fullRange ? 255.0f : 219.0f));
    const double chroma = static_cast<double>(1.0f / (fullRange ? 255.0f : 224.0f));
    const double kg = 1.0 - kr - kb;
    const double unit = 255.0 * 256.0;
    const auto round = [](double v) { return static_cast<int16_t>(std::rint(v)); };
    YuvMatrix m;
    m.luma = round(unit * luma);
    m.redFromV = round(unit * chroma * 2.0 * (1.0 - kr));
    m.greenFromU = round(unit * chroma * (-2.0 * kb * (1.0 - kb) / kg));
    m.greenFromV = round(unit * chroma * (-2.0 * kr * (1.0 - kr) / kg));
    m.blueFromU = round(unit * chroma * 2.0 * (1.0 - kb));
    return m;
}

namespace {

// A sample taken about 128 as a signed byte and repeated in both halves of
// a 16-bit word: about 257 times the offset value.
int Widened(int sample) {
    const int offset = (sample ^ 0x80) & 0xFF;
    return static_cast<int16_t>(static_cast<uint16_t>(offset * 257));
}

// The high half of the signed product.
int MulHigh(int a, int b) { return (a * b) >> 16; }

uint32_t Channel(int value) {
    const int clamped = value < -128 ? -128 : (value > 127 ? 127 : value);
    return static_cast<uint32_t>(clamped + 128);
}

uint32_t Pixel(int y, int u, int v, const YuvMatrix& m) {
    const int wy = MulHigh(Widened(y), m.luma);
    const int wu = Widened(u), wv = Widened(v);
    const uint32_t r = Channel(wy + MulHigh(wv, m.redFromV));
    const uint32_t g = Channel(wy + MulHigh(wu, m.greenFromU) + MulHigh(wv, m.greenFromV));
    const uint32_t b = Channel(wy + MulHigh(wu, m.blueFromU));
    return r << 16 | g << 8 | b;
}

struct Offsets {
    int y0, u, y1, v;
};

Offsets ByteOffsets(PackedYuvLayout layout) {
    return layout == PackedYuvLayout::kYuy2 ? Offsets{0, 1, 2, 3} : Offsets{1, 0, 3, 2};
}

// Chroma sits between the two pixels of its pair: each pixel takes three
// quarters of its own pair's value and a quarter of the nearer neighbour's,
// the outermost pixels their own pair's value alone.
void ConvertPairs(const unsigned char* in, uint32_t* out, int pairs, int firstPair, int endPair, const Offsets& at,
                  uint32_t keep, const YuvMatrix& m) {
    for (int k = firstPair; k < endPair; ++k) {
        const unsigned char* const pair = in + 4 * k;
        const unsigned char* const before = in + 4 * (k > 0 ? k - 1 : 0);
        const unsigned char* const after = in + 4 * (k + 1 < pairs ? k + 1 : k);
        const int u = pair[at.u], v = pair[at.v];
        const int evenU = (before[at.u] + 3 * u + 2) >> 2, evenV = (before[at.v] + 3 * v + 2) >> 2;
        const int oddU = (3 * u + after[at.u] + 2) >> 2, oddV = (3 * v + after[at.v] + 2) >> 2;
        out[2 * k] = Pixel(pair[at.y0], evenU, evenV, m) & keep;
        out[2 * k + 1] = Pixel(pair[at.y1], oddU, oddV, m) & keep;
    }
}

#if defined(__SSE2__)

struct Sse2Ops {
    using Reg = __m128i;
    static constexpr int kPairs = 8;
    static Reg Load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(uint32_t* p, Reg v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    LUMIDART_PACKED_YUV_OPS(_mm_, si128)
};

using Sse2Kernel = PackedYuvKernel<Sse2Ops>;

// The eight pairs from firstPair on, through a copy whose missing neighbours
// repeat the row's end pairs: repeated chroma interpolates to itself, which
// is the rule at the row's ends.
template <bool RedOnly>
void ConvertEdgeGroup(const unsigned char* in, uint32_t* out, int firstPair, int pairs, bool yFirst,
                      const YuvMatrix& m) {
    unsigned char padded[4 * (Sse2Ops::kPairs + 2)];
    for (int i = 0; i < Sse2Ops::kPairs + 2; ++i) {
        const int source = std::clamp(firstPair - 1 + i, 0, pairs - 1);
        std::memcpy(padded + 4 * i, in + 4 * source, 4);
    }
    Sse2Kernel::Convert<RedOnly>(padded + 4, out + 2 * firstPair, yFirst, m);
}

// Pairs firstPair..endPair - 1 and possibly some around them, each group
// of eight or sixteen converted whole.
template <bool RedOnly>
void ConvertSpan(const unsigned char* in, uint32_t* out, int pairs, int firstPair, int endPair, bool yFirst,
                 const YuvMatrix& m) {
    int pair = firstPair;
    if (pair == 0) {
        ConvertEdgeGroup<RedOnly>(in, out, 0, pairs, yFirst, m);
        pair = Sse2Ops::kPairs;
    }
#if defined(LUMIDART_AVX2_KERNEL)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) pair = ConvertPackedYuvPairsAvx2(in, out, pair, endPair, pairs, yFirst, RedOnly, m);
#endif
    pair = Sse2Kernel::Run<RedOnly>(in, out, pair, endPair, pairs, yFirst, m);
    // At most one group is left, at the row's end; converting some pairs
    // twice gives the same words.
    if (pair < endPair) ConvertEdgeGroup<RedOnly>(in, out, pairs - Sse2Ops::kPairs, pairs, yFirst, m);
}

#endif

void ConvertPairRange(const unsigned char* in, uint32_t* out, int pairs, int firstPair, int endPair,
                      PackedYuvLayout layout, bool redOnly, const YuvMatrix& m) {
#if defined(__SSE2__)
    if (pairs >= Sse2Ops::kPairs) {
        const bool yFirst = layout == PackedYuvLayout::kYuy2;
        if (redOnly) {
            ConvertSpan<true>(in, out, pairs, firstPair, endPair, yFirst, m);
        } else {
            ConvertSpan<false>(in, out, pairs, firstPair, endPair, yFirst, m);
        }
        return;
    }
#endif
    ConvertPairs(in, out, pairs, firstPair, endPair, ByteOffsets(layout), redOnly ? 0x00FF0000u : 0xFFFFFFFFu, m);
}

}  // namespace

void ConvertPackedYuvRow(const unsigned char* in, uint32_t* out, int width, PackedYuvLayout layout,
                         const YuvMatrix& matrix) {
    ConvertPairRange(in, out, width / 2, 0, width / 2, layout, false, matrix);
}

void ConvertPackedYuvRowRed(const unsigned char* in, uint32_t* out, int width, int firstColumn, int lastColumn,
                            PackedYuvLayout layout, const YuvMatrix& matrix) {
    const int pairs = width / 2;
    const int firstPair = std::clamp(firstColumn / 2, 0, pairs);
    const int endPair = std::clamp(lastColumn / 2 + 1, firstPair, pairs);
    ConvertPairRange(in, out, pairs, firstPair, endPair, layout, true, matrix);
}
