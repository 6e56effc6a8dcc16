#include <gtest/gtest.h>

#include <vector>

#include "capture/stream_capability.h"

namespace {

constexpr int64_t k30 = 333333, k15 = 666666, k5 = 2000000, k60 = 166666;

int Choose(const std::vector<StreamCapability>& list) {
    return ChooseStreamCapability(list.data(), static_cast<int>(list.size()));
}

TEST(StreamCapabilityTest, FirstIsKeptWhenItHasTheFrameSizeWhateverItsRate) {
    EXPECT_EQ(Choose({{640, 480, k5}, {640, 480, k60}}), 0);
    EXPECT_EQ(Choose({{640, 480, k15}, {1280, 720, k30}, {640, 480, k30}}), 0);
}

TEST(StreamCapabilityTest, OtherwiseTheFastestOfTheFrameSizeFirstListedOnTies) {
    // A 1080p camera whose first mode is its largest.
    EXPECT_EQ(Choose({{1920, 1080, k5}, {1280, 720, k15}, {640, 480, k15}, {640, 480, k30}, {640, 480, k30},
                      {320, 240, k30}}),
              3);
    // An unstated rate counts as the slowest.
    EXPECT_EQ(Choose({{1280, 720, k30}, {640, 480, 0}, {640, 480, k15}}), 2);
    EXPECT_EQ(Choose({{1280, 720, k30}, {640, 480, 0}, {640, 480, -1}}), 1);
    // Wine's capture filter on a webcam: every rate unstated.
    EXPECT_EQ(Choose({{320, 180, 0}, {640, 360, 0}, {640, 480, 0}, {1280, 720, 0}, {1920, 1080, 0}, {3840, 2160, 0}}),
              2);
    EXPECT_EQ(Choose({{1280, 720, k30}, {640, 480, k30}}), 1);
}

TEST(StreamCapabilityTest, NoneOfTheFrameSizeAppliesNothing) {
    EXPECT_EQ(Choose({{1280, 720, k30}, {1920, 1080, k30}, {480, 640, k30}, {640, 479, k30}, {641, 480, k30},
                      {640, -480, k30}}),
              -1);
    EXPECT_EQ(Choose({}), -1);
    EXPECT_EQ(ChooseStreamCapability(nullptr, 3), -1);
}

}  // namespace
