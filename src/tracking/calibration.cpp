#include "tracking/calibration.h"

#include "state/platform.h"
#include "state/tracker_state.h"

namespace {

constexpr int32_t kDefaultCorners[kCornerValues] = {40, 40, 600, 40, 40, 440, 600, 440};

void StoreCorner(int index, int32_t value) {
    g_tracker.corners[index].store(value, std::memory_order_relaxed);
}

}  // namespace

void SetDefaultCalibration() {
    for (int i = 0; i < kCornerValues; ++i) StoreCorner(i, kDefaultCorners[i]);
}

void EncodeCalibration(uint8_t bytes[kSettingsFileBytes]) {
    for (int i = 0; i < kCornerValues; ++i) {
        const uint32_t low = static_cast<uint32_t>(Corner(i)) & 0xFFFFu;
        bytes[2 * i] = static_cast<uint8_t>(low & 0xFFu);
        bytes[2 * i + 1] = static_cast<uint8_t>(low >> 8);
    }
}

void DecodeCalibration(const uint8_t bytes[kSettingsFileBytes]) {
    // Unsigned on load: 0xFFFF is 65535, never -1.
    for (int i = 0; i < kCornerValues; ++i) {
        StoreCorner(i, static_cast<int32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    }
}

void LoadCalibration() {
    g_tracker.settingsUnread = false;
    PlatformFile* file = PlatformOpenExistingFile(kSettingsFileName);
    if (file == nullptr) {
        // Locked by another program, say: its corners are still there.
        g_tracker.settingsUnread = PlatformFileExists(kSettingsFileName);
        SetDefaultCalibration();
        return;
    }
    uint8_t bytes[kSettingsFileBytes];
    const int64_t size = PlatformFileSize(file);
    const bool complete = size >= kSettingsFileBytes && PlatformReadFile(file, bytes, sizeof bytes);
    PlatformCloseFile(file);
    if (complete) {
        DecodeCalibration(bytes);
        return;
    }
    // A short file holds no quad worth keeping; anything else that failed
    // (not a regular file, a read error) may.
    g_tracker.settingsUnread = size < 0 || size >= kSettingsFileBytes;
    SetDefaultCalibration();
}

void SaveCalibration() {
    // The defaults in memory must not overwrite corners we could not read.
    if (g_tracker.settingsUnread && !TestStatus(kCornersDirty)) return;
    uint8_t bytes[kSettingsFileBytes];
    EncodeCalibration(bytes);
    // Nobody is told about a failed save; the quad in memory stays as it is.
    PlatformReplaceFile(kSettingsFileName, bytes, sizeof bytes);
}

void SetCorner(uint16_t clientX, uint16_t clientY) {
    // A window manager that ignores the fixed size can give the window more
    // than the picture; a press there is no point of the frame, and its
    // negative row would be stored as a large unsigned one.
    if (clientX >= kFrameWidth || clientY >= kFrameHeight) return;
    const int32_t x = clientX;
    // 480, not 479: the outline drawn at line 479 - y passes one line above
    // the clicked point, and the topmost client line gives row 480.
    const int32_t y = kFrameHeight - static_cast<int32_t>(clientY);
    // The quarter the click falls in: lower-left, lower-right, upper-left,
    // upper-right, the corners' order.
    const int corner = (x < kFrameWidth / 2 ? 0 : 1) + (y < kFrameHeight / 2 ? 0 : 2);
    StoreCorner(2 * corner, x);
    StoreCorner(2 * corner + 1, y);
    SetStatus(kCornersDirty);
    UpdateSearchBox();
}

void SetQuad(const int32_t quad[kCornerValues]) {
    for (int i = 0; i < kCornerValues; ++i) StoreCorner(i, quad[i]);
    SetStatus(kCornersDirty);
    UpdateSearchBox();
}

void UpdateSearchBox() {
    const auto lesser = [](int32_t a, int32_t b) { return a < b ? a : b; };
    const auto greater = [](int32_t a, int32_t b) { return a > b ? a : b; };
    g_tracker.xMin.store(lesser(Corner(kLowerLeftX), Corner(kUpperLeftX)), std::memory_order_relaxed);
    g_tracker.xMax.store(greater(Corner(kLowerRightX), Corner(kUpperRightX)), std::memory_order_relaxed);
    g_tracker.yMin.store(lesser(Corner(kLowerLeftY), Corner(kLowerRightY)), std::memory_order_relaxed);
    g_tracker.yMax.store(greater(Corner(kUpperLeftY), Corner(kUpperRightY)), std::memory_order_relaxed);
}
