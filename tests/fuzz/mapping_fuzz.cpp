// SolveMapping and MapSpot over any quad, screen size and Spot sums: the
// point always lies between 0 and the screen size on each axis, and nothing
// on the way is undefined behaviour (run under UBSan with float-cast-overflow).
//
// Input: a flags byte (bit 0: corners as raw 32-bit values instead of the
// settings file's 16-bit ones), the eight corners, W and H as 16-bit words
// (see ScreenSide), then any number of Spot sums pairs (32-bit each).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "state/tracker_state.h"
#include "tracking/mapping.h"

namespace {

void Fail(const char* what, int32_t sumX, int32_t sumY, ScreenPoint got) {
    std::fprintf(stderr, "%s: sums (%d, %d) mapped to (%d, %d) on %d x %d\n", what, sumX, sumY, got.x, got.y,
                 g_tracker.screenWidth.load(), g_tracker.screenHeight.load());
    std::abort();
}

// MapSpot promises 0 <= x <= W and 0 <= y <= H; for a size below 1, which no
// platform reports, the bounds swap and the point stays between 0 and it.
void CheckInside(int32_t sumX, int32_t sumY, ScreenPoint got) {
    const int32_t W = g_tracker.screenWidth.load();
    const int32_t H = g_tracker.screenHeight.load();
    if (got.x < std::min(0, W) || got.x > std::max(0, W)) Fail("x outside the screen", sumX, sumY, got);
    if (got.y < std::min(0, H) || got.y > std::max(0, H)) Fail("y outside the screen", sumX, sumY, got);
}

ScreenPoint Map(int32_t sumX, int32_t sumY) {
    const ScreenPoint point = MapSpot({sumX, sumY});
    CheckInside(sumX, sumY, point);
    return point;
}

bool Finite() {
    const double c[6] = {g_tracker.xu, g_tracker.xv, g_tracker.yu, g_tracker.yv, g_tracker.wu, g_tracker.wv};
    for (double v : c) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size, 0};
    const bool raw = (TakeU8(&in) & 1) != 0;
    for (auto& corner : g_tracker.corners) corner.store(raw ? TakeI32(&in) : TakeU16(&in));
    g_tracker.screenWidth.store(ScreenSide(TakeU16(&in)));
    g_tracker.screenHeight.store(ScreenSide(TakeU16(&in)));
    SolveMapping();

    // Each corner's own sums, where twice the corner fits the record.
    for (int i = 0; i < 4; ++i) {
        const int64_t sumX = 2 * int64_t{Corner(2 * i)};
        const int64_t sumY = 2 * int64_t{Corner(2 * i + 1)};
        if (sumX != static_cast<int32_t>(sumX) || sumY != static_cast<int32_t>(sumY)) continue;
        const ScreenPoint got = Map(static_cast<int32_t>(sumX), static_cast<int32_t>(sumY));
        // P0 is the origin of u and v: with finite coefficients it lands on
        // the bottom-left corner exactly.
        const int32_t H = g_tracker.screenHeight.load();
        if (i == 0 && Finite() && g_tracker.screenWidth.load() >= 1 && H >= 1 && (got.x != 0 || got.y != H)) {
            Fail("P0 not at the bottom-left corner", static_cast<int32_t>(sumX), static_cast<int32_t>(sumY), got);
        }
    }
    while (InputLeft(&in)) {
        const int32_t sumX = TakeI32(&in);
        Map(sumX, TakeI32(&in));
    }
    return 0;
}
