#include "capture/yuv_conversion.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
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
void ConvertPairs(const unsigned char* in, uint32_t* out, int firstPair, int endPair, int pairs,
                  const Offsets& at, const YuvMatrix& m) {
    for (int k = firstPair; k < endPair; ++k) {
        const unsigned char* const pair = in + 4 * k;
        const unsigned char* const before = in + 4 * (k > 0 ? k - 1 : 0);
        const unsigned char* const after = in + 4 * (k + 1 < pairs ? k + 1 : k);
        const int u = pair[at.u], v = pair[at.v];
        const int evenU = (before[at.u] + 3 * u + 2) >> 2, evenV = (before[at.v] + 3 * v + 2) >> 2;
        const int oddU = (3 * u + after[at.u] + 2) >> 2, oddV = (3 * v + after[at.v] + 2) >> 2;
        out[2 * k] = Pixel(pair[at.y0], evenU, evenV, m);
        out[2 * k + 1] = Pixel(pair[at.y1], oddU, oddV, m);
    }
}

#if defined(__SSE2__)

// Four pairs' chroma from 16 packed bytes: U and V each in 32-bit lanes.
struct Chroma {
    __m128i u, v;
};

Chroma SplitChroma(__m128i bytes, bool yFirst) {
    const __m128i uv = yFirst ? _mm_srli_epi16(bytes, 8) : _mm_and_si128(bytes, _mm_set1_epi16(0x00FF));
    return {_mm_and_si128(uv, _mm_set1_epi32(0xFFFF)), _mm_srli_epi32(uv, 16)};
}

// Pixel chroma of four pairs in 16-bit lanes, even pixel then odd pixel.
__m128i Upsampled(__m128i before, __m128i own, __m128i after) {
    const __m128i two = _mm_set1_epi32(2);
    const __m128i own3 = _mm_add_epi32(own, _mm_add_epi32(own, own));
    const __m128i even = _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(before, own3), two), 2);
    const __m128i odd = _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(after, own3), two), 2);
    return _mm_or_si128(even, _mm_slli_epi32(odd, 16));
}

__m128i WidenedLanes(__m128i samples) {
    const __m128i offset = _mm_xor_si128(samples, _mm_set1_epi16(0x80));
    return _mm_or_si128(offset, _mm_slli_epi16(offset, 8));
}

// Signed 16-bit lanes to unsigned bytes about 128, saturated.
__m128i Bytes(__m128i lanes) { return _mm_xor_si128(_mm_packs_epi16(lanes, lanes), _mm_set1_epi8(-128)); }

// Eight pixels from the 16 bytes at in; the pairs either side must exist.
void ConvertEight(const unsigned char* in, uint32_t* out, bool yFirst, const YuvMatrix& m) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const Chroma own = SplitChroma(bytes, yFirst);
    const Chroma before = SplitChroma(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in - 4)), yFirst);
    const Chroma after = SplitChroma(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4)), yFirst);
    const __m128i y = yFirst ? _mm_and_si128(bytes, _mm_set1_epi16(0x00FF)) : _mm_srli_epi16(bytes, 8);
    const __m128i wy = _mm_mulhi_epi16(WidenedLanes(y), _mm_set1_epi16(m.luma));
    const __m128i wu = WidenedLanes(Upsampled(before.u, own.u, after.u));
    const __m128i wv = WidenedLanes(Upsampled(before.v, own.v, after.v));
    const __m128i r = _mm_add_epi16(wy, _mm_mulhi_epi16(wv, _mm_set1_epi16(m.redFromV)));
    const __m128i g = _mm_add_epi16(_mm_add_epi16(wy, _mm_mulhi_epi16(wu, _mm_set1_epi16(m.greenFromU))),
                                    _mm_mulhi_epi16(wv, _mm_set1_epi16(m.greenFromV)));
    const __m128i b = _mm_add_epi16(wy, _mm_mulhi_epi16(wu, _mm_set1_epi16(m.blueFromU)));
    const __m128i bg = _mm_unpacklo_epi8(Bytes(b), Bytes(g));
    const __m128i r0 = _mm_unpacklo_epi8(Bytes(r), _mm_setzero_si128());
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(bg, r0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(bg, r0));
}

#endif

}  // namespace

void ConvertPackedYuvRow(const unsigned char* in, uint32_t* out, int width, PackedYuvLayout layout,
                         const YuvMatrix& matrix) {
    const int pairs = width / 2;
    const Offsets at = ByteOffsets(layout);
    int pair = 0;
#if defined(__SSE2__)
    // The vector steps need a whole pair on each side of their four.
    if (pairs >= 6) {
        ConvertPairs(in, out, 0, 1, pairs, at, matrix);
        for (pair = 1; pair + 5 <= pairs; pair += 4) {
            ConvertEight(in + 4 * pair, out + 2 * pair, layout == PackedYuvLayout::kYuy2, matrix);
        }
    }
#endif
    ConvertPairs(in, out, pair, pairs, pairs, at, matrix);
}
