#include "analysis/exposure_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <set>
#include <vector>

#include "analysis/analysis_worker.h"
#include "app/main_window.h"
#include "fake_platform/fake_platform.h"
#include "preview/soft_picture.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"

namespace {

// A camera over the real analysis passes: each frame shows the value set
// `lag` frames before it, its box's highest red given by `peak`.
class ExposureSearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetTrackerState();
        FakeReset();
        g_tracker.mainWindow.store(FakeWindow());
        g_tracker.frame.store(SoftCreatePicture());
        SetDefaultCalibration();
        UpdateSearchBox();
        SetStatus(kGraphReady);
        StoreMode(kModePreview);
    }
    void TearDown() override {
        StopExposureSearch();
        g_tracker.frame.store(nullptr);
        SoftReleasePicture();
    }

    // One frame through the worker's pass, then the timer if it is due.
    void Frame() {
        shown_.push_back(g_fake.exposureControl.value);
        const int32_t value = shown_[shown_.size() > static_cast<size_t>(lag_) ? shown_.size() - 1 - lag_ : 0];
        const uint32_t red = std::min<uint32_t>(255, peak(value) + noise(frames_));
        uint32_t* const frame = g_tracker.frame.load();
        std::fill(frame, frame + kFramePixels, 0x00101010u);
        const SearchBox box = LoadSearchBox();
        frame[(box.yMin + 5) * kFrameWidth + box.xMin + 5] = red << 16;
        RunAnalysisPass();
        ++frames_;
        if (g_fake.exposureTimerArmed) {
            g_fake.exposureTimerArmed = false;
            OnExposureTimer();
        }
    }
    // Frames until the search ends; the count is kept.
    int RunToEnd(int limit = 1000) {
        int n = 0;
        while (ExposureSearchRunning() && n < limit) {
            Frame();
            ++n;
        }
        return n;
    }

    int lag_ = 3;
    std::function<uint32_t(int32_t)> peak = [](int32_t v) { return static_cast<uint32_t>(100 + 2 * v); };
    std::function<uint32_t(int)> noise = [](int) { return 0u; };
    std::vector<int32_t> shown_;
    int frames_ = 0;
};

TEST_F(ExposureSearchTest, FindsTheBrightestCleanValueDespiteLateControls) {
    // Automatic exposure left it bright: the first frames after each change
    // still show the value before.
    g_fake.exposureControl.value = 100;
    for (int i = 0; i < 5; ++i) Frame();
    OnKeyE();
    EXPECT_TRUE(ExposureSearchRunning());
    EXPECT_EQ(LoadMode(), kModeThreshold);
    const int frames = RunToEnd();
    EXPECT_FALSE(ExposureSearchRunning());
    // 100 + 2v <= 200: v = 50, in at most seven halvings of 0..100.
    EXPECT_EQ(g_fake.exposureControl.value, 50);
    EXPECT_LE(g_fake.exposureSets.size(), 8u);
    EXPECT_LE(frames, 8 * static_cast<int>(kExposureSettleFrames + kExposureStableFrames));
    EXPECT_FALSE(g_fake.exposureTimerArmed);
    const std::vector<std::string> calls = FakeCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "ExposureEnd"), 1);
    // What the camera shows once the last value has arrived is clean.
    for (int i = 0; i < lag_ + 2; ++i) Frame();
    EXPECT_LE(peak(shown_[shown_.size() - 1 - lag_]), kExposureRedLimit);
}

TEST_F(ExposureSearchTest, StaysOnTheControlsStepsAndRange) {
    g_fake.exposureControl = {3, 2047, 4, 2047};
    peak = [](int32_t v) { return static_cast<uint32_t>(v / 4); };
    OnKeyE();
    RunToEnd();
    for (int32_t v : g_fake.exposureSets) {
        EXPECT_EQ((v - 3) % 4, 0) << v;
        EXPECT_GE(v, 3);
        EXPECT_LE(v, 2047);
    }
    // v / 4 <= 200 up to 803, the last step on the grid (3 + 4k).
    EXPECT_EQ(g_fake.exposureControl.value, 803);

    // The whole 32-bit range, in 32 halvings.
    FakeReset();
    StoreMode(kModePreview);
    g_fake.exposureControl = {INT32_MIN, INT32_MAX, 1, INT32_MAX};
    peak = [](int32_t v) { return v <= 1000 ? 100u : 255u; };
    OnKeyE();
    RunToEnd(2000);
    EXPECT_EQ(g_fake.exposureControl.value, 1000) << testing::PrintToString(g_fake.exposureSets);
    EXPECT_LE(g_fake.exposureSets.size(), 33u);
}

TEST_F(ExposureSearchTest, NeverBrighterThanTheCameraWas) {
    // Clean already (100 + 2 * 40 <= 200): the search keeps it.
    g_fake.exposureControl.value = 40;
    OnKeyE();
    RunToEnd();
    EXPECT_EQ(g_fake.exposureControl.value, 40);
    EXPECT_TRUE(std::all_of(g_fake.exposureSets.begin(), g_fake.exposureSets.end(), [](int32_t v) { return v <= 40; }))
        << testing::PrintToString(g_fake.exposureSets);
}

TEST_F(ExposureSearchTest, ABrightJudgedFrameRejectsItsValue) {
    // The answer is darker than the noise-free one, and still clean.
    noise = [](int frame) { return frame == 1 + static_cast<int>(kExposureSettleFrames) ? 120u : 0u; };
    OnKeyE();
    RunToEnd();
    EXPECT_LT(g_fake.exposureControl.value, 50);
    EXPECT_LE(peak(g_fake.exposureControl.value), kExposureRedLimit);
}

TEST_F(ExposureSearchTest, ABrightFrameWhileTheChangeSettlesIsNotHeldAgainstIt) {
    noise = [](int frame) { return frame == 1 ? 120u : 0u; };
    OnKeyE();
    RunToEnd();
    EXPECT_EQ(g_fake.exposureControl.value, 50);
}

TEST_F(ExposureSearchTest, ARangeOfOneValueEndsAtOnce) {
    g_fake.exposureControl = {7, 7, 1, 7};
    OnKeyE();
    EXPECT_LE(RunToEnd(), 1);
    EXPECT_EQ(g_fake.exposureControl.value, 7);
    EXPECT_TRUE(std::all_of(g_fake.exposureSets.begin(), g_fake.exposureSets.end(), [](int32_t v) { return v == 7; }));
}

TEST_F(ExposureSearchTest, EveryStopKeyLeavesTheCameraWhereItIs) {
    const std::vector<std::pair<const char*, void (*)()>> stops = {
        {"E", OnKeyE}, {"Tab", OnKeyTab}, {"Esc", OnKeyEscape}, {"F12", OnKeyF12}, {"minimise", OnMinimized}};
    for (const auto& [name, stop] : stops) {
        FakeReset();
        StoreMode(kModePreview);
        OnKeyE();
        for (int i = 0; i < 8; ++i) Frame();
        ASSERT_TRUE(ExposureSearchRunning()) << name;
        const size_t sets = g_fake.exposureSets.size();
        const int32_t where = g_fake.exposureControl.value;
        stop();
        EXPECT_FALSE(ExposureSearchRunning()) << name;
        EXPECT_FALSE(g_fake.exposureTimerArmed) << name;
        StoreMode(kModePreview);
        for (int i = 0; i < 20; ++i) Frame();
        EXPECT_EQ(g_fake.exposureSets.size(), sets) << name;
        EXPECT_EQ(g_fake.exposureControl.value, where) << name;
    }
}

TEST_F(ExposureSearchTest, NothingWithoutControlsWhileTrackingOrWithoutFrames) {
    g_fake.exposureAvailable = false;
    OnKeyE();
    EXPECT_FALSE(ExposureSearchRunning());
    EXPECT_EQ(LoadMode(), kModePreview);
    EXPECT_TRUE(g_fake.exposureSets.empty());

    g_fake.exposureAvailable = true;
    StoreMode(kModeTracking);
    OnKeyE();
    EXPECT_FALSE(ExposureSearchRunning());
    EXPECT_EQ(LoadMode(), kModeTracking);

    // A camera that stops delivering ends the search where it is.
    StoreMode(kModePreview);
    OnKeyE();
    ASSERT_TRUE(ExposureSearchRunning());
    for (int ms = 0; ms <= kExposureStallMs && ExposureSearchRunning(); ms += kExposureTickMs) OnExposureTimer();
    EXPECT_FALSE(ExposureSearchRunning());
    EXPECT_EQ(g_fake.exposureSets.size(), 1u);
}

// The view word's count and red change together, and taking it clears
// only the red.
TEST(ViewWatchTest, CountsFramesAndRaisesThePeak) {
    ResetTrackerState();
    std::vector<uint32_t> frame(kFramePixels, 0x00202020u);
    g_tracker.frame.store(frame.data());
    g_tracker.xMin.store(10);
    g_tracker.xMax.store(20);
    g_tracker.yMin.store(10);
    g_tracker.yMax.store(20);
    frame[15 * kFrameWidth + 15] = 0x00C80000u;  // red 200 inside
    frame[30 * kFrameWidth + 30] = 0x00FF0000u;  // outside the box
    StoreMode(kModeThreshold);
    FakeReset();
    RunAnalysisPass();
    frame.assign(kFramePixels, 0x00202020u);
    RunAnalysisPass();
    const uint32_t word = g_tracker.viewWatch.load();
    EXPECT_EQ(word >> kViewCountShift, 2u);
    EXPECT_EQ(word & kViewRedMask, 200u);
    StoreMode(kModeTracking);
    RunAnalysisPass();
    EXPECT_EQ(g_tracker.viewWatch.load() >> kViewCountShift, 2u);
    g_tracker.frame.store(nullptr);
}

}  // namespace
