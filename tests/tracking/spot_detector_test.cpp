#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tracking/naive_spot_scan.h"
#include "tracking/spot_detector.h"

namespace {

class Frame {
  public:
    Frame() : pixels_(kFramePixels, 0) {}
    void SetRed(int x, int y, uint32_t red) { pixels_[y * kFrameWidth + x] = red << 16; }
    uint32_t& At(int x, int y) { return pixels_[y * kFrameWidth + x]; }
    const uint32_t* data() const { return pixels_.data(); }
    std::vector<uint32_t>& pixels() { return pixels_; }

  private:
    std::vector<uint32_t> pixels_;
};

void ExpectFound(SpotResult r, int32_t sumX, int32_t sumY) {
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.sumX, sumX);
    EXPECT_EQ(r.sumY, sumY);
}

const SearchBox kDefaultBox{40, 600, 40, 440};

TEST(SpotDetectorTest, FloorIsStrict) {
    Frame f;
    EXPECT_FALSE(DetectSpot(f.data(), kDefaultBox).found);
    f.SetRed(300, 200, 224);
    EXPECT_FALSE(DetectSpot(f.data(), kDefaultBox).found);
    f.SetRed(301, 201, 225);
    ExpectFound(DetectSpot(f.data(), kDefaultBox), 602, 402);
}

TEST(SpotDetectorTest, WorkedExample) {
    Frame f;
    f.SetRed(100, 10, 230);
    f.SetRed(101, 10, 240);
    f.SetRed(102, 10, 240);
    f.SetRed(100, 11, 240);
    f.SetRed(101, 11, 239);
    f.SetRed(102, 11, 0);
    ExpectFound(DetectSpot(f.data(), {100, 102, 10, 11}), 202, 21);
}

TEST(SpotDetectorTest, OnlyRedCountsAndBoundsAreInclusive) {
    Frame f;
    f.At(40, 40) = 0x00FFFFFF;  // white is red 255
    f.At(600, 440) = 0xFFFF0000;  // top byte ignored
    f.At(300, 300) = 0x0000FFFF;  // green and blue count as red 0
    ExpectFound(DetectSpot(f.data(), kDefaultBox), 640, 480);

    Frame g;
    g.At(70, 70) = 0xAAE1BBCC;  // red 225 with a top byte
    ExpectFound(DetectSpot(g.data(), kDefaultBox), 140, 140);
    ExpectFound(DetectSpot(g.data(), {70, 70, 70, 70}), 140, 140);
    EXPECT_FALSE(DetectSpot(g.data(), {71, 71, 70, 70}).found);
}

TEST(SpotDetectorTest, EmptyBoxesFindNothing) {
    Frame f;
    for (auto& p : f.pixels()) p = 0x00FF0000;
    EXPECT_FALSE(DetectSpot(f.data(), {100, 99, 10, 20}).found);
    EXPECT_FALSE(DetectSpot(f.data(), {10, 20, 100, 99}).found);
    EXPECT_FALSE(DetectSpot(f.data(), {700, 900, 10, 20}).found);
    EXPECT_FALSE(DetectSpot(f.data(), {-50, -1, 10, 20}).found);
    EXPECT_FALSE(DetectSpot(nullptr, kDefaultBox).found);
}

TEST(SpotDetectorTest, BoxOutsideFrameIsClipped) {
    Frame f;
    f.SetRed(639, 479, 250);
    f.SetRed(0, 0, 250);
    // Row 480 from a click, 65535 from the file, negatives: all clipped.
    ExpectFound(DetectSpot(f.data(), {0, 65535, 0, 65535}), 639, 479);
    ExpectFound(DetectSpot(f.data(), {-100, 639, -5, 480}), 639, 479);
    ExpectFound(DetectSpot(f.data(), {-2147483647 - 1, 2147483647, -2147483647 - 1, 2147483647}), 639, 479);
}

// Random frames and boxes against the pixel-by-pixel oracle. Reds are drawn
// near the floor (224/225) and at a few shared maxima so that ties are common.
TEST(SpotDetectorTest, MatchesNaiveScanOnRandomFrames) {
    std::mt19937 rng(1234);
    Frame f;
    const uint32_t reds[] = {0, 100, 223, 224, 225, 226, 240, 254, 255};
    for (int round = 0; round < 600; ++round) {
        const int style = round % 4;
        for (auto& p : f.pixels()) {
            uint32_t red;
            if (style == 0) {
                red = rng() % 256;
            } else if (style == 1) {
                red = reds[rng() % 9];
            } else {
                red = (rng() % 1000 == 0) ? reds[4 + rng() % 5] : static_cast<uint32_t>(rng() % 225);
            }
            p = (rng() & 0xFF00FFFFu) | (red << 16);
        }
        SearchBox box;
        switch (round % 5) {
            case 0: box = kDefaultBox; break;
            case 1: {  // one pixel
                const int32_t x = static_cast<int32_t>(rng() % 640), y = static_cast<int32_t>(rng() % 480);
                box = {x, x, y, y};
                break;
            }
            case 2:  // may be empty or reach outside the frame
                box = {static_cast<int32_t>(rng() % 900) - 100, static_cast<int32_t>(rng() % 900) - 100,
                       static_cast<int32_t>(rng() % 700) - 100, static_cast<int32_t>(rng() % 700) - 100};
                break;
            case 3: {  // narrow columns exercise the vector tails
                const int32_t x = static_cast<int32_t>(rng() % 600);
                const int32_t y = static_cast<int32_t>(rng() % 400);
                box = {x, x + static_cast<int32_t>(rng() % 23), y, y + static_cast<int32_t>(rng() % 80)};
                break;
            }
            default: box = {0, 639, 0, 479};
        }
        const SpotResult expected = NaiveSpotScan(f.data(), box);
        const SpotResult actual = DetectSpot(f.data(), box);
        ASSERT_EQ(actual.found, expected.found) << "round " << round;
        if (expected.found) {
            ASSERT_EQ(actual.sumX, expected.sumX) << "round " << round;
            ASSERT_EQ(actual.sumY, expected.sumY) << "round " << round;
        }
    }
}

TEST(SpotDetectorTest, SeparateSpotsOfEqualRedSpanOneBox) {
    Frame f;
    f.SetRed(100, 100, 255);
    f.SetRed(500, 300, 255);
    f.SetRed(300, 200, 254);
    ExpectFound(DetectSpot(f.data(), kDefaultBox), 600, 400);
    // A later, higher red drops the box collected at the lower level.
    Frame g;
    g.SetRed(100, 100, 250);
    g.SetRed(500, 300, 250);
    g.SetRed(50, 400, 255);
    ExpectFound(DetectSpot(g.data(), kDefaultBox), 100, 800);
}

}  // namespace
