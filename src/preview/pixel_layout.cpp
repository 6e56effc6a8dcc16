#include "preview/pixel_layout.h"

#include <cstring>

#include "state/tracker_state.h"

namespace {

struct Channel {
    int shift;  // lowest set bit
    int width;  // number of set bits
};

Channel ChannelOf(uint32_t mask) {
    Channel c{0, 0};
    if (mask == 0) return c;
    while (((mask >> c.shift) & 1u) == 0) ++c.shift;
    while (c.shift + c.width < 32 && ((mask >> (c.shift + c.width)) & 1u) != 0) ++c.width;
    return c;
}

bool Contiguous(uint32_t mask) {
    const Channel c = ChannelOf(mask);
    if (c.width == 0) return false;
    const uint32_t run = c.width == 32 ? ~0u : ((1u << c.width) - 1u) << c.shift;
    return run == mask;
}

// An 8-bit value widened or narrowed to width bits.
uint32_t Scale(uint32_t value8, int width) {
    if (width <= 8) return value8 >> (8 - width);
    uint32_t out = 0;
    int filled = 0;
    while (filled < width) {
        out = (out << 8) | value8;
        filled += 8;
    }
    return out >> (filled - width);
}

// Where each channel goes, found once per frame rather than per pixel.
struct Placement {
    Channel red, green, blue;
};

Placement PlacementOf(const PixelLayout& l) {
    return {ChannelOf(l.redMask), ChannelOf(l.greenMask), ChannelOf(l.blueMask)};
}

uint32_t Place(uint32_t value8, Channel c) { return Scale(value8, c.width) << c.shift; }

uint32_t Pack(uint32_t rgb, const Placement& p) {
    return Place((rgb >> 16) & 0xFFu, p.red) | Place((rgb >> 8) & 0xFFu, p.green) | Place(rgb & 0xFFu, p.blue);
}

bool HostIsLittleEndian() {
    const uint32_t probe = 1;
    uint8_t first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

bool IsPlainRgb32(const PixelLayout& l) {
    return l.bitsPerPixel == 32 && HostIsLittleEndian() && !l.mostSignificantByteFirst && l.redMask == 0xFF0000u &&
           l.greenMask == 0x00FF00u && l.blueMask == 0x0000FFu;
}

}  // namespace

bool PixelLayoutSupported(const PixelLayout& l) {
    if (l.bitsPerPixel != 8 && l.bitsPerPixel != 16 && l.bitsPerPixel != 24 && l.bitsPerPixel != 32) return false;
    if (!Contiguous(l.redMask) || !Contiguous(l.greenMask) || !Contiguous(l.blueMask)) return false;
    if ((l.redMask & l.greenMask) != 0 || (l.redMask & l.blueMask) != 0 || (l.greenMask & l.blueMask) != 0) {
        return false;
    }
    const uint64_t all = uint64_t{l.redMask} | l.greenMask | l.blueMask;
    if ((all >> l.bitsPerPixel) != 0) return false;
    return l.bytesPerLine >= kFrameWidth * (l.bitsPerPixel / 8);
}

uint32_t PackPixel(uint32_t rgb, const PixelLayout& l) { return Pack(rgb, PlacementOf(l)); }

void ConvertFrame(const uint32_t* frame, const PixelLayout& l, uint8_t* rows) {
    const int bytes = l.bitsPerPixel / 8;
    // The common case is the Frame buffer's own word: a plain copy.
    const bool plain = IsPlainRgb32(l);
    const Placement placement = PlacementOf(l);
    for (int line = 0; line < kFrameHeight; ++line) {
        const uint32_t* const source = frame + (kFrameHeight - 1 - line) * kFrameWidth;
        uint8_t* out = rows + static_cast<size_t>(line) * static_cast<size_t>(l.bytesPerLine);
        if (plain) {
            std::memcpy(out, source, static_cast<size_t>(kFrameWidth) * 4);
            continue;
        }
        for (int x = 0; x < kFrameWidth; ++x, out += bytes) {
            const uint32_t pixel = Pack(source[x] & 0xFFFFFFu, placement);
            for (int b = 0; b < bytes; ++b) {
                const int shift = 8 * (l.mostSignificantByteFirst ? bytes - 1 - b : b);
                out[b] = static_cast<uint8_t>(pixel >> shift);
            }
        }
    }
}
