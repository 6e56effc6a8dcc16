#include "virtualcam/desktop_view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxLag = 8;

// NOTE: the program's corner estimate solves the same kind of system; the
// camera keeps its own, so that a fault in one cannot hide in the other.
// The perspective from frame coordinates to desktop ones (x, y from the
// top-left, continuous: pixel i spans i..i+1) that sends the corners to
// the desktop's: h[0..7] of u = (h0 x + h1 y + h2) / (h6 x + h7 y + 1), v
// likewise with h3..h5. False for corners that fix none.
bool SolvePerspective(const double corners[8], double width, double height, double h[8]) {
    const double targets[4][2] = {{0, height}, {width, height}, {0, 0}, {width, 0}};
    double a[8][9];
    for (int k = 0; k < 4; ++k) {
        const double x = corners[2 * k], y = corners[2 * k + 1], u = targets[k][0], v = targets[k][1];
        const double rowU[9] = {x, y, 1, 0, 0, 0, -u * x, -u * y, u};
        const double rowV[9] = {0, 0, 0, x, y, 1, -v * x, -v * y, v};
        std::memcpy(a[2 * k], rowU, sizeof rowU);
        std::memcpy(a[2 * k + 1], rowV, sizeof rowV);
    }
    for (int col = 0; col < 8; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 8; ++r) {
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        }
        if (std::fabs(a[pivot][col]) < 1e-12) return false;
        std::swap(a[col], a[pivot]);
        for (int r = 0; r < 8; ++r) {
            if (r == col) continue;
            const double f = a[r][col] / a[col][col];
            for (int c = col; c < 9; ++c) a[r][c] -= f * a[col][c];
        }
    }
    for (int i = 0; i < 8; ++i) h[i] = a[i][8] / a[i][i];
    return true;
}

struct Rgb {
    double r, g, b;
};

Rgb Unpack(uint32_t c) { return {double((c >> 16) & 0xFFu), double((c >> 8) & 0xFFu), double(c & 0xFFu)}; }

// A desktop pixel as the screen shows it, or the room beyond its edge.
Rgb Fetch(const DesktopPicture& d, int64_t x, int64_t y, const Rgb& room) {
    if (x < 0 || y < 0 || x >= d.width || y >= d.height) return room;
    const uint32_t pixel = d.pixels[static_cast<size_t>(y * d.width + x)];
    const Rgb c = Unpack(pixel);
    constexpr double kSpan = (255.0 - kDesktopBlack) / 255.0;
    const double red = pixel == kDesktopLaser ? 255.0 * kLaserHeadroom : kDesktopBlack + c.r * kSpan;
    return {red, kDesktopBlack + c.g * kSpan, kDesktopBlack + c.b * kSpan};
}

// Bilinear at desktop (u, v), pixel centres at half-integers.
Rgb Sample(const DesktopPicture& d, double u, double v, const Rgb& room) {
    const double px = u - 0.5, py = v - 0.5, fx = std::floor(px), fy = std::floor(py);
    const double ax = px - fx, ay = py - fy;
    const int64_t x = static_cast<int64_t>(fx), y = static_cast<int64_t>(fy);
    const Rgb p00 = Fetch(d, x, y, room), p10 = Fetch(d, x + 1, y, room);
    const Rgb p01 = Fetch(d, x, y + 1, room), p11 = Fetch(d, x + 1, y + 1, room);
    const auto mix = [ax, ay](double c00, double c10, double c01, double c11) {
        return (c00 + ax * (c10 - c00)) * (1 - ay) + (c01 + ax * (c11 - c01)) * ay;
    };
    return {mix(p00.r, p10.r, p01.r, p11.r), mix(p00.g, p10.g, p01.g, p11.g), mix(p00.b, p10.b, p01.b, p11.b)};
}

uint32_t Channel(double value, double gain, int32_t offset, int32_t noise) {
    const long v = std::lround(value * gain) + offset + noise;
    return static_cast<uint32_t>(std::clamp(v, 0L, 255L));
}

}  // namespace

bool DesktopSceneWanted(const SceneSettings& s) {
    const char* const scene = std::getenv("LUMIDART_VIRTUALCAM_SCENE");
    return s.desktop != 0 || (scene != nullptr && std::strcmp(scene, "desktop") == 0);
}

double RenderDesktopPicture(const SceneSettings& s, const DesktopPicture& desktop, double gain, uint32_t frameIndex,
                            uint32_t* frame) {
    double h[8] = {};
    const bool warped = SolvePerspective(s.desktopCorners, desktop.width, desktop.height, h);
    const Rgb room = Unpack(s.surroundColor);
    double total = 0;
    for (int32_t row = 0; row < kFrameHeight; ++row) {
        for (int32_t x = 0; x < kFrameWidth; ++x) {
            Rgb c = room;
            const double d = h[6] * x + h[7] * row + 1;
            if (warped && d > 0) {
                const double u = (h[0] * x + h[1] * row + h[2]) / d, v = (h[3] * x + h[4] * row + h[5]) / d;
                if (u > -1 && v > -1 && u < desktop.width + 1 && v < desktop.height + 1)
                    c = Sample(desktop, u, v, room);
            }
            total += (c.r + c.g + c.b) / 3;
            const int32_t n = SceneNoise(s, frameIndex, x, row);
            frame[row * kFrameWidth + x] = (Channel(c.r, gain, s.brightness, n) << 16) |
                                           (Channel(c.g, gain, s.brightness, n) << 8) |
                                           Channel(c.b, gain, s.brightness, n);
        }
    }
    return total / kFramePixels;
}

void RenderCameraPicture(const SceneSettings& s, DesktopView* view, uint32_t frameIndex, uint32_t* frame) {
    if (!DesktopSceneWanted(s)) {
        RenderScene(s, frameIndex, frame);
        return;
    }
    const size_t slots = static_cast<size_t>(std::clamp(s.desktopLag, 0, kMaxLag)) + 1;
    if (view->recent.size() != slots) {
        view->recent.assign(slots, DesktopPicture{});
        view->newest = 0;
    }
    view->newest = (view->newest + 1) % slots;
    DesktopPicture& now = view->recent[view->newest];
    if (!GrabDesktop(&now)) now.width = now.height = 0;
    // The oldest grab kept is desktopLag frames old; until there is one, the
    // newest.
    const DesktopPicture* shown = &view->recent[(view->newest + 1) % slots];
    if (shown->width == 0) shown = &now;
    if (shown->width == 0) {
        RenderScene(s, frameIndex, frame);
        return;
    }
    const bool automatic = s.exposureAuto != 0;
    const double gain = automatic ? view->autoGain
                                  : double(std::max(0, s.exposure)) * std::max(0, s.gain) / (kExposureUnit * kGainUnit);
    const double mean = RenderDesktopPicture(s, *shown, gain, frameIndex, frame);
    if (automatic && mean > 0) {
        const double wanted = std::clamp(kAutoExposureTarget / mean, kAutoGainMin, kAutoGainMax);
        view->autoGain += kAutoExposureRate * (wanted - view->autoGain);
    }
}
