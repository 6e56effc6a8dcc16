// The packed YUV conversion on its own: the row's vector steps, their edge
// groups and the plain path for narrow rows all give each pixel the same
// words, in both byte orders, at every width; and the matrix is the one
// GStreamer's converter reports for BT.601 studio range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "capture/yuv_conversion.h"

namespace {

const YuvMatrix kBt601 = MakeYuvMatrix(0.299, 0.114, false);

TEST(YuvMatrixTest, Bt601StudioRangeIsTheConvertersFixedPointMatrix) {
    EXPECT_EQ(kBt601.luma, 298);
    EXPECT_EQ(kBt601.redFromV, 409);
    EXPECT_EQ(kBt601.greenFromU, -100);
    EXPECT_EQ(kBt601.greenFromV, -208);
    EXPECT_EQ(kBt601.blueFromU, 516);
    const YuvMatrix full = MakeYuvMatrix(0.299, 0.114, true);
    EXPECT_EQ(full.luma, 256);
    EXPECT_LT(full.redFromV, kBt601.redFromV);
}

uint32_t Row1(int y, int u, int v) {
    const unsigned char pair[4] = {static_cast<unsigned char>(y), static_cast<unsigned char>(u),
                                   static_cast<unsigned char>(y), static_cast<unsigned char>(v)};
    uint32_t out[2];
    ConvertPackedYuvRow(pair, out, 2, PackedYuvLayout::kYuy2, kBt601);
    EXPECT_EQ(out[0], out[1]);
    return out[0];
}

// Grey, the studio range's ends, and the converter's own rounding about
// 128 (mid grey comes out 128, not 130).
TEST(YuvConversionTest, KnownColours) {
    EXPECT_EQ(Row1(16, 128, 128), 0x000000u);
    EXPECT_EQ(Row1(128, 128, 128), 0x808080u);
    EXPECT_EQ(Row1(235, 128, 128), 0xFDFDFDu);
    EXPECT_EQ(Row1(255, 128, 128), 0xFFFFFFu);
    // Saturated red: red high, green and blue clipped to nothing.
    const uint32_t red = Row1(81, 90, 240);
    EXPECT_GE(red >> 16, 250u);
    EXPECT_LE((red >> 8) & 0xFF, 2u);
    EXPECT_LE(red & 0xFF, 2u);
}

// One pixel the slow way: chroma interpolated between pair centres, ends
// repeated, then the matrix on 257-times widened values about 128.
uint32_t Reference(const std::vector<uint8_t>& row, int x, int width, bool yuy2, const YuvMatrix& m) {
    const int pairs = width / 2, k = x / 2;
    const auto at = [&](int pair, int index) {
        pair = pair < 0 ? 0 : (pair >= pairs ? pairs - 1 : pair);
        return static_cast<int>(row[4 * pair + index]);
    };
    const int yIndex = (yuy2 ? 0 : 1) + 2 * (x % 2), uIndex = yuy2 ? 1 : 0, vIndex = yuy2 ? 3 : 2;
    const int neighbour = x % 2 == 0 ? k - 1 : k + 1;
    const int u = (3 * at(k, uIndex) + at(neighbour, uIndex) + 2) / 4;
    const int v = (3 * at(k, vIndex) + at(neighbour, vIndex) + 2) / 4;
    const auto widen = [](int s) { return static_cast<int16_t>(((s - 128) & 0xFF) * 257); };
    const auto high = [](int a, int b) { return static_cast<int>(std::floor(a * static_cast<double>(b) / 65536)); };
    const int luma = high(widen(at(k, yIndex)), m.luma);
    const auto channel = [](int c) { return static_cast<uint32_t>(std::min(127, std::max(-128, c)) + 128); };
    return channel(luma + high(widen(v), m.redFromV)) << 16 |
           channel(luma + high(widen(u), m.greenFromU) + high(widen(v), m.greenFromV)) << 8 |
           channel(luma + high(widen(u), m.blueFromU));
}

TEST(YuvConversionTest, EveryWidthAndByteOrderMatchesThePixelByPixelRule) {
    std::mt19937 random(42);
    std::vector<int> widths;
    for (int w = 2; w <= 84; w += 2) widths.push_back(w);
    widths.push_back(640);
    widths.push_back(1282);
    const YuvMatrix bt709 = MakeYuvMatrix(0.2126, 0.0722, false);
    for (const bool yuy2 : {true, false}) {
        for (const int width : widths) {
            std::vector<uint8_t> row(static_cast<size_t>(width) * 2);
            for (uint8_t& b : row) b = static_cast<uint8_t>(random());
            // Extremes at both ends, where the neighbours are repeated.
            row[0] = row[1] = 255;
            row[row.size() - 1] = row[row.size() - 2] = 0;
            for (const YuvMatrix& m : {kBt601, bt709}) {
                // Exactly width words, so that a checker sees a write past.
                std::vector<uint32_t> out(width);
                ConvertPackedYuvRow(row.data(), out.data(), width,
                                    yuy2 ? PackedYuvLayout::kYuy2 : PackedYuvLayout::kUyvy, m);
                for (int x = 0; x < width; ++x) {
                    ASSERT_EQ(out[x], Reference(row, x, width, yuy2, m))
                        << (yuy2 ? "YUY2" : "UYVY") << " width " << width << " x " << x;
                }
            }
        }
    }
}

// The red alone, over any span of a row: every column of the span gets the
// whole conversion's red and nothing else, whichever vector path and edge
// group covers it; spans reaching past the row are clipped to it.
TEST(YuvConversionTest, RedOfASpanEqualsTheWholeConversionsRed) {
    std::mt19937 random(7);
    for (const int width : {6, 16, 34, 640}) {
        for (const bool yuy2 : {true, false}) {
            const PackedYuvLayout layout = yuy2 ? PackedYuvLayout::kYuy2 : PackedYuvLayout::kUyvy;
            std::vector<uint8_t> row(static_cast<size_t>(width) * 2);
            for (uint8_t& b : row) b = static_cast<uint8_t>(random());
            std::vector<uint32_t> whole(width);
            ConvertPackedYuvRow(row.data(), whole.data(), width, layout, kBt601);
            for (int trial = 0; trial < 300; ++trial) {
                int first = static_cast<int>(random() % (width + 8)) - 4;
                int last = static_cast<int>(random() % (width + 8)) - 4;
                if (first > last) std::swap(first, last);
                std::vector<uint32_t> red(width, 0xDEADBEEFu);
                ConvertPackedYuvRowRed(row.data(), red.data(), width, first, last, layout, kBt601);
                for (int x = std::max(first, 0); x <= std::min(last, width - 1); ++x) {
                    ASSERT_EQ(red[x], whole[x] & 0x00FF0000u)
                        << (yuy2 ? "YUY2" : "UYVY") << " width " << width << " span " << first << ".." << last
                        << " x " << x;
                }
            }
        }
    }
}

}  // namespace
