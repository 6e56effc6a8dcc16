// The sink's own packed YUV conversion against GStreamer's converter at its
// defaults, frame for frame: every (Y, U, V) triple, noise, and sharp chroma
// edges, in each byte order and the colour matrices cameras declare. Every
// channel of every pixel must be within one unit (the red threshold makes
// each unit count).
#include <gtest/gtest.h>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "capture/gst_capture.h"
#include "capture/yuv_conversion.h"
#include "state/tracker_state.h"

namespace {

constexpr size_t kRowBytes = static_cast<size_t>(kFrameWidth) * 2;
using Packed = std::vector<uint8_t>;

// appsrc ! videoconvert ! BGRx ! appsink, one frame at a time.
class RealConverter {
  public:
    explicit RealConverter(const std::string& caps) {
        const std::string description = "appsrc name=in format=time caps=\"" + caps +
                                        "\" ! videoconvert ! video/x-raw,format=BGRx ! "
                                        "appsink name=out sync=false";
        pipeline_ = gst_parse_launch(description.c_str(), nullptr);
        in_ = gst_bin_get_by_name(GST_BIN(pipeline_), "in");
        out_ = gst_bin_get_by_name(GST_BIN(pipeline_), "out");
        gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    }
    ~RealConverter() {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(in_);
        gst_object_unref(out_);
        gst_object_unref(pipeline_);
    }
    RealConverter(const RealConverter&) = delete;
    RealConverter& operator=(const RealConverter&) = delete;

    // Top-down 0x00RRGGBB words; empty if nothing came back.
    std::vector<uint32_t> Convert(const Packed& frame) {
        GstBuffer* const buffer = gst_buffer_new_memdup(frame.data(), frame.size());
        GST_BUFFER_PTS(buffer) = count_++ * GST_SECOND / 30;
        gst_app_src_push_buffer(GST_APP_SRC(in_), buffer);
        GstSample* const sample = gst_app_sink_try_pull_sample(GST_APP_SINK(out_), 10 * GST_SECOND);
        std::vector<uint32_t> words;
        GstMapInfo map;
        if (sample != nullptr && gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ)) {
            if (map.size == static_cast<size_t>(kFrameBytes)) {
                words.resize(kFramePixels);
                std::memcpy(words.data(), map.data, map.size);
                for (uint32_t& w : words) w &= 0x00FFFFFFu;
            }
            gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
        }
        if (sample != nullptr) gst_sample_unref(sample);
        return words;
    }

  private:
    GstElement* pipeline_ = nullptr;
    GstElement* in_ = nullptr;
    GstElement* out_ = nullptr;
    uint64_t count_ = 0;
};

struct Mismatch {
    int farPixels = 0;     // a channel off by more than one
    int nearPixels = 0;    // off by exactly one somewhere
    std::string firstFar;  // where, for the failure message
};

Mismatch Compare(const Packed& frame, const std::vector<uint32_t>& reference, PackedYuvLayout layout,
                 const YuvMatrix& matrix) {
    Mismatch m;
    std::vector<uint32_t> row(kFrameWidth);
    for (int line = 0; line < kFrameHeight; ++line) {
        ConvertPackedYuvRow(frame.data() + line * kRowBytes, row.data(), kFrameWidth, layout, matrix);
        for (int x = 0; x < kFrameWidth; ++x) {
            const uint32_t ours = row[x], theirs = reference[line * kFrameWidth + x];
            int worst = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const int d = static_cast<int>((ours >> shift) & 0xFF) - static_cast<int>((theirs >> shift) & 0xFF);
                worst = std::max(worst, d < 0 ? -d : d);
            }
            if (worst > 1 && m.farPixels++ == 0) {
                const uint8_t* const pair = frame.data() + line * kRowBytes + (x / 2) * 4;
                char text[160];
                std::snprintf(text, sizeof text, "line %d x %d pair %02x %02x %02x %02x: ours %06x, converter %06x",
                              line, x, pair[0], pair[1], pair[2], pair[3], ours, theirs);
                m.firstFar = text;
            }
            if (worst == 1) ++m.nearPixels;
        }
    }
    return m;
}

// Sets pixel x of a row to (y, u, v); u and v land on its pair.
void Put(uint8_t* row, int x, int y, int u, int v, PackedYuvLayout layout) {
    uint8_t* const pair = row + (x / 2) * 4;
    const bool yuy2 = layout == PackedYuvLayout::kYuy2;
    pair[(yuy2 ? 0 : 1) + 2 * (x % 2)] = static_cast<uint8_t>(y);
    pair[yuy2 ? 1 : 0] = static_cast<uint8_t>(u);
    pair[yuy2 ? 3 : 2] = static_cast<uint8_t>(v);
}

// Each row holds one (U, V) pair throughout and every Y value: 137 frames
// hold every triple.
std::vector<Packed> EveryTriple(PackedYuvLayout layout) {
    std::vector<Packed> frames;
    for (int uv = 0; uv < 65536;) {
        Packed frame(kRowBytes * kFrameHeight);
        for (int line = 0; line < kFrameHeight; ++line, ++uv) {
            for (int x = 0; x < kFrameWidth; ++x) {
                Put(frame.data() + line * kRowBytes, x, (x + line) & 0xFF, (uv >> 8) & 0xFF, uv & 0xFF, layout);
            }
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

// Noise, then chroma jumping between extremes every pair, every few pairs
// and at the row ends, where interpolation between pairs shows.
std::vector<Packed> NoiseAndEdges() {
    std::mt19937 random(20261207);
    std::vector<Packed> frames;
    for (int i = 0; i < 3; ++i) {
        Packed frame(kRowBytes * kFrameHeight);
        for (uint8_t& b : frame) b = static_cast<uint8_t>(random());
        frames.push_back(std::move(frame));
    }
    const int levels[] = {0, 16, 128, 235, 240, 255};
    Packed edges(kRowBytes * kFrameHeight);
    for (int line = 0; line < kFrameHeight; ++line) {
        const int run = 1 + line % 5;
        for (int pair = 0; pair < kFrameWidth / 2; ++pair) {
            uint8_t* const p = edges.data() + line * kRowBytes + pair * 4;
            const int step = pair / run + line / 5;
            p[0] = p[2] = static_cast<uint8_t>(levels[(line / 7) % 6]);
            p[1] = static_cast<uint8_t>(levels[step % 6]);
            p[3] = static_cast<uint8_t>(levels[(step * 5 + 1) % 6]);
        }
    }
    frames.push_back(std::move(edges));
    return frames;
}

struct Case {
    const char* caps;
};

class GstYuvConversion : public ::testing::TestWithParam<Case> {
  protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

TEST_P(GstYuvConversion, EqualsTheConverterOnEveryPixel) {
    const std::string caps =
        std::string(GetParam().caps) + ", width=(int)640, height=(int)480, framerate=(fraction)30/1";
    GstCaps* const parsed = gst_caps_from_string(caps.c_str());
    ASSERT_NE(parsed, nullptr);
    PackedYuvLayout layout;
    YuvMatrix matrix;
    const bool convertible = PackedYuvFromCaps(parsed, &layout, &matrix);
    gst_caps_unref(parsed);
    ASSERT_TRUE(convertible) << caps;

    RealConverter converter(caps);
    std::vector<Packed> frames = EveryTriple(layout);
    for (Packed& f : NoiseAndEdges()) frames.push_back(std::move(f));
    int nearPixels = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::vector<uint32_t> reference = converter.Convert(frames[i]);
        ASSERT_EQ(reference.size(), static_cast<size_t>(kFramePixels)) << caps << " frame " << i;
        const Mismatch m = Compare(frames[i], reference, layout, matrix);
        ASSERT_EQ(m.farPixels, 0) << caps << " frame " << i << ": " << m.firstFar;
        nearPixels += m.nearPixels;
    }
    std::printf("%s: %zu frames, %d pixels off by one\n", caps.c_str(), frames.size(), nearPixels);
}

INSTANTIATE_TEST_SUITE_P(
    CameraCaps, GstYuvConversion,
    ::testing::Values(Case{"video/x-raw, format=(string)YUY2"}, Case{"video/x-raw, format=(string)UYVY"},
                      Case{"video/x-raw, format=(string)YUY2, colorimetry=(string)bt709"},
                      Case{"video/x-raw, format=(string)YUY2, colorimetry=(string)1:4:0:0"},
                      Case{"video/x-raw, format=(string)YUY2, colorimetry=(string)2:4:7:1, chroma-site=(string)jpeg"},
                      Case{"video/x-raw, format=(string)UYVY, colorimetry=(string)bt2020"},
                      Case{"video/x-raw, format=(string)YUY2, chroma-site=(string)mpeg2"}));

// What the sink must leave to the converter.
TEST(PackedYuvCaps, OnlyConvertibleCapsAreTaken) {
    gst_init(nullptr, nullptr);
    const auto takes = [](const char* text) {
        GstCaps* const caps = gst_caps_from_string(text);
        PackedYuvLayout layout;
        YuvMatrix matrix;
        const bool taken = PackedYuvFromCaps(caps, &layout, &matrix);
        gst_caps_unref(caps);
        return taken;
    };
    EXPECT_TRUE(takes("video/x-raw, format=YUY2, width=640, height=480"));
    EXPECT_TRUE(takes("video/x-raw, format=UYVY, width=640, height=480, colorimetry=bt709"));
    EXPECT_FALSE(takes("video/x-raw, format=BGRx, width=640, height=480"));
    EXPECT_FALSE(takes("video/x-raw, format=I420, width=640, height=480"));
    EXPECT_FALSE(takes("video/x-raw, format={ YUY2, UYVY }, width=640, height=480"));
}

}  // namespace
