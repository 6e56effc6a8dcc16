// A synthetic camera picture: a projection screen seen at an angle, a red
// laser spot and optional distractors, for virtual cameras, integration
// tests and benchmarks.
//
// Frames are 640 x 480 words 0x00RRGGBB, bottom-up: pixel (x, row) is
// element row * 640 + x and row 0 is the bottom line of the picture. All
// positions below are in these frame coordinates.
#pragma once

#include <cstdint>

#include "state/tracker_state.h"

struct ScenePoint {
    int32_t x, y;
};

struct SceneSettings {
    // The screen's corners: lower-left, lower-right, upper-left, upper-right.
    // The quad must be convex; a pixel whose (x, row) lies inside or on its
    // edges shows the screen colour, every other pixel the surround colour.
    ScenePoint screen[4] = {{60, 50}, {590, 30}, {30, 430}, {620, 460}};
    uint32_t screenColor = 0x00464E60;
    uint32_t surroundColor = 0x00181A20;

    // Every background pixel gets the same offset in [-noise, noise] on all
    // three channels, a hash of (x, row, frame index, seed). Clamped to 0..64.
    int32_t noise = 6;
    uint32_t seed = 1;

    // The laser spot. With integer centre (spotX, spotY) and radius r =
    // spotRadius, exactly the pixels (x, row) inside the frame with
    // (x - spotX)^2 + (row - spotY)^2 <= r^2 get red spotRed (green and blue
    // spotRed / 2). A halo reaching 2r + 2 from the centre raises the red of
    // the pixels around it towards spotRed - 1, never to spotRed. So when
    // spotRed is above the background's red and no distractor reaches it,
    // the detector's brightest-red box is exactly the bounding box of that
    // disc. Radius 0 (or less) means no spot; radii are capped at 640 and
    // reds clamped to 0..255.
    int32_t spotX = 320, spotY = 240;
    int32_t spotRadius = 4;
    int32_t spotRed = 250;

    // A pure white square (red 255), drawn over everything else: columns
    // whiteX - whiteSize / 2 .. that + whiteSize - 1, rows likewise from
    // whiteY. Size 0 (or less) means none.
    int32_t whiteX = 480, whiteY = 120;
    int32_t whiteSize = 0;

    // A second spot drawn like the first, before it: where the two overlap,
    // the first spot's core wins.
    int32_t spot2X = 160, spot2Y = 320;
    int32_t spot2Radius = 0;
    int32_t spot2Red = 240;

    // A projected white slide: the screen shows grey of this level under
    // the default exposure instead of its own colour (0: no slide).
    int32_t slideRed = 0;

    // The camera's exposure controls. Under automatic exposure the picture
    // is the default one. In manual, exposure and gain scale the light (100
    // each gives the default picture) and brightness is added to every
    // channel, noise coming after both. The spots, far brighter than the
    // screen, keep their red until the light falls below a sixteenth.
    int32_t exposureAuto = 1;
    int32_t exposure = 100;
    int32_t gain = 100;
    int32_t brightness = 0;

    // Not drawn: while non-zero, a virtual camera behaves as one whose
    // cable is out (it fails its stream and refuses to open).
    int32_t unplugged = 0;

    // Non-zero: the camera sees the real desktop (desktop_view.h) instead
    // of the drawn screen, its corners (lower-left, lower-right, upper-left,
    // upper-right; x then row, fractions allowed) where these say, the
    // picture `desktopLag` frames late.
    int32_t desktop = 0;
    double desktopCorners[8] = {40.0, 69.0, 610.0, 49.0, 70.0, 419.0, 590.0, 434.0};
    int32_t desktopLag = 2;
};

constexpr int32_t kExposureUnit = 100;
constexpr int32_t kGainUnit = 100;

// The screen's colour as the given one of several virtual cameras (1 for
// the first) shows it: each its own, so that a switch between them shows.
uint32_t CameraScreenColor(int camera);

// Writes all kFramePixels words of frame.
void RenderScene(const SceneSettings& s, uint32_t frameIndex, uint32_t* frame);

// The background's noise offset of pixel (x, row) in that frame, in
// [-noise, noise].
int32_t SceneNoise(const SceneSettings& s, uint32_t frameIndex, int32_t x, int32_t row);
