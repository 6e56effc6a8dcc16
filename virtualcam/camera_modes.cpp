#include "virtualcam/camera_modes.h"

#include <cstdlib>
#include <cstring>

#include "state/tracker_state.h"

namespace {

const CameraMode kSingle[] = {{ModePixels::kRgb32, 640, 480, 30}};
const CameraMode kWebcam1080p[] = {
    {ModePixels::kYuy2, 1920, 1080, 5}, {ModePixels::kYuy2, 1280, 720, 10}, {ModePixels::kRgb32, 640, 480, 15},
    {ModePixels::kYuy2, 640, 480, 30},  {ModePixels::kYuy2, 320, 240, 30},
};
const CameraMode kWide[] = {
    {ModePixels::kYuy2, 1920, 1080, 5}, {ModePixels::kYuy2, 1280, 720, 10}, {ModePixels::kYuy2, 640, 360, 30}};
const CameraMode kHdFirst[] = {
    {ModePixels::kRgb32, 1280, 720, 30}, {ModePixels::kRgb32, 640, 480, 15}, {ModePixels::kRgb32, 640, 480, 30},
    {ModePixels::kRgb32, 320, 240, 30}};
const CameraMode kWebcamMjpeg[] = {
    {ModePixels::kYuy2, 1920, 1080, 5}, {ModePixels::kYuy2, 1280, 720, 10}, {ModePixels::kYuy2, 640, 480, 15},
    {ModePixels::kJpeg, 1920, 1080, 30}, {ModePixels::kJpeg, 1280, 720, 30}, {ModePixels::kJpeg, 640, 480, 30}};

#define LIST(name, modes) {name, modes, sizeof modes / sizeof modes[0]}
const ModeList kLists[] = {
    LIST("single", kSingle), LIST("webcam-1080p", kWebcam1080p), LIST("wide", kWide), LIST("hd-first", kHdFirst),
    LIST("webcam-mjpeg", kWebcamMjpeg)};
#undef LIST

uint8_t Clamp(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Limited-range BT.601, in 16-bit fixed point with rounding.
uint8_t LumaOf(uint32_t p) {
    const int32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return Clamp(16 + ((16829 * r + 33039 * g + 6416 * b + 32768) >> 16));
}

void ChromaOf(uint32_t p, uint8_t* u, uint8_t* v) {
    const int32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    *u = Clamp(128 + ((-9714 * r - 19070 * g + 28784 * b + 32768) >> 16));
    *v = Clamp(128 + ((28784 * r - 24103 * g - 4681 * b + 32768) >> 16));
}

}  // namespace

const ModeList* FindModeList(const char* name) {
    if (name == nullptr) return nullptr;
    for (const ModeList& list : kLists) {
        if (std::strcmp(list.name, name) == 0) return &list;
    }
    return nullptr;
}

const ModeList& DefaultModeList() { return kLists[0]; }

const ModeList& ModeListFromEnvironment() {
    const ModeList* const list = FindModeList(std::getenv("LUMIDART_VIRTUALCAM_MODES"));
    return list != nullptr ? *list : DefaultModeList();
}

size_t ModeFrameBytes(const CameraMode& mode) {
    const size_t pixels = static_cast<size_t>(mode.width) * static_cast<size_t>(mode.height);
    return mode.pixels == ModePixels::kYuy2 ? pixels * 2 : pixels * 4;
}

void DrawInMode(const uint32_t* scene, const CameraMode& mode, bool topDown, uint8_t* out, size_t stride) {
    for (int32_t line = 0; line < mode.height; ++line) {
        // Output line 0 is the picture's top when topDown, else its bottom.
        const int32_t fromTop = topDown ? line : mode.height - 1 - line;
        const int32_t sceneRow = kFrameHeight - 1 - static_cast<int32_t>(int64_t(fromTop) * kFrameHeight / mode.height);
        const uint32_t* const row = scene + static_cast<size_t>(sceneRow) * kFrameWidth;
        uint8_t* const dst = out + static_cast<size_t>(line) * stride;
        if (mode.pixels != ModePixels::kYuy2 && mode.width == kFrameWidth) {
            std::memcpy(dst, row, static_cast<size_t>(kFrameWidth) * 4);
            continue;
        }
        for (int32_t x = 0; x < mode.width; ++x) {
            const uint32_t p = row[int64_t(x) * kFrameWidth / mode.width];
            if (mode.pixels != ModePixels::kYuy2) {
                std::memcpy(dst + 4 * x, &p, 4);
            } else {
                dst[2 * x] = LumaOf(p);
                if (x % 2 == 0) ChromaOf(p, &dst[2 * x + 1], &dst[2 * x + 3]);
            }
        }
    }
}
