// The hot loop of the product. One pass takes the highest red of each row
// with byte-wise vector maxima; only a row that reaches the current level is
// looked at again, to find its first and last pixel at that level. The
// result is the same as visiting every pixel in order with the level rule.
#include "tracking/spot_detector.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

int32_t Max32(int32_t a, int32_t b) { return a > b ? a : b; }
int32_t Min32(int32_t a, int32_t b) { return a < b ? a : b; }
uint32_t Max32U(uint32_t a, uint32_t b) { return a > b ? a : b; }

uint32_t RowMaxRed(const uint32_t* row, int32_t count) {
    int32_t i = 0;
    uint32_t best = 0;
#if defined(__SSE2__)
    // Byte-wise maximum over all four channels; only the red lanes are read
    // at the end, so the other channels' maxima never matter.
    __m128i acc = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 4));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 8));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 12));
        acc = _mm_max_epu8(acc, _mm_max_epu8(_mm_max_epu8(a, b), _mm_max_epu8(c, d)));
    }
    for (; i + 4 <= count; i += 4) {
        acc = _mm_max_epu8(acc, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i)));
    }
    acc = _mm_and_si128(acc, _mm_set1_epi32(static_cast<int>(kRedMask)));
    acc = _mm_max_epu8(acc, _mm_srli_si128(acc, 8));
    acc = _mm_max_epu8(acc, _mm_srli_si128(acc, 4));
    best = static_cast<uint32_t>(_mm_cvtsi128_si32(acc));
#endif
    for (; i < count; ++i) {
        const uint32_t r = row[i] & kRedMask;
        if (r > best) best = r;
    }
    return best;
}

#if defined(__SSE2__)
// Bit i set when pixel i of the four at row is at the level.
int LevelMask4(const uint32_t* row, __m128i mask, __m128i level) {
    const __m128i p = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)), mask);
    return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(p, level)));
}
#endif

// First and last index in [0, count) whose red equals level; the row is
// known to hold at least one.
void FindLevelSpan(const uint32_t* row, int32_t count, uint32_t level, int32_t* first, int32_t* last) {
    int32_t lo = 0;
    int32_t hi = count - 1;
#if defined(__SSE2__)
    const __m128i mask = _mm_set1_epi32(static_cast<int>(kRedMask));
    const __m128i wanted = _mm_set1_epi32(static_cast<int>(level));
    while (lo + 4 <= count) {
        const int bits = LevelMask4(row + lo, mask, wanted);
        if (bits != 0) break;
        lo += 4;
    }
    while (hi - 3 >= 0) {
        const int bits = LevelMask4(row + hi - 3, mask, wanted);
        if (bits != 0) break;
        hi -= 4;
    }
#endif
    while ((row[lo] & kRedMask) != level) ++lo;
    while ((row[hi] & kRedMask) != level) --hi;
    *first = lo;
    *last = hi;
}

}  // namespace

SearchBox ClipToFrame(SearchBox box) {
    return {Max32(box.xMin, 0), Min32(box.xMax, kFrameWidth - 1), Max32(box.yMin, 0),
            Min32(box.yMax, kFrameHeight - 1)};
}

SpotResult DetectSpot(const uint32_t* frame, SearchBox box) {
    SpotResult result{false, 0, 0};
    const SearchBox b = ClipToFrame(box);
    if (frame == nullptr || b.yMin > b.yMax || b.xMin > b.xMax) return result;

    const int32_t width = b.xMax - b.xMin + 1;
    uint32_t level = kSpotFloor;
    bool counting = false;
    int32_t xLo = 0, xHi = 0, yLo = 0, yHi = 0;

    const uint32_t* row = frame + b.yMin * kFrameWidth + b.xMin;
    for (int32_t y = b.yMin; y <= b.yMax; ++y, row += kFrameWidth) {
        const uint32_t rowMax = RowMaxRed(row, width);
        if (rowMax < level || (rowMax == level && !counting)) continue;
        int32_t first, last;
        FindLevelSpan(row, width, rowMax, &first, &last);
        if (rowMax > level) {
            // A higher red drops everything collected at the lower level.
            level = rowMax;
            counting = true;
            xLo = first;
            xHi = last;
            yLo = y;
        } else {
            xLo = Min32(xLo, first);
            xHi = Max32(xHi, last);
        }
        yHi = y;
    }
    if (!counting) return result;
    result.found = true;
    result.sumX = (xLo + b.xMin) + (xHi + b.xMin);
    result.sumY = yLo + yHi;
    return result;
}

uint32_t HighestRedInBox(const uint32_t* frame, SearchBox box) {
    const SearchBox b = ClipToFrame(box);
    if (frame == nullptr || b.yMin > b.yMax || b.xMin > b.xMax) return 0;
    const int32_t width = b.xMax - b.xMin + 1;
    uint32_t best = 0;
    const uint32_t* row = frame + b.yMin * kFrameWidth + b.xMin;
    for (int32_t y = b.yMin; y <= b.yMax; ++y, row += kFrameWidth) best = Max32U(best, RowMaxRed(row, width));
    return best >> 16;
}
