#include "virtualcam/scene.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int32_t kMaxNoise = 64;
constexpr int32_t kMaxRadius = 640;

// A cheap avalanche mix: per-pixel noise must cost a few instructions, and
// the same inputs must give the same frame on every platform.
uint32_t Mix(uint32_t h) {
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

int32_t Channel(uint32_t color, int shift) { return static_cast<int32_t>((color >> shift) & 0xFFu); }

uint32_t Pack(int32_t r, int32_t g, int32_t b) {
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
}

int32_t Clamp8(int32_t v) { return std::min(255, std::max(0, v)); }

uint32_t AddNoise(uint32_t color, int32_t n) {
    return Pack(Clamp8(Channel(color, 16) + n), Clamp8(Channel(color, 8) + n), Clamp8(Channel(color, 0) + n));
}

// Columns of the convex quad on one row, inclusive; empty when lo > hi.
void QuadSpan(const ScenePoint* corners, int32_t row, int32_t* lo, int32_t* hi) {
    // Perimeter order: lower-left, lower-right, upper-right, upper-left.
    const ScenePoint ring[4] = {corners[0], corners[1], corners[3], corners[2]};
    double minX = 1e9, maxX = -1e9;
    for (int i = 0; i < 4; ++i) {
        const ScenePoint a = ring[i];
        const ScenePoint b = ring[(i + 1) % 4];
        if (row < std::min(a.y, b.y) || row > std::max(a.y, b.y)) continue;
        if (a.y == b.y) {
            minX = std::min({minX, double(a.x), double(b.x)});
            maxX = std::max({maxX, double(a.x), double(b.x)});
            continue;
        }
        const double x = a.x + double(row - a.y) * (b.x - a.x) / (b.y - a.y);
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
    }
    *lo = std::max(0, static_cast<int32_t>(std::ceil(std::max(minX, -1.0))));
    *hi = std::min(kFrameWidth - 1, static_cast<int32_t>(std::floor(std::min(maxX, double(kFrameWidth)))));
}

// The light reaching the picture as a fraction num / den of the default.
struct Light {
    int64_t num, den;
    int32_t offset;
};

Light LightOf(const SceneSettings& s) {
    const int64_t exposure = s.exposureAuto != 0 ? kExposureUnit : std::max(0, s.exposure);
    return {exposure * std::max(0, s.gain), int64_t{kExposureUnit} * kGainUnit, s.brightness};
}

int32_t Lit(int32_t channel, const Light& light) {
    const int64_t scaled = (int64_t{channel} * light.num + light.den / 2) / light.den;
    return Clamp8(static_cast<int32_t>(std::min<int64_t>(scaled + light.offset, 255)));
}

uint32_t LitColor(uint32_t color, const Light& light) {
    return Pack(Lit(Channel(color, 16), light), Lit(Channel(color, 8), light), Lit(Channel(color, 0), light));
}

// A spot saturates the sensor many times over: darker light leaves its red
// alone until a sixteenth of the default, brighter light and brightness
// still raise it.
int32_t LitSpotRed(int32_t red, const Light& light) {
    constexpr int64_t kHeadroom = 16;
    const int64_t brighter = std::max(int64_t{red}, (int64_t{red} * light.num) / light.den) + std::max(0, light.offset);
    const int64_t dimmed = (int64_t{red} * kHeadroom * light.num) / light.den + light.offset;
    return Clamp8(static_cast<int32_t>(std::clamp<int64_t>(std::min(brighter, dimmed), 0, 255)));
}

uint32_t FrameKey(const SceneSettings& s, uint32_t frameIndex) {
    return Mix(frameIndex * 0xC2B2AE3Du ^ Mix(s.seed + 0x9E3779B9u));
}

int32_t NoiseOf(uint32_t rowKey, int32_t x, int32_t amp) {
    const uint32_t levels = static_cast<uint32_t>(2 * amp + 1);
    const uint32_t h = Mix(rowKey + static_cast<uint32_t>(x) * 0x9E3779B1u);
    return static_cast<int32_t>(((h & 0xFFFFu) * levels) >> 16) - amp;
}

uint32_t RowKey(uint32_t frameKey, int32_t row) { return frameKey ^ (static_cast<uint32_t>(row) * 0x85EBCA77u); }

int32_t Amplitude(const SceneSettings& s) { return std::min(kMaxNoise, std::max(0, s.noise)); }

void RenderBackground(const SceneSettings& s, const Light& light, uint32_t frameIndex, uint32_t* frame) {
    const int32_t slide = Clamp8(s.slideRed);
    const uint32_t screenColor = LitColor(s.slideRed > 0 ? Pack(slide, slide, slide) : s.screenColor, light);
    const uint32_t surroundColor = LitColor(s.surroundColor, light);
    const int32_t amp = Amplitude(s);
    const uint32_t frameKey = FrameKey(s, frameIndex);
    for (int32_t row = 0; row < kFrameHeight; ++row) {
        int32_t lo, hi;
        QuadSpan(s.screen, row, &lo, &hi);
        const uint32_t rowKey = RowKey(frameKey, row);
        uint32_t* line = frame + row * kFrameWidth;
        for (int32_t x = 0; x < kFrameWidth; ++x) {
            const uint32_t base = (x >= lo && x <= hi) ? screenColor : surroundColor;
            line[x] = AddNoise(base, NoiseOf(rowKey, x, amp));
        }
    }
}

void RenderSpot(int32_t cx, int32_t cy, int32_t radius, int32_t red, uint32_t* frame) {
    const int64_t r = std::min(kMaxRadius, radius);
    if (r <= 0) return;
    const int32_t coreRed = Clamp8(red);
    const uint32_t core = Pack(coreRed, coreRed / 2, coreRed / 2);
    const int64_t halo = 2 * r + 2;
    const int64_t x0 = std::max<int64_t>(0, cx - halo), x1 = std::min<int64_t>(kFrameWidth - 1, cx + halo);
    const int64_t y0 = std::max<int64_t>(0, cy - halo), y1 = std::min<int64_t>(kFrameHeight - 1, cy + halo);
    for (int64_t row = y0; row <= y1; ++row) {
        for (int64_t x = x0; x <= x1; ++x) {
            const int64_t d2 = (x - cx) * (x - cx) + (row - cy) * (row - cy);
            uint32_t& p = frame[row * kFrameWidth + x];
            if (d2 <= r * r) {
                p = core;
                continue;
            }
            if (d2 > halo * halo) continue;
            // t < 1 outside the disc, so the halo's red floors below spotRed.
            const double t = (double(halo) - std::sqrt(double(d2))) / double(halo - r);
            const int32_t bgRed = Channel(p, 16);
            const int32_t haloRed = bgRed + static_cast<int32_t>((coreRed - 1 - bgRed) * t * t);
            if (haloRed > bgRed) p = (p & 0x0000FFFFu) | (static_cast<uint32_t>(haloRed) << 16);
        }
    }
}

void RenderWhite(int32_t cx, int32_t cy, int32_t size, uint32_t white, uint32_t* frame) {
    if (size <= 0) return;
    const int64_t first = int64_t(cx) - size / 2, firstRow = int64_t(cy) - size / 2;
    const int64_t x0 = std::max<int64_t>(0, first), x1 = std::min<int64_t>(kFrameWidth - 1, first + size - 1);
    const int64_t y0 = std::max<int64_t>(0, firstRow), y1 = std::min<int64_t>(kFrameHeight - 1, firstRow + size - 1);
    for (int64_t row = y0; row <= y1; ++row) {
        for (int64_t x = x0; x <= x1; ++x) frame[row * kFrameWidth + x] = white;
    }
}

}  // namespace

void RenderScene(const SceneSettings& s, uint32_t frameIndex, uint32_t* frame) {
    const Light light = LightOf(s);
    RenderBackground(s, light, frameIndex, frame);
    RenderSpot(s.spot2X, s.spot2Y, s.spot2Radius, LitSpotRed(Clamp8(s.spot2Red), light), frame);
    RenderSpot(s.spotX, s.spotY, s.spotRadius, LitSpotRed(Clamp8(s.spotRed), light), frame);
    RenderWhite(s.whiteX, s.whiteY, s.whiteSize, LitColor(0x00FFFFFFu, light), frame);
}

int32_t SceneNoise(const SceneSettings& s, uint32_t frameIndex, int32_t x, int32_t row) {
    return NoiseOf(RowKey(FrameKey(s, frameIndex), row), x, Amplitude(s));
}

uint32_t CameraScreenColor(int camera) {
    // Dim enough that the laser alone reaches the spot level, on any of them.
    static const uint32_t kColors[] = {0x00464E60, 0x00405A38, 0x00584838, 0x00484848};
    const int count = static_cast<int>(sizeof kColors / sizeof kColors[0]);
    return kColors[(camera < 1 ? 0 : camera - 1) % count];
}
