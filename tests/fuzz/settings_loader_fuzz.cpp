// Any bytes as "Lumidart.set", loaded through the real file functions, then
// a Tracking pass, a Threshold-view pass and a Preview pass over the
// resulting quad and Search box: no access outside the Frame buffer (an
// allocation of exactly one frame), no undefined behaviour, and every
// injected cursor move on the 0..65535 scale.
//
// The whole input is the file. The loader ignores what follows the 16th
// byte; this harness reads its scene from the next 16 bytes when they are
// there (see Scene), and uses a plain scene otherwise.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analysis/analysis_worker.h"
#include "app/main_window.h"
#include "fake_platform/fake_platform.h"
#include "fuzz/fuzz_input.h"
#include "preview/soft_picture.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"

namespace {

constexpr uint32_t kSpotPixel = 0x00FF0000u;

// Window placement of a 1024 x 768 screen with 4-pixel frames, as the fake
// reports it; the client area starts at (192, 153).
constexpr int32_t kWindowLeft = 189, kWindowTop = 131, kWindowRight = 835, kWindowBottom = 636;
constexpr int32_t kClientLeft = kWindowLeft + 3, kClientTop = kWindowTop + 19 + 3;

struct Scene {
    int32_t screenWidth, screenHeight;
    int32_t cursorX, cursorY;  // client coordinates, anywhere on the screen
    uint8_t keys;              // bits: left, middle, right button, F12
    int32_t spotX, spotY;      // frame coordinates of a 3 x 3 spot of red 255
};

Scene ReadScene(const uint8_t* data, size_t size) {
    if (size < kSettingsFileBytes + 16) return {1024, 768, 320, 240, 0, 320, 240};
    FuzzInput in{data + kSettingsFileBytes, 16, 0};
    Scene scene;
    scene.screenWidth = ScreenSide(TakeU16(&in));
    scene.screenHeight = ScreenSide(TakeU16(&in));
    scene.cursorX = static_cast<int16_t>(TakeU16(&in));
    scene.cursorY = static_cast<int16_t>(TakeU16(&in));
    scene.keys = TakeU8(&in);
    scene.spotX = TakeU16(&in) % kFrameWidth;
    scene.spotY = TakeU16(&in) % kFrameHeight;
    return scene;
}

// The settings file lives in a directory of our own, removed at exit. The
// process enters it only around the load: the fuzzing engine's paths are
// relative to where it started.
std::string g_directory;
int g_startDirectory = -1;

void RemoveDirectory() {
    if (chdir(g_directory.c_str()) == 0) unlink(kSettingsFileName);
    if (fchdir(g_startDirectory) == 0) rmdir(g_directory.c_str());
}

// In memory where there is a file system in memory: rewriting a file on
// some disk file systems forces it out to the disk each time.
std::string TemporaryBase() {
    struct stat info;
    if (stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) && access("/dev/shm", W_OK) == 0) return "/dev/shm";
    const char* base = std::getenv("TMPDIR");
    return base != nullptr && *base != '\0' ? base : "/tmp";
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::perror(what);
        std::abort();
    }
}

uint32_t* SetUpOnce() {
    static uint32_t* frame = [] {
        std::string pattern = TemporaryBase() + "/lumidart-fuzz-XXXXXX";
        Check(mkdtemp(pattern.data()) != nullptr, "private directory");
        g_directory = pattern;
        g_startDirectory = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        Check(g_startDirectory >= 0, "current directory");
        std::atexit(RemoveDirectory);
        return SoftCreatePicture();
    }();
    return frame;
}

void WriteSettingsFile(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(kSettingsFileName, "wb");
    Check(file != nullptr && std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0, kSettingsFileName);
}

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// The file's first 16 bytes are the quad; a shorter file gives the defaults.
void CheckLoadedQuad(const uint8_t* data, size_t size) {
    static const uint8_t kDefaults[kSettingsFileBytes] = {0x28, 0, 0x28, 0, 0x58, 2, 0x28, 0,
                                                         0x28, 0, 0xB8, 1, 0x58, 2, 0xB8, 1};
    uint8_t loaded[kSettingsFileBytes];
    EncodeCalibration(loaded);
    const uint8_t* const expected = size >= kSettingsFileBytes ? data : kDefaults;
    if (std::memcmp(loaded, expected, sizeof loaded) != 0) Fail("quad differs from the file");
    for (int i = 0; i < kCornerValues; ++i) {
        if (Corner(i) < 0 || Corner(i) > 65535) Fail("corner outside 0..65535");
    }
}

// Every red in the frame is 0 but the spot's: the passes draw only pens
// without red, except the white squares of the buttons and what the
// magnifier copies, which are cleared after each case. So a Tracking pass
// sees the same frame for the same input, at no cost per pixel.
void ClearBlock(uint32_t* frame, int32_t left, int32_t top, int32_t size) {
    for (int32_t line = std::max(top, 0); line < std::min(top + size, kFrameHeight); ++line) {
        for (int32_t x = std::max(left, 0); x < std::min(left + size, kFrameWidth); ++x) {
            frame[(kFrameHeight - 1 - line) * kFrameWidth + x] = 0;
        }
    }
}

void PaintSpot(uint32_t* frame, const Scene& scene, uint32_t value) {
    for (int32_t y = scene.spotY - 1; y <= scene.spotY + 1; ++y) {
        for (int32_t x = scene.spotX - 1; x <= scene.spotX + 1; ++x) {
            if (x >= 0 && x < kFrameWidth && y >= 0 && y < kFrameHeight) frame[y * kFrameWidth + x] = value;
        }
    }
}

void ClearDrawing(uint32_t* frame, const Scene& scene) {
    PaintSpot(frame, scene, 0);
    // Where the button squares and the magnifier are drawn.
    ClearBlock(frame, 150, 250, 32);
    ClearBlock(frame, 300, 250, 32);
    ClearBlock(frame, 450, 250, 32);
    ClearBlock(frame, scene.cursorX - 16, scene.cursorY - 16, 32);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t* const frame = SetUpOnce();
    const Scene scene = ReadScene(data, size);

    ResetTrackerState();
    FakeReset();
    g_tracker.mainWindow.store(FakeWindow());
    g_tracker.screenWidth.store(scene.screenWidth);
    g_tracker.screenHeight.store(scene.screenHeight);
    FakeSetWindowRect(kWindowLeft, kWindowTop, kWindowRight, kWindowBottom);
    g_fake.cursorX.store(kClientLeft + scene.cursorX);
    g_fake.cursorY.store(kClientTop + scene.cursorY);
    g_fake.keyDown[kKeyLeftButton].store((scene.keys & 1) != 0);
    g_fake.keyDown[kKeyMiddleButton].store((scene.keys & 2) != 0);
    g_fake.keyDown[kKeyRightButton].store((scene.keys & 4) != 0);
    g_fake.keyDown[kKeyF12].store((scene.keys & 8) != 0);

    // What window creation does once the picture exists.
    g_tracker.frame.store(frame);
    Check(chdir(g_directory.c_str()) == 0, "private directory");
    WriteSettingsFile(data, size);
    LoadCalibration();
    Check(fchdir(g_startDirectory) == 0, "current directory");
    UpdateSearchBox();
    CheckLoadedQuad(data, size);
    PaintSpot(frame, scene, kSpotPixel);

    OnMinimized();
    RunAnalysisPass();
    for (const InjectedMove& move : FakeMoves()) {
        if (move.x < 0 || move.x > 65535 || move.y < 0 || move.y > 65535) Fail("cursor move off the 0..65535 scale");
    }
    StoreMode(kModeThreshold);
    RunAnalysisPass();
    StoreMode(kModePreview);
    RunAnalysisPass();
    ClearDrawing(frame, scene);
    return 0;
}
