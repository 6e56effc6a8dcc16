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
    LUMIDART_PACKED_YUV_OPS(_mm256_, si256)
};

}  // namespace

int ConvertPackedYuvPairsAvx2(const unsigned char* in, uint32_t* out, int firstPair, int endPair, int pairs,
                              bool yFirst, bool redOnly, const YuvMatrix& m) {
    using Kernel = PackedYuvKernel<Avx2Ops>;
    return redOnly ? Kernel::Run<true>(in, out, firstPair, endPair, pairs, yFirst, m)
                   : Kernel::Run<false>(in, out, firstPair, endPair, pairs, yFirst, m);
}
