#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tracking/spot_detector.h"
#include "virtualcam/camera_controls.h"
#include "virtualcam/control_file.h"
#include "virtualcam/scene.h"
#include "virtualcam/scene_control.h"

namespace {

const SearchBox kWholeFrame{0, kFrameWidth - 1, 0, kFrameHeight - 1};

std::vector<uint32_t> Render(const SceneSettings& s, uint32_t frameIndex = 0) {
    std::vector<uint32_t> frame(kFramePixels, 0xDEADBEEFu);
    RenderScene(s, frameIndex, frame.data());
    return frame;
}

uint32_t Red(uint32_t pixel) { return (pixel >> 16) & 0xFFu; }

TEST(SceneTest, SpotCoreIsExactlyTheDocumentedDisc) {
    // The last spot is clipped by the frame's corner.
    const int cases[][4] = {{320, 240, 4, 250}, {101, 377, 1, 225}, {500, 90, 12, 255}, {3, 476, 6, 240}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "spot " << c[0] << "," << c[1] << " r " << c[2]);
        SceneSettings s;
        s.spotX = c[0], s.spotY = c[1], s.spotRadius = c[2], s.spotRed = c[3];
        const std::vector<uint32_t> frame = Render(s, 7);
        int wrong = 0;
        uint32_t haloMax = 0;
        for (int row = 0; row < kFrameHeight; ++row) {
            for (int x = 0; x < kFrameWidth; ++x) {
                const uint32_t red = Red(frame[row * kFrameWidth + x]);
                const int d2 = (x - c[0]) * (x - c[0]) + (row - c[1]) * (row - c[1]);
                if (d2 <= c[2] * c[2]) {
                    wrong += red != uint32_t(c[3]);
                } else {
                    wrong += red >= uint32_t(c[3]);
                    if (d2 <= (2 * c[2] + 2) * (2 * c[2] + 2)) haloMax = std::max(haloMax, red);
                }
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(haloMax, 150u);  // a visible halo, far above the screen's red
        const SpotResult r = DetectSpot(frame.data(), kWholeFrame);
        EXPECT_TRUE(r.found);
        if (c[0] - c[2] >= 0 && c[1] + c[2] < kFrameHeight) {
            EXPECT_EQ(r.sumX, 2 * c[0]);
            EXPECT_EQ(r.sumY, 2 * c[1]);
        }
    }
}

TEST(SceneTest, NoSpotMeansNothingForTheDetectorEvenAtMaximumNoise) {
    for (int radius : {0, -3}) {
        SceneSettings s;
        s.spotRadius = radius;
        s.noise = 1000;
        for (uint32_t frameIndex : {0u, 99u}) {
            const std::vector<uint32_t> frame = Render(s, frameIndex);
            EXPECT_FALSE(DetectSpot(frame.data(), kWholeFrame).found);
            // Also catches a non-zero top byte.
            EXPECT_LT(*std::max_element(frame.begin(), frame.end()), 225u << 16);
        }
    }
}

TEST(SceneTest, ScreenQuadUsesBottomUpRows) {
    SceneSettings s;
    s.noise = 0;
    s.spotRadius = 0;
    // A band along the bottom of the picture, narrower at its top.
    s.screen[0] = {0, 0}, s.screen[1] = {639, 0}, s.screen[2] = {100, 99}, s.screen[3] = {539, 99};
    const std::vector<uint32_t> f = Render(s);
    for (int at : {0, 639, 99 * 640 + 100, 99 * 640 + 320}) EXPECT_EQ(f[at], s.screenColor) << at;
    for (int at : {99 * 640 + 99, 100 * 640 + 320, 90 * 640 + 5, 479 * 640 + 320}) EXPECT_EQ(f[at], s.surroundColor) << at;
    EXPECT_LT(Red(SceneSettings().screenColor), 113u);
}

TEST(SceneTest, NoiseIsBoundedAndDeterministicPerFrameIndexAndSeed) {
    SceneSettings s;
    const std::vector<uint32_t> frame = Render(s, 5);
    EXPECT_EQ(frame, Render(s, 5));
    EXPECT_NE(frame, Render(s, 6));
    int changed = 0;
    for (int x = 200; x < 260; ++x) {
        const int delta = int(Red(frame[240 * kFrameWidth + x])) - int(Red(s.screenColor));
        EXPECT_LE(std::abs(delta), s.noise);
        changed += delta != 0;
    }
    EXPECT_GT(changed, 0);
    SceneSettings other = s;
    other.seed = 2;
    EXPECT_NE(frame, Render(other, 5));
    s.noise = 0;
    EXPECT_EQ(Render(s, 5), Render(s, 6));
}

TEST(SceneTest, DistractorsCompeteWithTheSpot) {
    SceneSettings s;
    s.whiteSize = 8, s.whiteX = 400, s.whiteY = 100;
    // White is red 255 and beats the spot: columns 396..403, rows 96..103.
    SpotResult r = DetectSpot(Render(s).data(), kWholeFrame);
    EXPECT_EQ(r.sumX, 396 + 403);
    EXPECT_EQ(r.sumY, 96 + 103);

    s.whiteSize = 0;
    s.spot2X = 150, s.spot2Y = 300, s.spot2Radius = 3, s.spot2Red = 252;
    r = DetectSpot(Render(s).data(), kWholeFrame);
    EXPECT_EQ(r.sumX, 300);
    EXPECT_EQ(r.sumY, 600);

    // A dimmer second spot overlapping the first leaves its core whole.
    s.spot2Red = 240, s.spot2X = s.spotX + 5, s.spot2Y = s.spotY;
    r = DetectSpot(Render(s).data(), kWholeFrame);
    EXPECT_EQ(r.sumX, 2 * s.spotX);
    EXPECT_EQ(r.sumY, 2 * s.spotY);
}

TEST(SceneTest, ExposureScalesTheSlideButSparesTheLaser) {
    SceneSettings s;
    s.noise = 0;
    const std::vector<uint32_t> plain = Render(s);
    s.exposureAuto = 0;
    EXPECT_EQ(Render(s), plain) << "the default exposure changes nothing";
    s.slideRed = 252;
    const int32_t screenPixel = 200 * kFrameWidth + 320;  // inside the screen, off the spot
    const int32_t laser = s.spotY * kFrameWidth + s.spotX;
    struct Case {
        int32_t automatic, exposure, gain, brightness;
        uint32_t slide, laser;
    };
    const Case cases[] = {
        {1, 10, 100, 0, 252, 250},   // automatic: the exposure value is not used
        {0, 100, 100, 0, 252, 250},  // manual at the default
        {0, 50, 100, 0, 126, 250},   // half the light
        {0, 100, 50, 0, 126, 250},   // half the gain, the same
        {0, 100, 100, -52, 200, 250},
        {0, 100, 100, 20, 255, 255},  // brighter: both saturate
        {0, 7, 100, 0, 18, 250},      // still above a sixteenth
        {0, 3, 100, 0, 8, 120},       // below it the laser dims too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "exposure " << c.exposure << " gain " << c.gain << " brightness "
                                        << c.brightness << " auto " << c.automatic);
        s.exposureAuto = c.automatic, s.exposure = c.exposure, s.gain = c.gain, s.brightness = c.brightness;
        const std::vector<uint32_t> frame = Render(s);
        EXPECT_EQ(Red(frame[screenPixel]), c.slide);
        EXPECT_EQ(Red(frame[laser]), c.laser);
    }
}

TEST(CameraControlsTest, AValueShowsTwoFramesLaterWithinItsRange) {
    CameraControls controls;
    ResetCameraControls(&controls);
    SceneSettings s;
    SetCameraControl(&controls, kControlExposure, 40);
    SetCameraControl(&controls, kControlGain, 100000);
    for (int frame = 0; frame < kCameraControlLag; ++frame) {
        ApplyCameraControls(&controls, &s);
        EXPECT_EQ(s.exposure, kExposureUnit) << "frame " << frame;
    }
    ApplyCameraControls(&controls, &s);
    EXPECT_EQ(s.exposure, 40);
    EXPECT_EQ(s.gain, kCameraControls[kControlGain].maximum);
    EXPECT_EQ(s.exposureAuto, 1);
}

TEST(SceneControlTest, ParsesKnownKeysAndIgnoresTheRest) {
    SceneSettings s;
    EXPECT_TRUE(ParseSceneControl(
        "# steering\nspot_x 101\nspot_y   202.6  # rounded\r\nspot_radius 5\nspot_red 230\n"
        "white_x 11\twhite_y 12\nwhite_y 13\nwhite_size 14\nspot2_x 15\nspot2_y 16\n"
        "spot2_radius 17\nspot2_red 18\nnoise 3\nbrightness 9\nspot_x\nspot_y abc\n"
        "spot_radius 7px\nspot_red nan\n# noise 50\n   \n",
        &s));
    const int32_t got[] = {s.spotX,  s.spotY,  s.spotRadius,  s.spotRed,  s.whiteX, s.whiteY,
                           s.whiteSize, s.spot2X, s.spot2Y, s.spot2Radius, s.spot2Red, s.noise};
    const int32_t want[] = {101, 203, 5, 230, SceneSettings().whiteX, 13, 14, 15, 16, 17, 18, 3};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(got[i], want[i]) << "field " << i;

    SceneSettings untouched;
    EXPECT_FALSE(ParseSceneControl("# nothing\nfoo 1\nspot_x 1e99\n", &untouched));
    EXPECT_EQ(untouched.spotX, SceneSettings().spotX);
}

void SetControlVariable(const std::string& value) {
#ifdef _WIN32
    _putenv_s("LUMIDART_VIRTUALCAM_CONTROL", value.c_str());
#else
    if (value.empty()) unsetenv("LUMIDART_VIRTUALCAM_CONTROL");
    else setenv("LUMIDART_VIRTUALCAM_CONTROL", value.c_str(), 1);
#endif
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

TEST(SceneControlTest, PathAndReloadFollowTheFile) {
    SetControlVariable("");
    EXPECT_EQ(SceneControlPath(), DefaultControlPath());

    const std::filesystem::path path = std::filesystem::temp_directory_path() / "lumidart-scene-test-control.txt";
    std::filesystem::remove(path);
    SetControlVariable(path.string());
    EXPECT_EQ(SceneControlPath(), path.string());

    SceneSettings s;
    EXPECT_FALSE(ReloadSceneControl(&s));
    WriteFile(path, "spot_x 111\nspot_red 231\n");
    EXPECT_TRUE(ReloadSceneControl(&s));
    EXPECT_EQ(s.spotX, 111);
    // Unchanged file: not applied again, so a local change survives.
    s.spotX = 5;
    EXPECT_FALSE(ReloadSceneControl(&s));
    EXPECT_EQ(s.spotX, 5);
    WriteFile(path, "spot_x 222\n");
    EXPECT_TRUE(ReloadSceneControl(&s));
    EXPECT_EQ(s.spotX, 222);
    EXPECT_EQ(s.spotRed, 231);
    // Same size, within the same second: time stamps cannot tell, contents can.
    WriteFile(path, "spot_x 333\n");
    EXPECT_TRUE(ReloadSceneControl(&s));
    EXPECT_EQ(s.spotX, 333);
    WriteFile(path, "spot_x 222\n");
    EXPECT_TRUE(ReloadSceneControl(&s));
    // Removed, then created again with the same content: read again.
    std::filesystem::remove(path);
    EXPECT_FALSE(ReloadSceneControl(&s));
    WriteFile(path, "spot_x 222\n");
    s.spotX = 1;
    EXPECT_TRUE(ReloadSceneControl(&s));
    EXPECT_EQ(s.spotX, 222);

    std::filesystem::remove(path);
    SetControlVariable("");
}

}  // namespace
