#include "tracking/screen_corners.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "fake_platform/fake_platform.h"

namespace {

struct Quad {
    double x[4], y[4];  // lower-left, lower-right, upper-left, upper-right
};

// How much of each pixel the quad covers, from 8 x 8 samples.
std::vector<double> Coverage(const Quad& q) {
    const int ring[4] = {0, 1, 3, 2};
    std::vector<double> cover(kFramePixels);
    for (int row = 0; row < kFrameHeight; ++row) {
        for (int x = 0; x < kFrameWidth; ++x) {
            int in = 0;
            for (int s = 0; s < 64; ++s) {
                const double px = x - 0.5 + (s % 8 + 0.5) / 8, py = row - 0.5 + (s / 8 + 0.5) / 8;
                bool inside = true;
                for (int k = 0; k < 4 && inside; ++k) {
                    const int a = ring[k], b = ring[(k + 1) % 4];
                    inside = (q.x[b] - q.x[a]) * (py - q.y[a]) - (q.y[b] - q.y[a]) * (px - q.x[a]) >= 0;
                }
                in += inside;
            }
            cover[row * kFrameWidth + x] = in / 64.0;
        }
    }
    return cover;
}

struct Room {
    double darkScreen, darkSurround, lightScreen, lightSurround;  // grey levels per frame
    int noise;                                                    // uniform, +- per channel
};

// frames light frames minus as many dark ones, on the estimate's
// brightness scale (red + 2 green + blue).
std::vector<int32_t> Difference(const std::vector<double>& cover, const Room& room, int frames) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-room.noise, room.noise);
    const auto grey = [&](double screen, double surround, double c) {
        const double v = surround + c * (screen - surround) + noise(random);
        return 4 * static_cast<int32_t>(std::lround(std::fmin(255, std::fmax(0, v))));
    };
    std::vector<int32_t> d(kFramePixels, 0);
    for (int f = 0; f < frames; ++f) {
        for (int i = 0; i < kFramePixels; ++i) {
            d[i] += grey(room.lightScreen, room.lightSurround, cover[i]) - grey(room.darkScreen, room.darkSurround, cover[i]);
        }
    }
    return d;
}

const Room kDimRoom{30, 45, 210, 40, 6};
// Automatic exposure: the white screen darkens everything else below the
// dark frames' surround, and the noise is strong.
const Room kAutoExposure{60, 70, 150, 25, 12};

struct Case {
    const char* name;
    Quad quad;
    Room room;
};

const Case kCases[] = {
    {"mild perspective", {{40.3, 610.6, 70.2, 590.8}, {69.4, 49.7, 419.5, 434.1}}, kDimRoom},
    {"strongly slanted", {{120.7, 598.2, 25.4, 520.6}, {140.2, 20.9, 455.3, 330.4}}, kAutoExposure},
    {"small and far", {{230.2, 420.25, 240.75, 410.1}, {170.1, 175.25, 300.8, 310.75}}, kDimRoom},
};

// The quad is chosen through the pointer's own arithmetic, which moves it
// through the (here fake) platform.
class ScreenCornersTest : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override { FakeReset(); }
};

TEST_P(ScreenCornersTest, CornersWithinAQuarterPixel) {
    const Case& c = GetParam();
    const std::vector<int32_t> d = Difference(Coverage(c.quad), c.room, 4);
    ScreenCorners found{};
    ASSERT_TRUE(EstimateScreenCorners(d.data(), 4, &found));
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(found.x[k], c.quad.x[k], 0.25) << "corner " << k;
        EXPECT_NEAR(found.y[k], c.quad.y[k], 0.25) << "corner " << k;
    }
    int32_t quad[kCornerValues];
    ASSERT_TRUE(QuadFromScreenCorners(found, 1280, 800, quad));
    // Whole pixels next to the screen's corners.
    for (int k = 0; k < 4; ++k) {
        EXPECT_LT(std::fabs(quad[2 * k] - c.quad.x[k]), 1.0) << "corner " << k;
        EXPECT_LT(std::fabs(quad[2 * k + 1] - c.quad.y[k]), 1.0) << "corner " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Rooms, ScreenCornersTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name) ch = ch == ' ' ? '_' : ch;
                             return name;
                         });

TEST(ScreenCornersFailure, NothingToFind) {
    const Quad screen = kCases[0].quad;
    // Lens covered, the camera pointing elsewhere, the screen reaching past
    // the picture's left edge.
    const std::vector<int32_t> covered(kFramePixels, 0);
    const std::vector<int32_t> elsewhere = Difference(std::vector<double>(kFramePixels, 0), kDimRoom, 4);
    const Quad beyond{{-40, 610, -20, 590}, {69, 49, 419, 434}};
    const std::vector<int32_t> cut = Difference(Coverage(beyond), kDimRoom, 4);
    ScreenCorners found{};
    EXPECT_FALSE(EstimateScreenCorners(covered.data(), 4, &found));
    EXPECT_FALSE(EstimateScreenCorners(elsewhere.data(), 4, &found));
    EXPECT_FALSE(EstimateScreenCorners(cut.data(), 4, &found));
    EXPECT_TRUE(EstimateScreenCorners(Difference(Coverage(screen), kDimRoom, 4).data(), 4, &found));
}

TEST(ScreenCornersFailure, QuarterRule) {
    int32_t quad[kCornerValues];
    // A screen wholly in the picture's left half: its right corners are not
    // in the right quarters.
    EXPECT_FALSE(QuadFromScreenCorners({{20, 300, 20, 300}, {20, 20, 400, 400}}, 1280, 800, quad));
    EXPECT_FALSE(QuadFromScreenCorners({{20, 400, 20, 400}, {20, 20, 400, 480}}, 1280, 800, quad));
    EXPECT_TRUE(QuadFromScreenCorners({{20, 400, 20, 400}, {20, 20, 400, 479.4}}, 1280, 800, quad));
}

}  // namespace
