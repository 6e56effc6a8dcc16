#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "state/tracker_state.h"
#include "tracking/mapping.h"

namespace {

void SetQuad(const int32_t (&q)[kCornerValues], int32_t w, int32_t h) {
    ResetTrackerState();
    for (int i = 0; i < kCornerValues; ++i) g_tracker.corners[i].store(q[i]);
    g_tracker.screenWidth.store(w);
    g_tracker.screenHeight.store(h);
}

ScreenPoint Map(int32_t sumX, int32_t sumY) { return MapSpot({sumX, sumY}); }

// Relative agreement to 10 significant digits (absolute for tiny values).
void ExpectCoefficient(double actual, double expected) {
    const double tolerance = std::max(std::fabs(expected) * 6e-10, 1e-12);
    EXPECT_NEAR(actual, expected, tolerance);
}

#define EXPECT_POINT(spot, ex, ey) \
    do {                           \
        const ScreenPoint s_ = (spot); \
        EXPECT_EQ(s_.x, ex);       \
        EXPECT_EQ(s_.y, ey);       \
    } while (0)

TEST(MappingTest, DefaultQuadWorkedValues) {
    SetQuad({40, 40, 600, 40, 40, 440, 600, 440}, 1024, 768);
    SolveMapping();
    ExpectCoefficient(g_tracker.xu, 1.828114286);
    EXPECT_NEAR(g_tracker.xv, 0.0, 1e-12);
    ExpectCoefficient(g_tracker.yu, -0.0003428571429);
    ExpectCoefficient(g_tracker.yv, 1.92);
    ExpectCoefficient(g_tracker.wu, -4.464285714e-07);
    EXPECT_NEAR(g_tracker.wv, 0.0, 1e-15);

    EXPECT_POINT(Map(80, 80), 0, 768);
    EXPECT_POINT(Map(1200, 80), 1024, 768);
    EXPECT_POINT(Map(80, 880), 0, 0);
    EXPECT_POINT(Map(1200, 880), 1024, 0);
    EXPECT_POINT(Map(640, 480), 511, 384);
    EXPECT_POINT(Map(641, 481), 512, 383);
    EXPECT_POINT(Map(0, 0), 0, 768);
    EXPECT_POINT(Map(1278, 958), 1024, 0);
}

TEST(MappingTest, SlantedQuadWorkedValues) {
    SetQuad({60, 50, 590, 30, 30, 430, 620, 460}, 1024, 768);
    SolveMapping();
    ExpectCoefficient(g_tracker.xu, 2.176313316);
    ExpectCoefficient(g_tracker.xv, 0.1718142092);
    ExpectCoefficient(g_tracker.yu, 0.08462883695);
    ExpectCoefficient(g_tracker.yv, 2.242664179);
    ExpectCoefficient(g_tracker.wu, 0.0002434678985);
    ExpectCoefficient(g_tracker.wv, 0.0002990783421);

    EXPECT_POINT(Map(120, 100), 0, 768);
    EXPECT_POINT(Map(1180, 60), 1024, 768);
    EXPECT_POINT(Map(60, 860), 0, 0);
    EXPECT_POINT(Map(1240, 920), 1024, 0);
    EXPECT_POINT(Map(640, 480), 534, 367);
    EXPECT_POINT(Map(200, 100), 86, 764);
    EXPECT_POINT(Map(1200, 900), 994, 14);
}

TEST(MappingTest, RandomQuadsSendCornersToScreenCorners) {
    std::mt19937 rng(2026);
    std::uniform_int_distribution<int> left(0, 319), right(320, 639), low(1, 239), high(240, 480);
    for (int i = 0; i < 5000; ++i) {
        const int32_t q[kCornerValues] = {left(rng), low(rng), right(rng), low(rng),
                                          left(rng), high(rng), right(rng), high(rng)};
        const int32_t w = 640 + static_cast<int32_t>(rng() % 3200), h = 480 + static_cast<int32_t>(rng() % 2000);
        SetQuad(q, w, h);
        SolveMapping();
        const double coeffs[] = {g_tracker.xu, g_tracker.xv, g_tracker.yu, g_tracker.yv, g_tracker.wu, g_tracker.wv};
        bool finite = true;
        for (double c : coeffs) finite = finite && std::isfinite(c);
        if (!finite) continue;
        // A bottom side that is exactly level is solved with a 0.1-row tilt,
        // which moves P1 itself off the corner by a little.
        const int bottomTolerance = (q[kLowerRightY] == q[kLowerLeftY]) ? std::max(w, h) / 50 + 2 : 1;
        const struct {
            int corner;
            int32_t x, y;
            int tolerance;
        } expect[] = {{0, 0, h, 1}, {1, w, h, bottomTolerance}, {2, 0, 0, 1}, {3, w, 0, 1}};
        for (const auto& e : expect) {
            const ScreenPoint s = Map(2 * q[2 * e.corner], 2 * q[2 * e.corner + 1]);
            ASSERT_LE(std::abs(s.x - e.x), e.tolerance) << "quad " << i << " corner " << e.corner;
            ASSERT_LE(std::abs(s.y - e.y), e.tolerance) << "quad " << i << " corner " << e.corner;
        }
    }
}

TEST(MappingTest, OutputStaysOnScreenForAnySpot) {
    SetQuad({60, 50, 590, 30, 30, 430, 620, 460}, 1920, 1080);
    SolveMapping();
    for (int32_t y = -2000; y <= 3000; y += 37) {
        for (int32_t x = -2000; x <= 3000; x += 41) {
            const ScreenPoint s = Map(x, y);
            ASSERT_GE(s.x, 0);
            ASSERT_LE(s.x, 1920);
            ASSERT_GE(s.y, 0);
            ASSERT_LE(s.y, 1080);
        }
    }
}

TEST(MappingTest, DegenerateQuadsAndNaNCoefficientsStayDefined) {
    // P2 level with P0: the solve divides by zero.
    SetQuad({40, 40, 600, 40, 40, 40, 600, 440}, 1024, 768);
    SolveMapping();
    for (int32_t y = 0; y <= 960; y += 60) {
        for (int32_t x = 0; x <= 1280; x += 80) {
            const ScreenPoint s = Map(x, y);
            ASSERT_GE(s.x, 0);
            ASSERT_LE(s.x, 1024);
            ASSERT_GE(s.y, 0);
            ASSERT_LE(s.y, 768);
        }
    }
    // All corners in one point.
    SetQuad({100, 100, 100, 100, 100, 100, 100, 100}, 1024, 768);
    SolveMapping();
    const ScreenPoint p = Map(200, 200);
    EXPECT_GE(p.x, 0);
    EXPECT_LE(p.x, 1024);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    g_tracker.xu = g_tracker.xv = g_tracker.yu = g_tracker.yv = g_tracker.wu = g_tracker.wv = nan;
    EXPECT_POINT(Map(640, 480), 0, 0);
    EXPECT_POINT(Map(0, 0), 0, 0);

    const double inf = std::numeric_limits<double>::infinity();
    g_tracker.xu = inf;
    g_tracker.yu = -inf;
    g_tracker.xv = g_tracker.yv = g_tracker.wu = g_tracker.wv = 0.0;
    EXPECT_POINT(Map(400, 100), 1024, 768);
}

TEST(MappingTest, CornersAtTheInt32ExtremesStayDefined) {
    // Differences of such corners do not fit 32 bits (UBSan would stop here).
    const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
    SetQuad({lo, hi, hi, lo, lo, lo, hi, hi}, 1024, 768);
    SolveMapping();
    const ScreenPoint s = Map(640, 480);
    EXPECT_GE(s.x, 0);
    EXPECT_LE(s.x, 1024);
    EXPECT_GE(s.y, 0);
    EXPECT_LE(s.y, 768);
}

}  // namespace
