// The GStreamer capture pipeline, without a window: the media rule on caps,
// the source choice, the first-format selection with conversion, and the
// frames that reach the Frame buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gst/base/gstbasetransform.h>
#include <gst/video/video.h>

#include "capture/gst_capture.h"
#include "state/platform.h"
#include "state/tracker_state.h"
#include "virtualcam/gst_virtualcam.h"
#include "virtualcam/scene.h"

// No window here: a camera that goes away has no console to restore.
bool PlatformIsKeyDown(PlatformKey) { return false; }
void PlatformRestoreWindow(PlatformWindow*) {}

namespace {

bool Accepts(const char* caps) {
    GstCaps* const parsed = gst_caps_from_string(caps);
    const bool accepted = AcceptsFrameCaps(parsed);
    gst_caps_unref(parsed);
    return accepted;
}

class GstCapture : public ::testing::Test {
protected:
    void SetUp() override {
        gst_init(nullptr, nullptr);
        ASSERT_TRUE(RegisterVirtualCameraElement());
        frame_.assign(kFramePixels, 0xDEADBEEFu);
        g_tracker.frame.store(frame_.data());
        // GStreamer's streaming threads go back to its pool instead of being
        // joined, so a thread checker cannot see that Stop ordered their
        // last signal before a close: one event serves the whole run.
        static PlatformEvent* const event = PlatformCreateEvent();
        g_tracker.frameReady.store(event);
        ClearStatus(kFramePending);
        // Whole pictures: while tracking, only the red of the Search box is
        // converted.
        StoreMode(kModePreview);
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

TEST(GstCaps, OnlyWhole640x480BgrxOrPackedYuvFramesPassTheMediaRule) {
    gst_init(nullptr, nullptr);
    EXPECT_TRUE(Accepts("video/x-raw, format=BGRx, width=640, height=480"));
    // Pixel shape and interlacing do not change what the copy reads.
    EXPECT_TRUE(Accepts("video/x-raw, format=BGRx, width=640, height=480, pixel-aspect-ratio=4/3"));
    EXPECT_TRUE(Accepts("video/x-raw, format=BGRx, width=640, height=480, interlace-mode=interleaved"));
    EXPECT_FALSE(Accepts("video/x-raw, format=BGRx, width=320, height=240"));
    EXPECT_FALSE(Accepts("video/x-raw, format=BGRx, width=1280, height=720"));
    EXPECT_FALSE(Accepts("video/x-raw, format=BGRx, width=480, height=640"));
    EXPECT_FALSE(Accepts("video/x-raw, format=BGRx"));
    EXPECT_FALSE(Accepts("video/x-raw, format={ BGRx, BGR }, width=640, height=480"));
    EXPECT_FALSE(Accepts("video/x-raw, format=BGR, width=640, height=480"));
    EXPECT_FALSE(Accepts("video/x-raw, format=BGRA, width=640, height=480"));
    EXPECT_TRUE(Accepts("video/x-raw, format=YUY2, width=640, height=480"));
    EXPECT_TRUE(Accepts("video/x-raw, format=UYVY, width=640, height=480, colorimetry=bt709"));
    EXPECT_FALSE(Accepts("video/x-raw, format=YUY2, width=1280, height=720"));
    EXPECT_FALSE(Accepts("video/x-raw, format=YVYU, width=640, height=480"));
    EXPECT_FALSE(Accepts("video/x-raw, format=I420, width=640, height=480"));
    EXPECT_FALSE(Accepts("video/x-raw(memory:GLMemory), format=BGRx, width=640, height=480"));
    EXPECT_FALSE(Accepts("image/jpeg, width=640, height=480"));
    EXPECT_FALSE(Accepts("audio/x-raw, format=S16LE"));
    EXPECT_FALSE(AcceptsFrameCaps(nullptr));
}

// What the recovery does when the stream ends: the source goes, the sink
// stays, and the same description opens again with its mode chosen afresh.
TEST_F(GstCapture, ADroppedSourceOpensAgainOnceItCanAndDeliversAgain) {
    const auto control = [this](const char* text) {
        std::ofstream(control_ + ".tmp") << text;
        std::rename((control_ + ".tmp").c_str(), control_.c_str());
    };
    control("noise 0\nspot_x 100\nspot_y 400\n");
    ASSERT_TRUE(Start("lumidartvirtualcam modes=webcam-1080p"));
    ASSERT_TRUE(WaitForFrame());
    control("noise 0\nunplugged 1\n");
    PlatformCaptureDropSource();
    EXPECT_EQ(CaptureSettingsElement(), nullptr);
    ClearStatus(kFramePending);
    EXPECT_FALSE(PlatformCaptureReopenSource()) << "opened while unplugged";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(TestStatus(kFramePending)) << "a frame without a source";

    control("noise 0\nspot_x 300\nspot_y 100\n");
    ASSERT_TRUE(PlatformCaptureReopenSource());
    ASSERT_NE(CaptureSettingsElement(), nullptr);
    // The scene as the file has it now, through the packed YUV path again.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((frame_[100 * kFrameWidth + 300] >> 16) < 224 && std::chrono::steady_clock::now() < deadline) {
        ClearStatus(kFramePending);
        ASSERT_TRUE(WaitForFrame());
    }
    EXPECT_GE(frame_[100 * kFrameWidth + 300] >> 16, 224u);
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

// What GStreamer's own converter and scaler make of one frame of the
// source, bottom-up like the Frame buffer; empty if none came.
std::vector<uint32_t> ConverterReference(const std::string& source, bool jpeg) {
    const std::string description = source + (jpeg ? " ! jpegdec" : "") +
                                    " ! videoconvert ! videoscale add-borders=false ! capsfilter caps=video/x-raw,format=BGRx,"
                                    "width=640,height=480,pixel-aspect-ratio=1/1 ! appsink name=out";
    GstElement* const pipeline = gst_parse_launch(description.c_str(), nullptr);
    if (pipeline == nullptr) return {};
    GstElement* const out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstSample* sample = nullptr;
    g_signal_emit_by_name(out, "try-pull-sample", 20 * GST_SECOND, &sample);
    std::vector<uint32_t> frame;
    GstMapInfo map;
    if (sample != nullptr && gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ)) {
        if (map.size >= static_cast<size_t>(kFrameBytes)) {
            frame.resize(kFramePixels);
            for (int line = 0; line < kFrameHeight; ++line) {
                std::memcpy(&frame[(kFrameHeight - 1 - line) * kFrameWidth], map.data + line * kFrameWidth * 4,
                            kFrameWidth * 4);
            }
            for (uint32_t& p : frame) p &= 0x00FFFFFFu;
        }
        gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
    }
    if (sample != nullptr) gst_sample_unref(sample);
    gst_object_unref(out);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return frame;
}

// Pixels with a channel more than tolerance units away from the reference.
int FarPixels(const std::vector<uint32_t>& frame, const std::vector<uint32_t>& reference, int tolerance = 1) {
    int far = 0;
    for (size_t i = 0; i < frame.size() && i < reference.size(); ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            const int a = static_cast<int>((frame[i] >> shift) & 0xFF);
            const int b = static_cast<int>((reference[i] >> shift) & 0xFF);
            if (a - b > tolerance || b - a > tolerance) {
                ++far;
                break;
            }
        }
    }
    return far;
}

// The shapes and formats of the webcams people own, each a fixed picture:
// every one fills the whole frame, stretched to it, within one unit of what
// the converter and scaler make on every channel of every pixel.
TEST_F(GstCapture, EverySourceShapeGivesWholeFramesAsTheConverterMakesThem) {
    struct Shape {
        const char* caps;
        bool jpeg;
    };
    const Shape shapes[] = {
        {"video/x-raw,format=YUY2,width=640,height=480,framerate=30/1", false},
        {"video/x-raw,format=UYVY,width=640,height=480,framerate=30/1", false},
        {"video/x-raw,format=I420,width=640,height=480,framerate=30/1", false},
        {"video/x-raw,format=NV12,width=640,height=480,framerate=30/1", false},
        {"video/x-raw,format=YUY2,width=1280,height=720,framerate=30/1", false},
        {"video/x-raw,format=NV12,width=641,height=479,framerate=30/1", false},
        {"video/x-raw,format=I420,width=800,height=600,framerate=30/1", false},
        {"video/x-raw,format=GRAY8,width=480,height=640,framerate=30/1", false},
        {"video/x-raw,format=RGB,width=640,height=360,framerate=30/1", false},
        {"video/x-raw,format=I420,width=1280,height=720,framerate=30/1 ! jpegenc ! "
         "capsfilter caps=image/jpeg,width=1280,height=720,framerate=30/1",
         true},
    };
    for (const Shape& shape : shapes) {
        const std::string source =
            std::string("videotestsrc is-live=true pattern=smpte ! capsfilter caps=") + shape.caps;
        const std::vector<uint32_t> reference = ConverterReference(source, shape.jpeg);
        ASSERT_EQ(reference.size(), static_cast<size_t>(kFramePixels)) << shape.caps;
        std::fill(frame_.begin(), frame_.end(), 0xDEADBEEFu);
        ClearStatus(kFramePending);
        ASSERT_TRUE(Start(source.c_str())) << shape.caps;
        ASSERT_TRUE(WaitForFrame()) << shape.caps << ": no picture";
        EXPECT_EQ(FarPixels(frame_, reference), 0) << shape.caps;
        PlatformCaptureStop();
        PlatformCaptureReleaseSource();
        PlatformCaptureReleasePipeline();
    }
}

// A test source left to offer everything it can: a picture still comes,
// the colour bars from the top-left corner on.
TEST_F(GstCapture, SourceOfferingAnyFormatGivesAPicture) {
    ASSERT_TRUE(Start("videotestsrc is-live=true pattern=smpte"));
    ASSERT_TRUE(WaitForFrame());
    // White then yellow bars along picture line 0, frame row 479.
    const uint32_t* const top = &frame_[(kFrameHeight - 1) * kFrameWidth];
    EXPECT_GE(top[4] & 0xFF, 250u) << std::hex << top[4];
    EXPECT_GE((top[4] >> 8) & 0xFF, 250u) << std::hex << top[4];
    EXPECT_GE((top[4] >> 16) & 0xFF, 250u) << std::hex << top[4];
    EXPECT_LE(top[100] & 0xFF, 5u) << std::hex << top[100];
    EXPECT_GE((top[100] >> 8) & 0xFF, 250u) << std::hex << top[100];
    EXPECT_GE((top[100] >> 16) & 0xFF, 250u) << std::hex << top[100];
    EXPECT_EQ(top[4] >> 24, 0u);
}

// The virtual camera advertising a webcam's mode list: the capture asks
// for its fastest 640 x 480 mode (or, without one, the smallest larger
// one), and the scene arrives whole, give or take the YUY2 round trip.
TEST_F(GstCapture, VirtualWebcamModeListsNegotiateTheChosenMode) {
    struct Case {
        const char* list;
        const char* mode;
    };
    const std::string stats = ::testing::TempDir() + "lumidart-gst-capture-modes.txt";
    setenv("LUMIDART_VIRTUALCAM_STATS", stats.c_str(), 1);
    SceneSettings settings;
    settings.noise = 0;
    settings.spotX = 200;
    settings.spotY = 300;
    std::vector<uint32_t> scene(kFramePixels);
    RenderScene(settings, 0, scene.data());
    for (const Case& c : {Case{"single", "mode BGRx 640x480 30"}, Case{"webcam-1080p", "mode YUY2 640x480 30"},
                          Case{"hd-first", "mode BGRx 640x480 30"}, Case{"wide", "mode YUY2 1280x720 10"}}) {
        // The control is applied when its text changes: each camera is new.
        FILE* f = std::fopen(control_.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fprintf(f, "noise 0\nspot_x 200\nspot_y 300\nspot_radius 4\n# %s\n", c.list);
        std::fclose(f);
        std::remove(stats.c_str());
        std::fill(frame_.begin(), frame_.end(), 0xDEADBEEFu);
        ClearStatus(kFramePending);
        ASSERT_TRUE(Start((std::string("lumidartvirtualcam modes=") + c.list).c_str())) << c.list;
        ASSERT_TRUE(WaitForFrame()) << c.list << ": no picture";
        PlatformCaptureStop();
        PlatformCaptureReleaseSource();
        PlatformCaptureReleasePipeline();
        std::ifstream in(stats);
        std::string first;
        std::getline(in, first);
        EXPECT_EQ(first, c.mode) << c.list;
        // The spot's core is still the brightest red, and the picture is
        // the scene's nearly everywhere: scaling blurs the edges a little,
        // the converter's YUY2 decoding is off by up to 5 in dark colours.
        EXPECT_GE((frame_[300 * kFrameWidth + 200] >> 16) & 0xFF, 240u) << c.list;
        EXPECT_LT(FarPixels(frame_, scene, 6), kFramePixels / 100) << c.list;
    }
    unsetenv("LUMIDART_VIRTUALCAM_STATS");
    std::remove(stats.c_str());
}

// The format at the sink's pad, and whether every converter and scaler
// of the running pipeline passes its frames through untouched.
struct SinkSide {
    std::string format;
    bool allPassThrough = true;
};

SinkSide RunningSinkSide() {
    SinkSide side;
    GstElement* const source = CaptureSettingsElement();
    GstObject* parent = source != nullptr ? gst_object_get_parent(GST_OBJECT(source)) : nullptr;
    while (parent != nullptr && !GST_IS_PIPELINE(parent)) {
        GstObject* const up = gst_object_get_parent(parent);
        gst_object_unref(parent);
        parent = up;
    }
    if (parent == nullptr) return side;
    GstIterator* const it = gst_bin_iterate_recurse(GST_BIN(parent));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElement* const e = GST_ELEMENT(g_value_get_object(&item));
        if (GST_IS_BASE_TRANSFORM(e)) {
            const std::string factory = GST_OBJECT_NAME(gst_element_get_factory(e));
            if (factory == "videoconvert" || factory == "videoscale") {
                side.allPassThrough = side.allPassThrough && gst_base_transform_is_passthrough(GST_BASE_TRANSFORM(e));
            }
        }
        if (GST_OBJECT_FLAG_IS_SET(e, GST_ELEMENT_FLAG_SINK)) {
            GstPad* const pad = gst_element_get_static_pad(e, "sink");
            GstCaps* const caps = pad != nullptr ? gst_pad_get_current_caps(pad) : nullptr;
            const char* const format =
                caps != nullptr ? gst_structure_get_string(gst_caps_get_structure(caps, 0), "format") : nullptr;
            side.format = format != nullptr ? format : "";
            if (caps != nullptr) gst_caps_unref(caps);
            if (pad != nullptr) gst_object_unref(pad);
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    gst_object_unref(parent);
    return side;
}

// A camera's own 640 x 480 packed YUV reaches the sink as it comes, the
// converter and scaler passing it through, so that the sink's conversion is
// the only pass over each frame. Other sizes are scaled and converted to
// BGRx by GStreamer's own elements.
TEST_F(GstCapture, PackedYuvAt640x480GoesStraightToTheSink) {
    struct Case {
        const char* caps;
        const char* atSink;
        bool passThrough;
    };
    for (const Case& c : {Case{"format=YUY2,width=640,height=480", "YUY2", true},
                          Case{"format=UYVY,width=640,height=480,pixel-aspect-ratio=1/1", "UYVY", true},
                          Case{"format=YUY2,width=640,height=480,pixel-aspect-ratio=4/3", "BGRx", false},
                          Case{"format=YUY2,width=1280,height=720", "BGRx", false},
                          Case{"format=I420,width=640,height=480", "BGRx", false}}) {
        ClearStatus(kFramePending);
        const std::string source =
            std::string("videotestsrc is-live=true ! capsfilter caps=video/x-raw,framerate=30/1,") + c.caps;
        ASSERT_TRUE(Start(source.c_str())) << c.caps;
        ASSERT_TRUE(WaitForFrame()) << c.caps << ": no picture";
        const SinkSide side = RunningSinkSide();
        EXPECT_EQ(side.format, c.atSink) << c.caps;
        EXPECT_EQ(side.allPassThrough, c.passThrough) << c.caps;
        PlatformCaptureStop();
        PlatformCaptureReleaseSource();
        PlatformCaptureReleasePipeline();
    }
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

// What a broken or misdescribing source can push: buffers that hold less
// than their caps or their video meta promise. Each is skipped, never read
// past, and the next whole frame still gets through.
TEST_F(GstCapture, ShortSamplesReachingTheSinkAreSkipped) {
    GstElement* const pipeline = gst_pipeline_new(nullptr);
    GstElement* const source = gst_element_factory_make("appsrc", nullptr);
    ASSERT_NE(source, nullptr);
    GstCaps* const caps = gst_caps_from_string("video/x-raw, format=BGRx, width=640, height=480, framerate=30/1");
    g_object_set(source, "caps", caps, "format", GST_FORMAT_TIME, nullptr);
    gst_caps_unref(caps);
    GstElement* const sink = CreateFrameSinkElement();
    gst_bin_add_many(GST_BIN(pipeline), source, sink, nullptr);
    ASSERT_TRUE(gst_element_link(source, sink));
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);

    const size_t row = kFrameWidth * 4;
    const auto push = [source](GstBuffer* buffer) {
        GstFlowReturn flow = GST_FLOW_OK;
        g_signal_emit_by_name(source, "push-buffer", buffer, &flow);
        gst_buffer_unref(buffer);
        EXPECT_EQ(flow, GST_FLOW_OK);
    };
    // Exactly as long as their contents, so that a checker sees any read past.
    const auto bytes = [](size_t size, uint8_t value) {
        const std::vector<uint8_t> data(size, value);
        return gst_buffer_new_memdup(data.data(), data.size());
    };
    const auto withMeta = [](GstBuffer* buffer, gsize offset) {
        gsize offsets[GST_VIDEO_MAX_PLANES] = {offset};
        gint strides[GST_VIDEO_MAX_PLANES] = {static_cast<gint>(kFrameWidth * 4)};
        gst_buffer_add_video_meta_full(buffer, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_FORMAT_BGRx, kFrameWidth,
                                       kFrameHeight, 1, offsets, strides);
        return buffer;
    };
    push(gst_buffer_new());
    push(bytes(100, 0x22));
    push(bytes(kFrameBytes - 1, 0x33));
    // The meta describes a whole frame; the memory is a row short.
    push(withMeta(bytes(kFrameBytes - row, 0x44), 0));
    // A whole frame's memory, but the plane starts a row in.
    push(withMeta(bytes(kFrameBytes, 0x55), row));
    // A whole frame, the last row marked.
    std::vector<uint8_t> whole(kFrameBytes, 0x66);
    std::fill(whole.end() - static_cast<long>(row), whole.end(), 0x77);
    push(gst_buffer_new_memdup(whole.data(), whole.size()));
    GstFlowReturn flow = GST_FLOW_OK;
    g_signal_emit_by_name(source, "end-of-stream", &flow);
    GstBus* const bus = gst_element_get_bus(pipeline);
    GstMessage* const end = gst_bus_timed_pop_filtered(bus, 20 * GST_SECOND,
                                                       static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(GST_MESSAGE_TYPE(end), GST_MESSAGE_EOS);
    gst_message_unref(end);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);

    ASSERT_TRUE(TestStatus(kFramePending)) << "the whole frame was not delivered";
    // Bottom-up: the marked top-down last row is the first row, padding cleared.
    EXPECT_EQ(frame_[0], 0x00777777u);
    EXPECT_EQ(frame_[kFrameWidth - 1], 0x00777777u);
    EXPECT_EQ(frame_[kFrameWidth], 0x00666666u);
    EXPECT_EQ(frame_[kFramePixels - 1], 0x00666666u);
}

// Frames handed over within the time given, each taken at once as a
// worker would.
int CountFrames(std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    int frames = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (TestStatus(kFramePending)) {
            ++frames;
            ClearStatus(kFramePending);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return frames;
}

// A source that exists but cannot reach the sink, or that stops by itself
// (end of stream, a stream error): the pipeline runs on with no frames and
// stops and releases normally.
TEST_F(GstCapture, UnconnectedOrEndingSourcesLeaveThePipelineRunningWithoutFrames) {
    ASSERT_TRUE(Start("audiotestsrc"));
    EXPECT_NE(CaptureSettingsElement(), nullptr);
    EXPECT_EQ(CountFrames(std::chrono::milliseconds(500)), 0);
    PlatformCaptureStop();
    PlatformCaptureReleaseSource();
    PlatformCaptureReleasePipeline();

    // Three frames, then the end.
    for (const char* source : {"lumidartvirtualcam num-buffers=3", "lumidartvirtualcam ! identity error-after=3"}) {
        ASSERT_TRUE(Start(source)) << source;
        const int frames = CountFrames(std::chrono::milliseconds(1500));
        EXPECT_GE(frames, 1) << source;
        EXPECT_LE(frames, 3) << source;
        EXPECT_EQ(CountFrames(std::chrono::milliseconds(300)), 0) << source << ": frames after the end";
        PlatformCaptureStop();
        PlatformCaptureReleaseSource();
        PlatformCaptureReleasePipeline();
    }
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
