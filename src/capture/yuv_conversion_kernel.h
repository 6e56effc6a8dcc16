// The vector body of the packed YUV conversion, written once over a small
// set of register operations (Ops) so that each instruction set's file
// instantiates it with its own. Each 128-bit lane converts its own group of
// 16 pixels; every file that includes this keeps its copy private.
#pragma once

#include <cstdint>

#include "capture/yuv_conversion.h"

// The register operations both instruction sets name alike: PREFIX is the
// intrinsics' prefix (_mm_, _mm256_), WHOLE their whole-register suffix.
#define LUMIDART_PACKED_YUV_OPS(PREFIX, WHOLE)                                               \
    static Reg Set16(int v) { return PREFIX##set1_epi16(static_cast<int16_t>(v)); }          \
    static Reg Zero() { return PREFIX##setzero_##WHOLE(); }                                   \
    static Reg And(Reg a, Reg b) { return PREFIX##and_##WHOLE(a, b); }                        \
    static Reg Xor(Reg a, Reg b) { return PREFIX##xor_##WHOLE(a, b); }                        \
    static Reg Srli16(Reg a, int n) { return PREFIX##srli_epi16(a, n); }                      \
    static Reg Add16(Reg a, Reg b) { return PREFIX##add_epi16(a, b); }                        \
    static Reg Mullo16(Reg a, Reg b) { return PREFIX##mullo_epi16(a, b); }                    \
    static Reg Mulhi16(Reg a, Reg b) { return PREFIX##mulhi_epi16(a, b); }                    \
    static Reg Packus16(Reg a, Reg b) { return PREFIX##packus_epi16(a, b); }                  \
    static Reg Unpacklo8(Reg a, Reg b) { return PREFIX##unpacklo_epi8(a, b); }                \
    static Reg Unpackhi8(Reg a, Reg b) { return PREFIX##unpackhi_epi8(a, b); }                \
    static Reg Unpacklo16(Reg a, Reg b) { return PREFIX##unpacklo_epi16(a, b); }              \
    static Reg Unpackhi16(Reg a, Reg b) { return PREFIX##unpackhi_epi16(a, b); }              \
    static Reg Unpacklo32(Reg a, Reg b) { return PREFIX##unpacklo_epi32(a, b); }              \
    static Reg Unpackhi32(Reg a, Reg b) { return PREFIX##unpackhi_epi32(a, b); }

namespace {

template <class Ops>
struct PackedYuvKernel {
    using Reg = typename Ops::Reg;

    // Per 16-bit lane: the sample about 128 as a signed byte, repeated in
    // both halves of the word.
    static Reg Widened(Reg samples) {
        return Ops::Mullo16(Ops::Xor(samples, Ops::Set16(0x80)), Ops::Set16(257));
    }

    // The chroma bytes of the four pairs at bytes as 16-bit lanes, U V U V.
    static Reg ChromaLanes(const unsigned char* bytes, bool yFirst) {
        const Reg v = Ops::Load(bytes);
        return yFirst ? Ops::Srli16(v, 8) : Ops::And(v, Ops::Set16(0x00FF));
    }

    struct PixelChroma {
        Reg u, v;
    };

    // U and V of the eight pixels of the four pairs at bytes: each pixel
    // takes three quarters of its own pair's value and a quarter of the
    // nearer neighbour's, rounded. U and V go through side by side.
    static PixelChroma Upsampled(const unsigned char* bytes, bool yFirst) {
        const Reg own = ChromaLanes(bytes, yFirst);
        const Reg own3 = Ops::Add16(own, Ops::Add16(own, own));
        const Reg two = Ops::Set16(2);
        const Reg even = Ops::Srli16(Ops::Add16(Ops::Add16(ChromaLanes(bytes - 4, yFirst), own3), two), 2);
        const Reg odd = Ops::Srli16(Ops::Add16(Ops::Add16(ChromaLanes(bytes + 4, yFirst), own3), two), 2);
        // Pairs 0 and 1 as U U V V U U V V, then pairs 2 and 3; then U of
        // all four pairs, then V.
        const Reg first = Ops::Unpacklo16(even, odd), second = Ops::Unpackhi16(even, odd);
        const Reg a = Ops::Unpacklo32(first, second), b = Ops::Unpackhi32(first, second);
        return {Ops::Unpacklo32(a, b), Ops::Unpackhi32(a, b)};
    }

    struct Channels {
        Reg r, g, b;
    };

    // Each channel offset by 128, so that saturating to unsigned bytes is
    // the converter's signed saturation shifted back.
    static Channels Matrix(Reg y, Reg u, Reg v, const YuvMatrix& m) {
        const Reg wy = Ops::Add16(Ops::Mulhi16(Widened(y), Ops::Set16(m.luma)), Ops::Set16(128));
        const Reg wu = Widened(u), wv = Widened(v);
        return {Ops::Add16(wy, Ops::Mulhi16(wv, Ops::Set16(m.redFromV))),
                Ops::Add16(Ops::Add16(wy, Ops::Mulhi16(wu, Ops::Set16(m.greenFromU))),
                           Ops::Mulhi16(wv, Ops::Set16(m.greenFromV))),
                Ops::Add16(wy, Ops::Mulhi16(wu, Ops::Set16(m.blueFromU)))};
    }

    // One group per lane; the pairs on either side of each must exist.
    // RedOnly writes 0x00RR0000 words: the rest of the matrix is never
    // computed.
    template <bool RedOnly>
    static void Convert(const unsigned char* group, uint32_t* out, bool yFirst, const YuvMatrix& m) {
        const Reg yMask = Ops::Set16(0x00FF);
        const Reg a = Ops::Load(group), b = Ops::Load(group + 16);
        const Reg yLow = yFirst ? Ops::And(a, yMask) : Ops::Srli16(a, 8);
        const Reg yHigh = yFirst ? Ops::And(b, yMask) : Ops::Srli16(b, 8);
        const PixelChroma low = Upsampled(group, yFirst), high = Upsampled(group + 16, yFirst);
        const Channels first = Matrix(yLow, low.u, low.v, m), second = Matrix(yHigh, high.u, high.v, m);
        const Reg zero = Ops::Zero();
        const Reg r = Ops::Packus16(first.r, second.r);
        const Reg rLow = Ops::Unpacklo8(r, zero), rHigh = Ops::Unpackhi8(r, zero);
        Reg bgLow = zero, bgHigh = zero;
        if constexpr (!RedOnly) {
            const Reg g = Ops::Packus16(first.g, second.g), b8 = Ops::Packus16(first.b, second.b);
            bgLow = Ops::Unpacklo8(b8, g);
            bgHigh = Ops::Unpackhi8(b8, g);
        }
        Ops::Store(out, Ops::Unpacklo16(bgLow, rLow));
        Ops::Store(out + 4, Ops::Unpackhi16(bgLow, rLow));
        Ops::Store(out + 8, Ops::Unpacklo16(bgHigh, rHigh));
        Ops::Store(out + 12, Ops::Unpackhi16(bgHigh, rHigh));
    }

    // Groups from firstPair on, Ops::kPairs pairs at a time, until endPair
    // is reached or no whole pair would follow the group; returns the first
    // pair left unconverted.
    template <bool RedOnly>
    static int Run(const unsigned char* in, uint32_t* out, int firstPair, int endPair, int pairs, bool yFirst,
                   const YuvMatrix& m) {
        int pair = firstPair;
        for (; pair < endPair && pair + Ops::kPairs < pairs; pair += Ops::kPairs) {
            Convert<RedOnly>(in + 4 * pair, out + 2 * pair, yFirst, m);
        }
        return pair;
    }
};

}  // namespace

// The same body for processors with 256-bit integer vectors, 16 pairs at a
// time; defined only where the build provides it.
int ConvertPackedYuvPairsAvx2(const unsigned char* in, uint32_t* out, int firstPair, int endPair, int pairs,
                              bool yFirst, bool redOnly, const YuvMatrix& m);
