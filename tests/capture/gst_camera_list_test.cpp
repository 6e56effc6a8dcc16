// The Linux camera list over a device provider of the test's own: what
// several providers list is one camera, a node that captures no video is
// none, and the order is that of the identities, numbers by value.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "state/platform.h"

namespace {

struct Listed {
    const char* name;
    const char* properties;
    const char* caps;
};

const Listed kDevices[] = {
    {"Webcam", "v4l2, device.path=/dev/lumidart-test-video10, v4l2.device.bus_info=usb-2", "video/x-raw"},
    {"Webcam",
     "v4l2, device.path=/dev/lumidart-test-video4, v4l2.device.bus_info=usb-1, "
     "v4l2.device.device_caps=(uint)69206017",
     "video/x-raw"},
    // The same camera through PipeWire, and through a provider that names no path.
    {"Webcam (PipeWire)", "pw, object.path=v4l2:/dev/lumidart-test-video4, api.v4l2.cap.bus_info=usb-1", "video/x-raw"},
    {"Webcam", "libcamera, lumidart-test=1", "video/x-raw"},
    // The webcam's metadata node, and a device of modes no chain decodes.
    {"Webcam", "v4l2, device.path=/dev/lumidart-test-video5, v4l2.device.device_caps=(uint)77594624", "video/x-raw"},
    {"Encoder", "v4l2, device.path=/dev/lumidart-test-video6", "video/x-h264"},
    {"Screen", "lumidart-test-screen, index=1", "video/x-raw"},
};

}  // namespace

struct TestDevice {
    GstDevice parent;
};
struct TestDeviceClass {
    GstDeviceClass parent_class;
};
G_DEFINE_TYPE(TestDevice, test_device, GST_TYPE_DEVICE)
static void test_device_class_init(TestDeviceClass*) {}
static void test_device_init(TestDevice*) {}

struct TestProvider {
    GstDeviceProvider parent;
};
struct TestProviderClass {
    GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(TestProvider, test_provider, GST_TYPE_DEVICE_PROVIDER)

static GList* Probe(GstDeviceProvider*) {
    GList* devices = nullptr;
    for (const Listed& d : kDevices) {
        GstCaps* const caps = gst_caps_from_string(d.caps);
        GstStructure* const properties = gst_structure_from_string(d.properties, nullptr);
        devices = g_list_append(devices, gst_object_ref_sink(g_object_new(
                                             test_device_get_type(), "display-name", d.name, "device-class",
                                             "Video/Source", "caps", caps, "properties", properties, nullptr)));
        gst_caps_unref(caps);
        gst_structure_free(properties);
    }
    return devices;
}

static void test_provider_class_init(TestProviderClass* klass) {
    GST_DEVICE_PROVIDER_CLASS(klass)->probe = Probe;
    gst_device_provider_class_set_static_metadata(GST_DEVICE_PROVIDER_CLASS(klass), "Test cameras", "Source/Video",
                                                  "Cameras as several providers list them", "Lumidart");
}
static void test_provider_init(TestProvider*) {}

static gboolean RegisterProvider(GstPlugin* plugin) {
    return gst_device_provider_register(plugin, "lumidarttestcameras", GST_RANK_MARGINAL, test_provider_get_type());
}

TEST(GstCameraList, EachCameraOnceInTheOrderOfItsIdentity) {
    gst_init(nullptr, nullptr);
    ASSERT_TRUE(gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "lumidarttestcameras", "Test cameras",
                                           RegisterProvider, "1.01", "MIT", "lumidart", "lumidart", "lumidart"));
    std::vector<std::string> ours;
    for (const PlatformCamera& camera : PlatformListCameras()) {
        if (camera.identity.find("lumidart-test") != std::string::npos)
            ours.push_back(camera.name + " | " + camera.identity);
    }
    EXPECT_EQ(ours, (std::vector<std::string>{"Webcam | /dev/lumidart-test-video4 usb-1",
                                              "Webcam | /dev/lumidart-test-video10 usb-2",
                                              "Screen | lumidart-test-screen, index=(int)1;"}));
}

TEST(GstCameraList, TheSameBusUnderAnotherNodeIsTheSameCamera) {
    struct Case {
        const char *a, *b;
        bool same;
    } const cases[] = {
        {"/dev/video2 usb-0000:00:14.0-1", "/dev/video4 usb-0000:00:14.0-1", true},
        {"/dev/video2 usb-0000:00:14.0-1", "/dev/video2 usb-0000:00:14.0-2", false},
        {"/dev/video2", "/dev/video4", false},
        {"lumidart-test-screen, index=(int)1;", "lumidart-test-screen, index=(int)1;", false},
    };
    for (const Case& c : cases) EXPECT_EQ(PlatformSameCamera(c.a, c.b), c.same) << c.a << " / " << c.b;
}
