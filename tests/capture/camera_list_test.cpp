#include "capture/camera_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "capture/capture_graph.h"
#include "capture/capture_recovery.h"
#include "fake_platform/fake_platform.h"
#include "fake_platform/scratch_directory.h"
#include "state/tracker_state.h"

namespace {

using Cameras = std::vector<PlatformCamera>;

const Cameras kTwoAlike = {{"vivid", "/dev/video0 platform:vivid-000"}, {"vivid", "/dev/video2 platform:vivid-001"}};

class CameraListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetTrackerState();
        FakeReset();
    }
    ScratchDirectory scratch_{"lumidart-camera-list-"};
};

TEST_F(CameraListTest, RepeatedNamesAreToldApartInListOrder) {
    Cameras cameras = {{"vivid", "a"}, {"Webcam", "b"}, {"vivid", "c"}, {"vivid", "d"}, {"Webcam", "e"}};
    NameCamerasApart(&cameras);
    const char* const names[] = {"vivid", "Webcam", "vivid (2)", "vivid (3)", "Webcam (2)"};
    for (size_t i = 0; i < cameras.size(); ++i) EXPECT_EQ(cameras[i].name, names[i]);
    EXPECT_EQ(CameraLine(2, cameras[2]), "3\tvivid (2)\tc");
}

TEST_F(CameraListTest, ChoiceByNumberNameRememberedOrFirst) {
    Cameras cameras = kTwoAlike;
    NameCamerasApart(&cameras);
    const std::string second = cameras[1].identity;
    struct Case {
        const char* wanted;
        std::string remembered;
        bool overridden;
        int index;
        bool unknown;
    } const cases[] = {
        {"", "", false, 0, false},     {"", second, false, 1, false},      {"", "gone", false, 0, false},
        {"2", "", false, 1, false},    {"vivid (2)", "", false, 1, false}, {"vivid", second, false, 0, false},
        {"3", second, false, 1, true}, {"02", "", false, 0, true},         {"", second, true, -1, false},
        {"1", second, true, 0, false}, {"nope", "", true, -1, true},
        // The second webcam remembered from a start when it had another node.
        {"", "/dev/video6 platform:vivid-001", false, 1, false},
    };
    for (const Case& c : cases) {
        const CameraChoice choice = ChooseCamera(cameras, c.wanted, c.remembered, c.overridden);
        EXPECT_EQ(choice.index, c.index) << c.wanted << " / " << c.remembered << " / " << c.overridden;
        EXPECT_EQ(choice.unknown, c.unknown) << c.wanted;
    }
    const Cameras oneBus = {{"Colour", "/dev/video0 usb-3"}, {"Infrared", "/dev/video2 usb-3"}};
    EXPECT_EQ(FindCamera(oneBus, "/dev/video4 usb-3"), -1) << "two nodes on the bus: neither is taken";
}

TEST_F(CameraListTest, TheCameraInUseAtCloseIsTheNextDefaultUnlessTheFileIsDamaged) {
    g_fake.cameras = kTwoAlike;
    SelectStartCamera();
    ASSERT_TRUE(SelectNextCamera());
    RememberCamera();
    SelectStartCamera();
    EXPECT_EQ(g_fake.selectedCamera, kTwoAlike[1].identity);
    for (const std::string& damaged :
         {std::string(), std::string("camera \n"), std::string("camera /dev/video2 platform:vivid-001"),
          std::string("Camera /dev/video2 platform:vivid-001\n"), std::string("camera /dev/video2\nmore\n"),
          std::string("camera /dev/vid") + '\0' + "eo2 platform:vivid-001\n",
          "camera " + std::string(5000, 'x') + "\n"}) {
        std::ofstream(kCameraFileName, std::ios::binary) << damaged;
        SelectStartCamera();
        EXPECT_EQ(g_fake.selectedCamera, kTwoAlike[0].identity) << damaged;
    }
    // The environment's own source wins over the file, and is not kept.
    g_fake.cameraOverridden = true;
    SelectStartCamera();
    std::remove(kCameraFileName);
    RememberCamera();
    EXPECT_FALSE(PlatformFileExists(kCameraFileName));
}

TEST_F(CameraListTest, KeyCTakesTheNextCameraRoundOutsideTracking) {
    g_fake.cameras = kTwoAlike;
    OnCreate(FakeWindow());
    FakeReset();
    g_fake.cameras = kTwoAlike;
    OnKeyC();
    OnKeyC();
    StoreMode(kModeTracking);
    OnKeyC();
    StoreMode(kModeThreshold);
    g_fake.cameras = {kTwoAlike[0]};
    OnKeyC();  // one camera: nothing to switch to
    g_fake.cameras = {kTwoAlike[1]};
    OnKeyC();  // the camera in use is gone: it is retried, not replaced
    const std::string close = "SettingsDialogClose", to = "CaptureSwitchSource ";
    EXPECT_EQ(FakeCalls(),
              (std::vector<std::string>{close, to + kTwoAlike[1].identity, close, to + kTwoAlike[0].identity}));
    // A camera that cannot be opened now is waited for as itself.
    g_fake.cameras = kTwoAlike;
    g_fake.sourceAvailable = false;
    OnKeyC();
    EXPECT_TRUE(CaptureIsLost());
    EXPECT_EQ(g_fake.selectedCamera, kTwoAlike[1].identity);
    // It comes back on another node: that is the camera reopened and kept.
    const std::string moved = "/dev/video6 platform:vivid-001";
    g_fake.cameras = {kTwoAlike[0], {"vivid", moved}};
    g_fake.sourceAvailable = true;
    OnCaptureWatchTimer();
    EXPECT_FALSE(CaptureIsLost());
    EXPECT_EQ(g_fake.selectedCamera, moved);
    OnClose();
    std::ifstream file(kCameraFileName, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), CameraFileText(moved));
}

}  // namespace
