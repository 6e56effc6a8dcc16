// The mode lists a virtual camera can advertise, like those of the webcams
// people own, and the drawing of the scene in whichever mode is chosen.
#pragma once

#include <cstddef>
#include <cstdint>

// Motion JPEG modes are drawn as RGB32, then encoded.
enum class ModePixels { kRgb32, kYuy2, kJpeg };

struct CameraMode {
    ModePixels pixels;
    int32_t width, height;
    int32_t framesPerSecond;
};

struct ModeList {
    const char* name;
    const CameraMode* modes;
    size_t count;
};

// By name: "single" (640 x 480 RGB32 at 30, the default), "webcam-1080p"
// (largest first, the large sizes slow), "wide" (16:9 sizes only),
// "hd-first" (1280 x 720 first, 640 x 480 faster further down),
// "webcam-mjpeg" (motion JPEG at every size, faster than the raw modes).
// Null for an unknown name.
const ModeList* FindModeList(const char* name);
const ModeList& DefaultModeList();

// The list named by LUMIDART_VIRTUALCAM_MODES, or the default when it is
// unset or names no list.
const ModeList& ModeListFromEnvironment();

// Bytes of one drawn frame in the mode: 4 a pixel for RGB32 and motion
// JPEG, 2 for YUY2 (whose width must be even).
size_t ModeFrameBytes(const CameraMode& mode);

// Draws a bottom-up 640 x 480 scene frame (0x00RRGGBB words) into out in
// the mode, rows top-down when topDown, else bottom-up, stride bytes
// apart: stretched to the mode's size by the nearest scene pixel, YUY2 as
// limited-range BT.601 with each pair's chroma taken from its left pixel.
void DrawInMode(const uint32_t* scene, const CameraMode& mode, bool topDown, uint8_t* out, size_t stride);
