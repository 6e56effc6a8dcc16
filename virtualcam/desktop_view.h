// A camera that looks at the real desktop: the screen as the platform grabs
// it, warped onto the picture by the perspective that puts its corners
// where SceneSettings::desktopCorners say, sampled bilinearly, in a dim
// room, with a camera's automatic exposure and its lateness. Whatever is
// on the desktop (the program's own patterns, a red window standing in for
// the laser) reaches the picture as a real camera would see it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "virtualcam/scene.h"

// The desktop's pixels, top line first, 0x00RRGGBB.
struct DesktopPicture {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

// The platform's part: the whole desktop as it is now (on X11 the root
// window, on Windows the primary screen as GDI sees it); false when it
// cannot be read.
bool GrabDesktop(DesktopPicture* picture);

// What the camera keeps from frame to frame.
struct DesktopView {
    std::vector<DesktopPicture> recent;  // the last grabs, a ring
    size_t newest = 0;
    // The automatic exposure's gain, following the picture's brightness.
    double autoGain = 1.0;
};

// The screen's black: a dark desktop pixel still glows this much.
constexpr int32_t kDesktopBlack = 40;
// A pure red desktop pixel is the laser: like the drawn scene's spot it
// saturates the sensor many times over, so it keeps its red where white
// is dimmed by the exposure.
constexpr uint32_t kDesktopLaser = 0x00FF0000u;
constexpr double kLaserHeadroom = 16.0;
// Automatic exposure aims at this mean brightness, moving this share of
// the way each frame, within these gains.
constexpr double kAutoExposureTarget = 70.0, kAutoExposureRate = 0.3;
constexpr double kAutoGainMin = 0.5, kAutoGainMax = 2.0;

// True when the camera shows the desktop: `desktop 1` in the control file,
// or LUMIDART_VIRTUALCAM_SCENE=desktop.
bool DesktopSceneWanted(const SceneSettings& s);

// One frame of the desktop as the camera sees it, the picture given;
// returns the frame's mean brightness before the exposure.
double RenderDesktopPicture(const SceneSettings& s, const DesktopPicture& desktop, double gain, uint32_t frameIndex,
                            uint32_t* frame);

// The camera's frame: the desktop when wanted (grabbed now, shown
// desktopLag frames late; the drawn screen while nothing could be
// grabbed), otherwise the drawn scene.
void RenderCameraPicture(const SceneSettings& s, DesktopView* view, uint32_t frameIndex, uint32_t* frame);
