#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "preview/pixel_layout.h"
#include "state/tracker_state.h"

namespace {

constexpr PixelLayout kRgb888x32{0xFF0000u, 0x00FF00u, 0x0000FFu, 32, false, 640 * 4};
constexpr PixelLayout kRgb565{0xF800u, 0x07E0u, 0x001Fu, 16, false, 640 * 2};
constexpr PixelLayout kRgb555{0x7C00u, 0x03E0u, 0x001Fu, 16, false, 640 * 2};
constexpr PixelLayout kRgb101010{0x3FF00000u, 0x000FFC00u, 0x000003FFu, 32, false, 640 * 4};
constexpr PixelLayout kRgb888x24{0xFF0000u, 0x00FF00u, 0x0000FFu, 24, false, 640 * 3};

struct Picture {
    std::vector<uint32_t> frame = std::vector<uint32_t>(kFramePixels, 0);
    // Picture coordinates: line 0 is the top, the Frame buffer's last row.
    uint32_t& At(int x, int line) { return frame[(kFrameHeight - 1 - line) * kFrameWidth + x]; }
};

// The destination rows with a guard band after them that must stay intact.
struct Rows {
    explicit Rows(const PixelLayout& l) : bytes(static_cast<size_t>(l.bytesPerLine) * kFrameHeight + 64, 0xA5) {}
    uint32_t Pixel(const PixelLayout& l, int x, int line) const {
        const int n = l.bitsPerPixel / 8;
        const uint8_t* p = bytes.data() + static_cast<size_t>(line) * l.bytesPerLine + x * n;
        uint32_t v = 0;
        for (int b = 0; b < n; ++b) v |= uint32_t{p[b]} << (8 * (l.mostSignificantByteFirst ? n - 1 - b : b));
        return v;
    }
    bool GuardIntact(const PixelLayout& l) const {
        for (size_t i = static_cast<size_t>(l.bytesPerLine) * kFrameHeight; i < bytes.size(); ++i) {
            if (bytes[i] != 0xA5) return false;
        }
        return true;
    }
    std::vector<uint8_t> bytes;
};

TEST(PixelLayoutTest, PacksEachDepthsChannels) {
    EXPECT_EQ(PackPixel(0x00FFFF, kRgb565), 0x07FFu);
    EXPECT_EQ(PackPixel(0x0000FF, kRgb565), 0x001Fu);
    EXPECT_EQ(PackPixel(0xFA7D7D, kRgb565), (31u << 11) | (31u << 5) | 15u);
    EXPECT_EQ(PackPixel(0xFFFFFF, kRgb555), 0x7FFFu);
    EXPECT_EQ(PackPixel(0x808080, kRgb555), (16u << 10) | (16u << 5) | 16u);
    // Ten-bit channels repeat the top bits: full stays full, 0x80 is 0x202.
    EXPECT_EQ(PackPixel(0xFF0080, kRgb101010), (0x3FFu << 20) | 0x202u);
    EXPECT_EQ(PackPixel(0x123456, kRgb888x32), 0x123456u);
    const PixelLayout bgr{0x0000FFu, 0x00FF00u, 0xFF0000u, 32, false, 640 * 4};
    EXPECT_EQ(PackPixel(0x123456, bgr), 0x563412u);
}

TEST(PixelLayoutTest, RefusesWhatItCannotWrite) {
    EXPECT_TRUE(PixelLayoutSupported(kRgb888x32));
    EXPECT_TRUE(PixelLayoutSupported(kRgb565));
    EXPECT_TRUE(PixelLayoutSupported(kRgb555));
    EXPECT_TRUE(PixelLayoutSupported(kRgb101010));
    EXPECT_TRUE(PixelLayoutSupported(kRgb888x24));
    PixelLayout l = kRgb565;
    l.bytesPerLine = 640 * 2 - 1;  // a row would not fit its stride
    EXPECT_FALSE(PixelLayoutSupported(l));
    l = kRgb565;
    l.bitsPerPixel = 12;
    EXPECT_FALSE(PixelLayoutSupported(l));
    l = kRgb565;
    l.redMask = 0;  // a colour map has no channel masks
    EXPECT_FALSE(PixelLayoutSupported(l));
    l = kRgb565;
    l.greenMask = 0x05E0u;  // a gap in the run
    EXPECT_FALSE(PixelLayoutSupported(l));
    l = kRgb565;
    l.blueMask = 0x003Fu;  // overlaps green
    EXPECT_FALSE(PixelLayoutSupported(l));
    l = kRgb888x32;
    l.bitsPerPixel = 16;  // masks beyond the pixel
    l.bytesPerLine = 640 * 2;
    EXPECT_FALSE(PixelLayoutSupported(l));
}

TEST(PixelLayoutTest, ConvertsFlippedRowsInsideTheirStride) {
    Picture picture;
    picture.At(0, 0) = 0x00FFFF;
    picture.At(639, 0) = 0x0000FF;
    picture.At(5, 479) = 0xFFFFFF;
    picture.At(320, 240) = 0xFA7D7D;
    const PixelLayout padded565{0xF800u, 0x07E0u, 0x001Fu, 16, false, 640 * 2 + 6};
    const PixelLayout bigEndian24{0xFF0000u, 0x00FF00u, 0x0000FFu, 24, true, 640 * 3};
    for (const PixelLayout& l : {kRgb888x32, kRgb565, padded565, kRgb555, kRgb101010, kRgb888x24, bigEndian24}) {
        SCOPED_TRACE(l.bitsPerPixel);
        Rows rows(l);
        ConvertFrame(picture.frame.data(), l, rows.bytes.data());
        EXPECT_EQ(rows.Pixel(l, 0, 0), PackPixel(0x00FFFF, l));
        EXPECT_EQ(rows.Pixel(l, 639, 0), PackPixel(0x0000FF, l));
        EXPECT_EQ(rows.Pixel(l, 5, 479), PackPixel(0xFFFFFF, l));
        EXPECT_EQ(rows.Pixel(l, 320, 240), PackPixel(0xFA7D7D, l));
        EXPECT_EQ(rows.Pixel(l, 1, 0), 0u);
        EXPECT_TRUE(rows.GuardIntact(l));
    }
}

TEST(PixelLayoutTest, ByteOrderOfTheDestinationIsHonoured) {
    Picture picture;
    picture.At(0, 0) = 0x123456;
    PixelLayout l = kRgb888x32;
    l.mostSignificantByteFirst = true;
    Rows rows(l);
    ConvertFrame(picture.frame.data(), l, rows.bytes.data());
    const uint8_t expected[4] = {0x00, 0x12, 0x34, 0x56};
    EXPECT_EQ(std::memcmp(rows.bytes.data(), expected, 4), 0);
}

}  // namespace
