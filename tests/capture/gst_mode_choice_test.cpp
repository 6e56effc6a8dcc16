// The mode chosen among what real cameras, test sources and parsers offer,
// in the order GStreamer lists it.
#include <gtest/gtest.h>

#include <string>

#include "capture/gst_mode_choice.h"

namespace {

std::string Text(const GstCaps* caps) {
    gchar* const text = gst_caps_to_string(caps);
    std::string result(text);
    g_free(text);
    return result;
}

// The chosen caps as text, or "none".
std::string ChooseAll(const char* offered) {
    gst_init(nullptr, nullptr);
    GstCaps* const caps = gst_caps_from_string(offered);
    EXPECT_NE(caps, nullptr) << offered;
    GstCaps* const chosen = ChooseCaptureMode(caps);
    gst_caps_unref(caps);
    if (chosen == nullptr) return "none";
    const std::string result = Text(chosen);
    gst_caps_unref(chosen);
    return result;
}

// The mode asked for, the first structure, as text; or "none".
std::string Choose(const char* offered) {
    const std::string all = ChooseAll(offered);
    if (all == "none") return all;
    GstCaps* const chosen = gst_caps_from_string(all.c_str());
    GstCaps* const first = gst_caps_copy_nth(chosen, 0);
    EXPECT_TRUE(gst_caps_is_fixed(first)) << offered;
    const std::string result = Text(first);
    gst_caps_unref(first);
    gst_caps_unref(chosen);
    return result;
}

// Equal as caps, whatever the field order of the text. Raw video expected
// without a pixel shape has square pixels.
::testing::AssertionResult SameCaps(const std::string& actual, const char* expected) {
    GstCaps* const a = gst_caps_from_string(actual.c_str());
    GstCaps* const e = gst_caps_from_string(expected);
    for (guint i = 0; e != nullptr && i < gst_caps_get_size(e); ++i) {
        GstStructure* const s = gst_caps_get_structure(e, i);
        if (gst_structure_has_name(s, "video/x-raw") && !gst_structure_has_field(s, "pixel-aspect-ratio")) {
            gst_structure_set(s, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
        }
    }
    const bool same = a != nullptr && e != nullptr && gst_caps_is_equal(a, e);
    if (a != nullptr) gst_caps_unref(a);
    if (e != nullptr) gst_caps_unref(e);
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "chose " << actual << "\nexpected " << expected;
}

// A 1080p webcam as v4l2src lists it: largest frame first, YUY2 slow at
// the large sizes, motion JPEG fast at all of them.
const char* const kWebcam1080 =
    "video/x-raw, format=YUY2, width=1920, height=1080, pixel-aspect-ratio=1/1, framerate=5/1;"
    "video/x-raw, format=YUY2, width=1280, height=720, pixel-aspect-ratio=1/1, framerate=10/1;"
    "video/x-raw, format=YUY2, width=640, height=480, pixel-aspect-ratio=1/1, framerate={ 30/1, 15/1 };"
    "video/x-raw, format=YUY2, width=320, height=240, pixel-aspect-ratio=1/1, framerate=30/1;"
    "image/jpeg, width=1920, height=1080, pixel-aspect-ratio=1/1, framerate=30/1;"
    "image/jpeg, width=1280, height=720, pixel-aspect-ratio=1/1, framerate=30/1;"
    "image/jpeg, width=640, height=480, pixel-aspect-ratio=1/1, framerate=30/1";

TEST(ModeChoice, WebcamGivesItsFastest640x480NotItsFirstMode) {
    EXPECT_TRUE(SameCaps(Choose(kWebcam1080),
                         "video/x-raw, format=YUY2, width=640, height=480, pixel-aspect-ratio=1/1, framerate=30/1"));
}

TEST(ModeChoice, At640x480TheHighestRateWinsThenRawThenListedOrder) {
    // Motion JPEG listed first at the same rate: raw still wins.
    EXPECT_TRUE(SameCaps(Choose("image/jpeg, width=640, height=480, framerate=30/1;"
                                "video/x-raw, format=YUY2, width=640, height=480, framerate=30/1"),
                         "video/x-raw, format=YUY2, width=640, height=480, framerate=30/1"));
    // Faster compressed beats slower raw.
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format=YUY2, width=640, height=480, framerate=15/1;"
                                "image/jpeg, width=640, height=480, framerate=30/1"),
                         "image/jpeg, width=640, height=480, framerate=30/1"));
    // Equal in everything: the first listed.
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format=NV12, width=640, height=480, framerate=30/1;"
                                "video/x-raw, format=YUY2, width=640, height=480, framerate=30/1"),
                         "video/x-raw, format=NV12, width=640, height=480, framerate=30/1"));
    // Rates compared as fractions, each listed rate on its own.
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format=YUY2, width=640, height=480, framerate={ 25/1, 15/1 };"
                                "video/x-raw, format=NV12, width=640, height=480, framerate={ 5/1, 30000/1001 }"),
                         "video/x-raw, format=NV12, width=640, height=480, framerate=30000/1001"));
}

TEST(ModeChoice, Without640x480TheSmallestLargerSizeFourByThreeFirst) {
    // A 16:9-only camera, largest first.
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format=YUY2, width=1920, height=1080, framerate=30/1;"
                                "video/x-raw, format=YUY2, width=1280, height=720, framerate=30/1;"
                                "video/x-raw, format=YUY2, width=960, height=540, framerate=15/1;"
                                "video/x-raw, format=YUY2, width=640, height=360, framerate=30/1"),
                         "video/x-raw, format=YUY2, width=960, height=540, framerate=15/1"));
    // 4:3 before other shapes, even when larger; then the highest rate.
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format=YUY2, width=960, height=540, framerate=30/1;"
                                "video/x-raw, format=YUY2, width=1024, height=768, framerate=10/1;"
                                "image/jpeg, width=1024, height=768, framerate=30/1;"
                                "video/x-raw, format=YUY2, width=1600, height=1200, framerate=30/1"),
                         "image/jpeg, width=1024, height=768, framerate=30/1"));
    // Just over in one direction is not at least 640 x 480.
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format=GRAY8, width=641, height=479, framerate=30/1;"
                                "video/x-raw, format=GRAY8, width=800, height=600, framerate=20/1"),
                         "video/x-raw, format=GRAY8, width=800, height=600, framerate=20/1"));
}

TEST(ModeChoice, NothingLargeEnoughFallsBackToTheFirst) {
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format=I420, width=480, height=640, framerate={ 15/1, 30/1 };"
                                "video/x-raw, format=I420, width=320, height=240, framerate=60/1"),
                         "video/x-raw, format=I420, width=480, height=640, framerate=30/1"));
}

TEST(ModeChoice, WhatTheChainCannotConvertIsSkipped) {
    EXPECT_TRUE(SameCaps(Choose("video/x-h264, stream-format=byte-stream, width=640, height=480, framerate=30/1;"
                                "video/x-raw(memory:DMABuf), format=NV12, width=640, height=480, framerate=60/1;"
                                "video/x-raw, format=ENCODED, width=640, height=480, framerate=60/1;"
                                "video/x-raw, format=NV12, width=1280, height=720, framerate=30/1"),
                         "video/x-raw, format=NV12, width=1280, height=720, framerate=30/1"));
    // In a list of formats, the first the converter knows.
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format={ ENCODED, RGB, BGRx }, width=640, height=480, framerate=30/1"),
                         "video/x-raw, format=RGB, width=640, height=480, framerate=30/1"));
    EXPECT_EQ(Choose("EMPTY"), "none");
    EXPECT_EQ(Choose("ANY"), "none");
}

// True when caps a stream states fit the mode chosen from offered.
bool StreamFits(const char* offered, const char* stream) {
    GstCaps* const chosen = gst_caps_from_string(ChooseAll(offered).c_str());
    GstCaps* const states = gst_caps_from_string(stream);
    const bool fits = chosen != nullptr && states != nullptr && gst_caps_is_subset(states, chosen);
    if (chosen != nullptr) gst_caps_unref(chosen);
    if (states != nullptr) gst_caps_unref(states);
    return fits;
}

TEST(ModeChoice, FieldsThatChooseNoModeStayOpen) {
    // An encoder's pad offers markers and colours its stream never states.
    const char* const encoder =
        "image/jpeg, sof-marker=(int){ 0, 1, 2, 4, 9 }, width=1280, height=720, framerate=30/1, "
        "pixel-aspect-ratio=1/1, colorimetry=(string){ bt709, bt601 }, chroma-site=(string){ mpeg2, jpeg }";
    EXPECT_TRUE(SameCaps(Choose(encoder), "image/jpeg, width=1280, height=720, framerate=30/1, pixel-aspect-ratio=1/1"));
    EXPECT_TRUE(StreamFits(encoder, "image/jpeg, width=1280, height=720, framerate=30/1, pixel-aspect-ratio=1/1"));
    EXPECT_TRUE(StreamFits(encoder, "image/jpeg, sof-marker=2, width=1280, height=720, framerate=30/1, "
                                    "pixel-aspect-ratio=1/1, colorimetry=bt601"));
    // A raw camera mode: its colours and interlacing as the stream says.
    const char* const camera =
        "video/x-raw, format=YUY2, width=640, height=480, framerate={ 30/1, 15/1 }, pixel-aspect-ratio=1/1, "
        "colorimetry=(string){ 2:4:5:1, bt709 }, interlace-mode=(string){ progressive, interleaved }";
    EXPECT_TRUE(StreamFits(camera, "video/x-raw, format=YUY2, width=640, height=480, framerate=30/1, "
                                   "pixel-aspect-ratio=1/1, colorimetry=bt709, interlace-mode=interleaved"));
    EXPECT_FALSE(StreamFits(camera, "video/x-raw, format=YUY2, width=640, height=480, framerate=15/1, "
                                    "pixel-aspect-ratio=1/1"));
    // An encoder's template: 640 x 480 is asked for, what its input gives
    // still fits.
    const char* const open = "image/jpeg, width=[ 1, 65535 ], height=[ 1, 65535 ], "
                             "framerate=[ 0/1, 2147483647/1 ], sof-marker=(int){ 0, 1, 2, 4, 9 }";
    EXPECT_TRUE(SameCaps(Choose(open), "image/jpeg, width=640, height=480, framerate=60/1"));
    EXPECT_TRUE(SameCaps(ChooseAll(open), (std::string("image/jpeg, width=640, height=480, framerate=60/1; ") + open).c_str()));
    EXPECT_TRUE(StreamFits(open, "image/jpeg, sof-marker=0, width=1280, height=720, framerate=30/1, "
                                 "pixel-aspect-ratio=1/1, colorimetry=bt709"));
    // Listed modes are asked for alone.
    EXPECT_TRUE(SameCaps(ChooseAll(camera), "video/x-raw, format=YUY2, width=640, height=480, framerate=30/1, "
                                            "pixel-aspect-ratio=1/1"));
    // The fallback for nothing large enough is pinned the same way.
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format=I420, width=320, height=240, framerate=30/1, "
                                "colorimetry=(string){ bt601, bt709 }"),
                         "video/x-raw, format=I420, width=320, height=240, framerate=30/1"));
}

TEST(ModeChoice, RangesAreFixatedTowards640x480SquarePixelsAndTheirHighestRate) {
    // A test source or parser: anything goes.
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format={ YUY2, I420 }, width=[ 1, 2147483647 ], "
                                "height=[ 1, 2147483647 ], framerate=[ 0/1, 2147483647/1 ], "
                                "pixel-aspect-ratio=[ 1/2147483647, 2147483647/1 ]"),
                         "video/x-raw, format=YUY2, width=640, height=480, framerate=60/1, pixel-aspect-ratio=1/1"));
    // A stepwise camera: the first step at or above, the range's top rate.
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format=YUY2, width=[ 800, 1920, 16 ], height=[ 600, 1080, 8 ], "
                                "framerate=[ 1/1, 25/1 ]"),
                         "video/x-raw, format=YUY2, width=800, height=600, framerate=25/1"));
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format=YUY2, width=[ 400, 1600, 200 ], height=[ 300, 1200, 100 ], "
                                "framerate=30/1"),
                         "video/x-raw, format=YUY2, width=800, height=500, framerate=30/1"));
    // A range wholly above the open-ended limit keeps to itself.
    EXPECT_TRUE(SameCaps(Choose("video/x-raw, format=YUY2, width=640, height=480, framerate=[ 90/1, 120/1 ]"),
                         "video/x-raw, format=YUY2, width=640, height=480, framerate=90/1"));
}

TEST(ModeChoice, RawVideoStatingNoPixelShapeIsSquareEvenWhereLeftOpen) {
    // An IPC or network source's caps, as written by hand: nothing
    // downstream can fix a shape left open.
    EXPECT_TRUE(
        SameCaps(ChooseAll("video/x-raw, format=BGRx, width=[ 320, 1280 ], height=[ 240, 960 ], framerate=30/1"),
                 "video/x-raw, format=BGRx, width=640, height=480, framerate=30/1, pixel-aspect-ratio=1/1; "
                 "video/x-raw, format=BGRx, width=[ 320, 1280 ], height=[ 240, 960 ], framerate=30/1, "
                 "pixel-aspect-ratio=1/1"));
    // A stated shape stays; motion JPEG gets none.
    EXPECT_EQ(Choose("video/x-raw, format=YUY2, width=640, height=480, framerate=30/1, pixel-aspect-ratio=4/3"),
              "video/x-raw, format=(string)YUY2, width=(int)640, height=(int)480, framerate=(fraction)30/1, "
              "pixel-aspect-ratio=(fraction)4/3");
    EXPECT_EQ(Choose("image/jpeg, width=640, height=480, framerate=30/1"),
              "image/jpeg, width=(int)640, height=(int)480, framerate=(fraction)30/1");
}

}  // namespace
