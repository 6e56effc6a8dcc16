// Converting the Frame buffer (0x00RRGGBB words, rows bottom-up) into the
// rows of a display's own pixel format (top-down), whatever its depth.
#pragma once

#include <cstdint>

struct PixelLayout {
    uint32_t redMask, greenMask, blueMask;  // within one pixel value
    int bitsPerPixel;                        // 8, 16, 24 or 32
    bool mostSignificantByteFirst;
    int bytesPerLine;  // stride of the destination rows
};

// True when every channel is one run of set bits, the channels do not
// overlap, they fit the pixel and a 640-pixel row fits the stride. Anything
// else (colour maps, planar formats) is refused: no picture is better than
// a write past the rows.
bool PixelLayoutSupported(const PixelLayout& layout);
// Writes kFrameHeight rows of layout.bytesPerLine bytes; the layout must be
// supported.
void ConvertFrame(const uint32_t* frame, const PixelLayout& layout, uint8_t* rows);
// One 0x00RRGGBB colour as a pixel value of the layout: each channel's top
// bits, or its bits repeated where the channel is wider than 8 bits.
uint32_t PackPixel(uint32_t rgb, const PixelLayout& layout);
