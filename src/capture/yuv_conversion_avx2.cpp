// Built with 256-bit integer vectors enabled; called only on processors
// that have them.
#include <immintrin.h>

#include "capture/yuv_conversion_kernel.h"

namespace {

// Lane 0 works on the group at p, lane 1 on the group 16 pixels later.
struct Avx2Ops {
    using Reg = __m256i;
    static constexpr int kPairs = 16;
    static Reg Load(const unsigned char* p) {
        return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 32), reinterpret_cast<const __m128i*>(p));
    }
    static void Store(uint32_t* p, Reg v) {
        _mm256_storeu2_m128i(reinterpret_cast<__m128i*>(p + 16), reinterpret_cast<__m128i*>(p), v);
    }
    static Reg Set16(int v) { return _mm256_set1_epi16(static_cast<int16_t>(v)); }
    static Reg Zero() { return _mm256_setzero_si256(); }
    static Reg And(Reg a, Reg b) { return _mm256_and_si256(a, b); }
    static Reg Xor(Reg a, Reg b) { return _mm256_xor_si256(a, b); }
    static Reg Srli16(Reg a, int n) { return _mm256_srli_epi16(a, n); }
    static Reg Add16(Reg a, Reg b) { return _mm256_add_epi16(a, b); }
    static Reg Mullo16(Reg a, Reg b) { return _mm256_mullo_epi16(a, b); }
    static Reg Mulhi16(Reg a, Reg b) { return _mm256_mulhi_epi16(a, b); }
    static Reg Packus16(Reg a, Reg b) { return _mm256_packus_epi16(a, b); }
    static Reg Unpacklo8(Reg a, Reg b) { return _mm256_unpacklo_epi8(a, b); }
    static Reg Unpackhi8(Reg a, Reg b) { return _mm256_unpackhi_epi8(a, b); }
    static Reg Unpacklo16(Reg a, Reg b) { return _mm256_unpacklo_epi16(a, b); }
    static Reg Unpackhi16(Reg a, Reg b) { return _mm256_unpackhi_epi16(a, b); }
    static Reg Unpacklo32(Reg a, Reg b) { return _mm256_unpacklo_epi32(a, b); }
    static Reg Unpackhi32(Reg a, Reg b) { return _mm256_unpackhi_epi32(a, b); }
};

}  // namespace

int ConvertPackedYuvPairsAvx2(const unsigned char* in, uint32_t* out, int firstPair, int pairs, bool yFirst,
                              const YuvMatrix& m) {
    return PackedYuvKernel<Avx2Ops>::Run(in, out, firstPair, pairs, yFirst, m);
}
