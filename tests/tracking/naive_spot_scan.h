// The detector's rule visited pixel by pixel, exactly in scan order: the
// oracle for the tests and the scalar baseline for the benchmark.
#pragma once

#include "tracking/spot_detector.h"

inline SpotResult NaiveSpotScan(const uint32_t* frame, SearchBox box) {
    const SearchBox b = ClipToFrame(box);
    uint32_t level = kSpotFloor;
    int32_t count = 0, xLo = 0, xHi = 0, yLo = 0, yHi = 0;
    for (int32_t y = b.yMin; y <= b.yMax; ++y) {
        const uint32_t* row = frame + y * kFrameWidth;
        for (int32_t x = b.xMin; x <= b.xMax; ++x) {
            const uint32_t r = row[x] & kRedMask;
            if (r > level) {
                level = r;
                count = 1;
                xLo = xHi = x;
                yLo = yHi = y;
            } else if (r == level && count > 0) {
                ++count;
                if (x < xLo) {
                    xLo = x;
                } else if (x > xHi) {
                    xHi = x;
                }
                if (y < yLo) {
                    yLo = y;
                } else if (y > yHi) {
                    yHi = y;
                }
            }
        }
    }
    if (count == 0) return {false, 0, 0};
    return {true, xLo + xHi, yLo + yHi};
}
