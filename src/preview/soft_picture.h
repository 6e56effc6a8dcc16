// The picture operations in software, on a Frame buffer of our own, with the
// pixel rules of the system's drawing library: one-pixel lines without their
// end point, rectangles with exclusive right and bottom bounds, a 2x block
// stretch, all clipped to the picture. Platforms without such a library
// forward their picture operations here.
#pragma once

#include <cstdint>

#include "state/platform.h"

// Pixel values (0x00RRGGBB) of the pens and the rectangle fill.
constexpr uint32_t kQuadPenPixel = 0x000000FFu;       // blue
constexpr uint32_t kCrosshairPenPixel = 0x0000FFFFu;  // cyan
constexpr uint32_t kDefaultPenPixel = 0x00000000u;    // black
constexpr uint32_t kFillPixel = 0x00FFFFFFu;          // white

uint32_t* SoftCreatePicture();
void SoftReleasePicture();
void SoftSelectPen(PlatformPen pen);
void SoftDrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void SoftDrawRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
void SoftStretchBlock2x(int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY);
