#include "tracking/screen_corners.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "fake_platform/fake_platform.h"

namespace {

struct Quad {
    double x[4], y[4];  // lower-left, lower-right, upper-left, upper-right
};

struct Room {
    double darkScreen, darkSurround, lightScreen, lightSurround;  // grey levels
    int noise;                                                    // uniform, +- per frame and pixel
};

const Room kDimRoom{30, 45, 210, 40, 6};
// Automatic exposure: the white screen darkens the room below the dark
// frames' own, and the noise is strong.
const Room kAutoExposure{60, 70, 150, 25, 12};

// Four light frames minus four dark ones, on the estimate's scale (red + 2
// green + blue), each pixel lit as far as the quad covers it (8 x 8 samples).
std::vector<int32_t> Difference(const Quad& q, const Room& room) {
    const int ring[4] = {0, 1, 3, 2};
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-room.noise, room.noise);
    std::vector<int32_t> d(kFramePixels, 0);
    for (int i = 0; i < kFramePixels; ++i) {
        int in = 0;
        for (int s = 0; s < 64; ++s) {
            const double px = i % kFrameWidth - 0.5 + (s % 8 + 0.5) / 8, py = i / kFrameWidth - 0.5 + (s / 8 + 0.5) / 8;
            bool inside = true;
            for (int k = 0; k < 4; ++k) {
                const int a = ring[k], b = ring[(k + 1) % 4];
                inside = inside && (q.x[b] - q.x[a]) * (py - q.y[a]) - (q.y[b] - q.y[a]) * (px - q.x[a]) >= 0;
            }
            in += inside;
        }
        const auto grey = [&](double screen, double surround) {
            return 4 * std::lround(
                           std::fmin(255, std::fmax(0, surround + in / 64.0 * (screen - surround) + noise(random))));
        };
        for (int f = 0; f < 4; ++f)
            d[i] += grey(room.lightScreen, room.lightSurround) - grey(room.darkScreen, room.darkSurround);
    }
    return d;
}

struct Case {
    const char* name;
    Quad quad;
    Room room;
    bool found;
};

const Case kCases[] = {
    {"mild_perspective", {{40.3, 610.6, 70.2, 590.8}, {69.4, 49.7, 419.5, 434.1}}, kDimRoom, true},
    {"strongly_slanted", {{120.7, 598.2, 25.4, 520.6}, {140.2, 20.9, 455.3, 330.4}}, kAutoExposure, true},
    {"small_and_far", {{230.2, 420.25, 240.75, 410.1}, {170.1, 175.25, 300.8, 310.75}}, kDimRoom, true},
    {"pointing_elsewhere", {{0, 0, 0, 0}, {0, 0, 0, 0}}, kDimRoom, false},
    {"past_the_left_edge", {{-40, 610, -20, 590}, {69, 49, 419, 434}}, kDimRoom, false},
    {"lens_covered", {{40, 610, 70, 590}, {69, 49, 419, 434}}, {20, 20, 20, 20, 0}, false},
};

// The quad is chosen through the pointer's own arithmetic, which moves it
// through the (here fake) platform.
class ScreenCornersTest : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override { FakeReset(); }
};

TEST_P(ScreenCornersTest, CornersWithinAQuarterPixelOrNone) {
    const Case& c = GetParam();
    ScreenCorners found{};
    ASSERT_EQ(EstimateScreenCorners(Difference(c.quad, c.room).data(), 4, &found), c.found);
    if (!c.found) return;
    int32_t quad[kCornerValues];
    ASSERT_TRUE(QuadFromScreenCorners(found, 1280, 800, quad));
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(found.x[k], c.quad.x[k], 0.25) << "corner " << k;
        EXPECT_NEAR(found.y[k], c.quad.y[k], 0.25) << "corner " << k;
        // Whole pixels next to the screen's corners.
        EXPECT_LT(std::fabs(quad[2 * k] - c.quad.x[k]), 1.0) << "corner " << k;
        EXPECT_LT(std::fabs(quad[2 * k + 1] - c.quad.y[k]), 1.0) << "corner " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Rooms, ScreenCornersTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScreenCornersQuarters, EachCornerInItsOwnQuarter) {
    int32_t quad[kCornerValues];
    // The right corners in the left half; a top corner past the top row.
    EXPECT_FALSE(QuadFromScreenCorners({{20, 300, 20, 300}, {20, 20, 400, 400}}, 1280, 800, quad));
    EXPECT_FALSE(QuadFromScreenCorners({{20, 400, 20, 400}, {20, 20, 400, 480}}, 1280, 800, quad));
    EXPECT_TRUE(QuadFromScreenCorners({{20, 400, 20, 400}, {20, 20, 400, 479.4}}, 1280, 800, quad));
}

}  // namespace
