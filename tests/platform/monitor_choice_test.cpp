#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/monitor_choice.h"

namespace {

MonitorEntry Monitor(const std::string& name, const std::string& output, MonitorRect rect, bool primary) {
    return {{name, output}, rect, primary};
}

// A laptop (primary) with a projector to its right, listed projector first.
const std::vector<MonitorEntry> kLaptopAndProjector = {
    Monitor("projector", "HDMI-1", {1366, 0, 1920, 1080}, false),
    Monitor("laptop", "eDP-1", {0, 0, 1366, 768}, true),
};

TEST(MonitorChoiceTest, DefaultIsThePrimaryElseTheFirst) {
    EXPECT_EQ(ChooseMonitor(kLaptopAndProjector, "").index, 1);
    std::vector<MonitorEntry> noPrimary = kLaptopAndProjector;
    noPrimary[1].primary = false;
    EXPECT_EQ(ChooseMonitor(noPrimary, "").index, 0);
    const MonitorChoice none = ChooseMonitor({}, "");
    EXPECT_EQ(none.index, -1);
    EXPECT_FALSE(none.unknown);
}

TEST(MonitorChoiceTest, ByNumberInListOrderOrByAnyName) {
    EXPECT_EQ(ChooseMonitor(kLaptopAndProjector, "1").index, 0);
    EXPECT_EQ(ChooseMonitor(kLaptopAndProjector, "2").index, 1);
    EXPECT_EQ(ChooseMonitor(kLaptopAndProjector, "projector").index, 0);
    EXPECT_EQ(ChooseMonitor(kLaptopAndProjector, "eDP-1").index, 1);
    EXPECT_FALSE(ChooseMonitor(kLaptopAndProjector, "HDMI-1").unknown);
}

TEST(MonitorChoiceTest, UnknownFallsBackToThePrimary) {
    for (const char* wanted : {"3", "0", "-1", "01", "HDMI-2", "hdmi-1", " 1", "99999999999"}) {
        const MonitorChoice choice = ChooseMonitor(kLaptopAndProjector, wanted);
        EXPECT_EQ(choice.index, 1) << wanted;
        EXPECT_TRUE(choice.unknown) << wanted;
    }
    EXPECT_TRUE(ChooseMonitor({}, "2").unknown);
}

TEST(MonitorChoiceTest, AbsolutePositionsSpanTheMonitorFromItsOrigin) {
    EXPECT_EQ(AbsoluteToPixel(0, 1366, 1920), 1366);
    EXPECT_EQ(AbsoluteToPixel(65535, 1366, 1920), 1366 + 1919);
    EXPECT_EQ(AbsoluteToPixel(32768, -1024, 1024), -512);
    EXPECT_EQ(AbsoluteToPixel(65535, 0, 1), 0);
}

struct Desktop {
    const char* what;
    MonitorRect desktop;
    MonitorRect monitor;
};

TEST(MonitorChoiceTest, VirtualDesktopPositionLandsOnEveryPixelOfTheMonitor) {
    const Desktop layouts[] = {
        {"projector right of laptop", {0, 0, 3286, 1080}, {1366, 0, 1920, 1080}},
        {"projector left of primary", {-1920, 0, 3286, 1080}, {-1920, 0, 1920, 1080}},
        {"primary itself", {-1920, 0, 3286, 1080}, {0, 0, 1366, 768}},
        {"stacked above", {0, -1200, 1920, 1968}, {0, -1200, 1920, 1200}},
        {"three wide, odd sizes", {-1280, -37, 7681, 1377}, {2561, 100, 3840, 1240}},
        {"largest desktop served", {0, 0, 16384, 16384}, {12288, 12288, 4096, 4096}},
    };
    for (const Desktop& l : layouts) {
        SCOPED_TRACE(l.what);
        const MonitorRect& d = l.desktop;
        for (int axis = 0; axis < 2; ++axis) {
            const int32_t deskOrigin = axis == 0 ? d.left : d.top;
            const int32_t deskSize = axis == 0 ? d.width : d.height;
            const int32_t origin = axis == 0 ? l.monitor.left : l.monitor.top;
            const int32_t size = axis == 0 ? l.monitor.width : l.monitor.height;
            int failures = 0;
            for (int32_t p = origin; p < origin + size && failures < 3; ++p) {
                const int64_t n = VirtualDesktopPosition(p, deskOrigin, deskSize);
                ASSERT_GE(n, 0);
                ASSERT_LE(n, 65535);
                // Truncating and rounding conversions both reach the pixel.
                const int64_t truncated = deskOrigin + n * deskSize / 65536;
                const int64_t rounded = deskOrigin + std::llround(static_cast<double>(n) * deskSize / 65535.0 - 1e-9);
                if (truncated != p || rounded != p) {
                    ADD_FAILURE() << "axis " << axis << " pixel " << p << " -> " << n << " -> " << truncated << ", "
                                  << rounded;
                    ++failures;
                }
            }
        }
    }
}

TEST(MonitorChoiceTest, VirtualDesktopPositionStaysInRange) {
    EXPECT_EQ(VirtualDesktopPosition(-5, 0, 1920), 0);
    EXPECT_EQ(VirtualDesktopPosition(5000, 0, 1920), 65535);
    EXPECT_EQ(VirtualDesktopPosition(10, 0, 0), 0);
}

TEST(MonitorChoiceTest, BoundsHoldEveryMonitor) {
    const MonitorRect b = MonitorBounds(kLaptopAndProjector);
    EXPECT_EQ((std::vector<int32_t>{b.left, b.top, b.width, b.height}), (std::vector<int32_t>{0, 0, 3286, 1080}));
    const MonitorRect odd = MonitorBounds({Monitor("a", "A", {-1280, 100, 1280, 1024}, true),
                                           Monitor("b", "B", {0, -37, 1023, 767}, false)});
    EXPECT_EQ((std::vector<int32_t>{odd.left, odd.top, odd.width, odd.height}),
              (std::vector<int32_t>{-1280, -37, 2303, 1161}));
    const MonitorRect none = MonitorBounds({});
    EXPECT_EQ(none.width, 0);
    EXPECT_EQ(none.height, 0);
}

// Where a pointer stack puts an absolute axis value over a box: the
// value's share of the device's range, 0..65535, times the box, on whole
// pixels.
int64_t LandsOn(int64_t value, int64_t origin, int64_t size) { return origin + (value - 0) * size / (65535 - 0 + 1); }

struct Layout {
    const char* what;
    std::vector<MonitorRect> monitors;
};

TEST(MonitorChoiceTest, DeviceAxisValueLandsOnEveryPixelOfEachMonitor) {
    const Layout layouts[] = {
        {"1280 x 800 and 1024 x 768 side by side", {{0, 0, 1280, 800}, {1280, 0, 1024, 768}}},
        {"one 1920 x 1080", {{0, 0, 1920, 1080}}},
        {"odd sizes, offset and stacked", {{0, 0, 1367, 769}, {211, 769, 1023, 601}, {1367, 5, 3, 1}}},
        {"projector left of the origin", {{-1920, 0, 1920, 1080}, {0, 0, 1366, 768}}},
        {"widest box with a value per pixel", {{0, 0, 32768, 1}, {32768, 0, 32768, 65536}}},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.what);
        std::vector<MonitorEntry> entries;
        for (const MonitorRect& m : l.monitors) entries.push_back({{}, m, false});
        const MonitorRect box = MonitorBounds(entries);
        for (const MonitorRect& m : l.monitors) {
            for (int axis = 0; axis < 2; ++axis) {
                const int32_t origin = axis == 0 ? box.left : box.top;
                const int32_t size = axis == 0 ? box.width : box.height;
                const int32_t first = axis == 0 ? m.left : m.top;
                const int32_t count = axis == 0 ? m.width : m.height;
                int failures = 0;
                for (int32_t p = first; p < first + count && failures < 3; ++p) {
                    const int32_t v = DeviceAxisValue(p, origin, size, -1);
                    // Sent twice, a position is a change all the same where
                    // the pixel has more than one value.
                    const int32_t again = DeviceAxisValue(p, origin, size, v);
                    const bool roomy = size <= 32768;
                    if (v < 0 || v > 65535 || LandsOn(v, origin, size) != p || LandsOn(again, origin, size) != p ||
                        (roomy && again == v) || DeviceAxisValue(p, origin, size, again) != v) {
                        ADD_FAILURE() << "axis " << axis << " pixel " << p << " -> " << v << ", " << again;
                        ++failures;
                    }
                }
            }
        }
    }
}

TEST(MonitorChoiceTest, DeviceAxisValueAtTheMeasuredPointAndAtTheEnds) {
    // Measured: 32768, 8192 landed on (1152, 100) over a 2304 x 800 box;
    // the value sent is the middle of that pixel's 29 and 82 values.
    EXPECT_EQ(LandsOn(32768, 0, 2304), 1152);
    EXPECT_EQ(LandsOn(8192, 0, 800), 100);
    EXPECT_EQ(DeviceAxisValue(1152, 0, 2304, -1) - 32768, 14);
    EXPECT_EQ(DeviceAxisValue(100, 0, 800, -1) - 8192, 40);
    EXPECT_EQ(DeviceAxisValue(-5, 0, 1920, -1), DeviceAxisValue(0, 0, 1920, -1));
    EXPECT_EQ(DeviceAxisValue(5000, 0, 1920, -1), DeviceAxisValue(1919, 0, 1920, -1));
    EXPECT_EQ(DeviceAxisValue(10, 0, 0, -1), 0);
    // A box wider than the axis: the next value, none beyond 65535.
    EXPECT_EQ(DeviceAxisValue(99999, 0, 100000, -1), 65535);
    EXPECT_EQ(LandsOn(DeviceAxisValue(50000, 0, 100000, -1), 0, 100000), 50000);
}

}  // namespace
