// The GStreamer capture pipeline, without a window: the media rule on caps,
// the source choice, the first-format selection with conversion, and the
// frames that reach the Frame buffer.
#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "capture/gst_capture.h"
#include "state/platform.h"
#include "state/tracker_state.h"
#include "virtualcam/scene.h"

namespace {

int32_t Check(const char* caps) {
    GstCaps* const parsed = gst_caps_from_string(caps);
    const int32_t result = CheckCapsMediaType(parsed);
    gst_caps_unref(parsed);
    return result;
}

class GstCapture : public ::testing::Test {
protected:
    void SetUp() override {
        gst_init(nullptr, nullptr);
        frame_.assign(kFramePixels, 0xDEADBEEFu);
        g_tracker.frame.store(frame_.data());
        // GStreamer's streaming threads go back to its pool instead of being
        // joined, so a thread checker cannot see that Stop ordered their
        // last signal before a close: one event serves the whole run.
        static PlatformEvent* const event = PlatformCreateEvent();
        g_tracker.frameReady.store(event);
        ClearStatus(kFramePending);
        control_ = ::testing::TempDir() + "lumidart-gst-capture-test.txt";
        setenv("LUMIDART_VIRTUALCAM_CONTROL", control_.c_str(), 1);
        std::remove(control_.c_str());
    }

    void TearDown() override {
        PlatformCaptureStop();
        PlatformCaptureReleaseSource();
        PlatformCaptureReleasePipeline();
        g_tracker.frameReady.store(nullptr);
        g_tracker.frame.store(nullptr);
        unsetenv("LUMIDART_SOURCE");
        std::remove(control_.c_str());
    }

    static bool Start(const char* source) {
        setenv("LUMIDART_SOURCE", source, 1);
        PlatformCaptureCreatePipeline();
        if (!PlatformCaptureCreateSource()) return false;
        PlatformCaptureConnect();
        PlatformCaptureRun();
        return true;
    }

    // True once a frame has been handed over (FramePending set).
    static bool WaitForFrame() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!TestStatus(kFramePending)) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::vector<uint32_t> frame_;
    std::string control_;
};

TEST(GstCaps, OnlyPlainBgrxVideoPassesTheMediaRule) {
    gst_init(nullptr, nullptr);
    EXPECT_EQ(kResultOk, Check("video/x-raw, format=BGRx, width=640, height=480"));
    EXPECT_EQ(kResultOk, Check("video/x-raw, format=BGRx, width=640, height=480, interlace-mode=progressive, "
                               "pixel-aspect-ratio=1/1"));
    // Size is not part of the rule.
    EXPECT_EQ(kResultOk, Check("video/x-raw, format=BGRx, width=320, height=240"));
    // Interlacing or non-square pixels need the extended header: format type first.
    EXPECT_EQ(kResultInvalidArg, Check("video/x-raw, format=BGR, interlace-mode=interleaved"));
    EXPECT_EQ(kResultInvalidArg, Check("video/x-raw, format=BGRx, pixel-aspect-ratio=4/3"));
    EXPECT_EQ(kResultInvalidArg, Check("audio/x-raw, format=S16LE"));
    EXPECT_EQ(kResultFail, Check("video/x-raw, format=BGR"));
    EXPECT_EQ(kResultFail, Check("video/x-raw, format=BGRA"));
    EXPECT_EQ(kResultFail, Check("video/x-raw, format=YUY2"));
    EXPECT_EQ(kResultFail, Check("video/x-raw(memory:GLMemory), format=BGRx"));
    EXPECT_EQ(kResultFail, Check("video/x-bayer, format=rggb"));
}

TEST(GstCaps, MapsRawFormatsToSubtypes) {
    gst_init(nullptr, nullptr);
    GstCaps* const caps = gst_caps_from_string("video/x-raw, format=BGR");
    const CapsMediaType type = MapCapsToMediaType(caps);
    gst_caps_unref(caps);
    EXPECT_TRUE(type.formatType == kFormatVideoInfo);
    EXPECT_TRUE(type.majorType == kMediaTypeVideo);
    EXPECT_TRUE(type.subtype == kMediaSubtypeRGB24);
}

TEST_F(GstCapture, VirtualCameraFramesReachTheFrameBufferBottomUp) {
    // Noise 0 makes every frame the same, whichever index it has.
    {
        FILE* f = std::fopen(control_.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("noise 0\nspot_x 100\nspot_y 400\nwhite_size 20\n", f);
        std::fclose(f);
    }
    ASSERT_TRUE(Start("lumidartvirtualcam"));
    ASSERT_TRUE(WaitForFrame());

    SceneSettings expected;
    expected.noise = 0;
    expected.spotX = 100;
    expected.spotY = 400;
    expected.whiteSize = 20;
    std::vector<uint32_t> scene(kFramePixels);
    RenderScene(expected, 0, scene.data());
    int mismatches = 0;
    for (int i = 0; i < kFramePixels; ++i) mismatches += frame_[i] != scene[i];
    EXPECT_EQ(0, mismatches);
    // Row 400 of the frame holds the spot's core.
    EXPECT_EQ(0x00FA7D7Du, frame_[400 * kFrameWidth + 100]);
}

TEST_F(GstCapture, DescribedSourceIsConvertedAndScaled) {
    ASSERT_TRUE(Start("videotestsrc pattern=white ! capsfilter caps=video/x-raw,format=I420,width=320,height=240"));
    ASSERT_TRUE(WaitForFrame());
    // White through I420 is 0xFEFEFE or 0xFFFFFF, by rounding; the padding
    // byte is cleared.
    int nearWhite = 0;
    for (uint32_t p : frame_) nearWhite += p >= 0x00F8F8F8u && p <= 0x00FFFFFFu && (p & 0xF8F8u) == 0xF8F8u;
    EXPECT_EQ(kFramePixels, nearWhite);
}

// Like a camera that lists motion JPEG first, with discrete sizes.
TEST_F(GstCapture, MotionJpegSourceIsDecoded) {
    ASSERT_TRUE(Start("videotestsrc pattern=white ! capsfilter caps=video/x-raw,width=640,height=480,framerate=30/1"
                      " ! jpegenc ! capsfilter caps=image/jpeg,width=640,height=480,framerate=30/1"));
    ASSERT_TRUE(WaitForFrame());
    // Decoded, not garbage: every pixel a light grey (white's 235 survives
    // the limited-range encode), padding cleared.
    int lightGrey = 0;
    for (uint32_t p : frame_) {
        const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        lightGrey += (p >> 24) == 0 && r >= 0xD0 && r == g && g == b;
    }
    EXPECT_EQ(kFramePixels, lightGrey);
}

TEST_F(GstCapture, PropertiesOfTheDescribedSourceAreTheSettingsElement) {
    setenv("LUMIDART_SOURCE", "lumidartvirtualcam spot-x=123 noise=0", 1);
    PlatformCaptureCreatePipeline();
    ASSERT_TRUE(PlatformCaptureCreateSource());
    GstElement* const element = CaptureSettingsElement();
    ASSERT_NE(element, nullptr);
    gint spotX = 0;
    g_object_get(element, "spot-x", &spotX, nullptr);
    EXPECT_EQ(123, spotX);
}

TEST_F(GstCapture, StopEndsDeliveries) {
    ASSERT_TRUE(Start("lumidartvirtualcam"));
    ASSERT_TRUE(WaitForFrame());
    PlatformCaptureStop();
    ClearStatus(kFramePending);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(TestStatus(kFramePending));
}

TEST_F(GstCapture, MissingOrUnusableSourcesAreRefused) {
    for (const char* source : {"some-nonexistent-element", "lumidartvirtualcam no-such-property=1",
                               "v4l2src device=/dev/lumidart-no-such-device"}) {
        EXPECT_FALSE(Start(source)) << source;
        EXPECT_EQ(nullptr, CaptureSettingsElement()) << source;
        PlatformCaptureReleasePipeline();
    }
}

}  // namespace
