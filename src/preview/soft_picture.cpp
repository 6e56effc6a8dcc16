#include "preview/soft_picture.h"

#include <cstdlib>
#include <cstring>

#include "state/tracker_state.h"

namespace {

// Created and released on the UI thread while the worker is not running;
// drawn on by the worker in between.
struct SoftPicture {
    uint32_t* pixels = nullptr;
    uint32_t pen = kDefaultPenPixel;
};
SoftPicture g_picture;

bool Inside(int64_t x, int64_t y) { return x >= 0 && x < kFrameWidth && y >= 0 && y < kFrameHeight; }

// Picture line y is Frame buffer row 479 - y.
void Plot(int64_t x, int64_t y, uint32_t value) {
    if (Inside(x, y)) g_picture.pixels[(kFrameHeight - 1 - y) * kFrameWidth + x] = value;
}

uint32_t Read(int32_t x, int32_t y) { return g_picture.pixels[(kFrameHeight - 1 - y) * kFrameWidth + x]; }

}  // namespace

uint32_t* SoftCreatePicture() {
    // 64-byte aligned, as the system's bitmaps are at least.
    void* memory = nullptr;
#if defined(_WIN32)
    memory = _aligned_malloc(kFrameBytes, 64);
#else
    if (posix_memalign(&memory, 64, kFrameBytes) != 0) memory = nullptr;
#endif
    if (memory != nullptr) std::memset(memory, 0, kFrameBytes);
    g_picture.pixels = static_cast<uint32_t*>(memory);
    g_picture.pen = kDefaultPenPixel;
    return g_picture.pixels;
}

void SoftReleasePicture() {
#if defined(_WIN32)
    _aligned_free(g_picture.pixels);
#else
    std::free(g_picture.pixels);
#endif
    g_picture.pixels = nullptr;
}

void SoftSelectPen(PlatformPen pen) {
    g_picture.pen = (pen == kPenQuad) ? kQuadPenPixel : kCrosshairPenPixel;
}

void SoftDrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (g_picture.pixels == nullptr) return;
    // A line whose bounding box misses the picture draws nothing; corners
    // from a damaged file would otherwise cost tens of thousands of steps.
    if ((x0 < 0 && x1 < 0) || (x0 >= kFrameWidth && x1 >= kFrameWidth) || (y0 < 0 && y1 < 0) ||
        (y0 >= kFrameHeight && y1 >= kFrameHeight)) {
        return;
    }
    // Bresenham in 64-bit (corners from a file reach 65535 and beyond the
    // picture); the end point itself is never drawn.
    int64_t x = x0, y = y0;
    const int64_t dx = std::llabs(int64_t{x1} - x0), dy = -std::llabs(int64_t{y1} - y0);
    const int64_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int64_t error = dx + dy;
    while (x != x1 || y != y1) {
        Plot(x, y, g_picture.pen);
        const int64_t e2 = 2 * error;
        if (e2 >= dy) {
            error += dy;
            x += sx;
        }
        if (e2 <= dx) {
            error += dx;
            y += sy;
        }
        // x and y only move towards the end point: past the picture's far
        // edge on either axis, nothing more can be drawn.
        if ((sx > 0 ? x >= kFrameWidth : x < 0) || (sy > 0 ? y >= kFrameHeight : y < 0)) return;
    }
}

void SoftDrawRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (g_picture.pixels == nullptr || right <= left || bottom <= top) return;
    const int64_t yEnd = bottom < kFrameHeight ? bottom : kFrameHeight;
    const int64_t xEnd = right < kFrameWidth ? right : kFrameWidth;
    for (int64_t y = top > 0 ? top : 0; y < yEnd; ++y) {
        for (int64_t x = left > 0 ? left : 0; x < xEnd; ++x) {
            const bool border = x == left || x == right - 1 || y == top || y == bottom - 1;
            Plot(x, y, border ? g_picture.pen : kFillPixel);
        }
    }
}

void SoftStretchBlock2x(int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY) {
    if (g_picture.pixels == nullptr) return;
    // Source and destination overlap: read the whole source first. Source
    // pixels outside the picture leave their destination squares unchanged.
    uint32_t block[16][16];
    bool present[16][16];
    for (int j = 0; j < 16; ++j) {
        for (int i = 0; i < 16; ++i) {
            present[j][i] = Inside(int64_t{srcX} + i, int64_t{srcY} + j);
            block[j][i] = present[j][i] ? Read(srcX + i, srcY + j) : 0;
        }
    }
    for (int j = 0; j < 32; ++j) {
        for (int i = 0; i < 32; ++i) {
            if (present[j / 2][i / 2]) Plot(int64_t{dstX} + i, int64_t{dstY} + j, block[j / 2][i / 2]);
        }
    }
}
