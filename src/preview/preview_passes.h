// What the worker draws into the Frame buffer in Preview and Threshold view.
#pragma once

#include <cstdint>

// Crosshair, quad outline, magnifier, then the copy to the window.
void DrawPreviewPass();
// Threshold map, button indicators, quad outline, then the copy.
void DrawThresholdPass();

void DrawCrosshair();
void DrawQuadOutline();
void DrawMagnifier();
void DrawThresholdMap();
void DrawButtonIndicators();

// The red level a Threshold-map row is compared with: 224 on the box's
// lowest row falling to 112 on its highest; rows whose bit 1 is set repeat
// the level of the row before them.
int32_t ThresholdRowLevel(int32_t y, int32_t yMin, int32_t yMax);
