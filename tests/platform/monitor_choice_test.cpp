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

}  // namespace
