// The cameras GStreamer's device monitor lists as video sources. A camera
// that several providers list (V4L2, PipeWire, libcamera) is one camera,
// and a node that cannot capture video (a UVC camera's metadata node) is
// none.
#include <gst/gst.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string>
#include <vector>

#include "capture/gst_capture.h"
#include "capture/gst_mode_choice.h"
#include "capture/linux_device_handles.h"
#include "state/platform.h"

namespace {

// V4L2's capture capabilities: single- and multi-planar video.
constexpr guint kVideoCaptureCaps = 0x00000001u | 0x00001000u;

std::string StringProperty(const GstStructure* properties, std::initializer_list<const char*> names) {
    if (properties == nullptr) return {};
    for (const char* name : names) {
        const char* const value = gst_structure_get_string(properties, name);
        if (value != nullptr && *value != '\0') return value;
    }
    return {};
}

// What finds the camera again: its device path and bus, as the V4L2 and
// PipeWire providers both state them, links resolved; for a device of
// neither kind (hasPath false), everything its provider says of it.
std::string Identity(GstDevice* device, bool* hasPath) {
    GstStructure* const properties = gst_device_get_properties(device);
    std::string path = StringProperty(properties, {"device.path", "api.v4l2.path"});
    // A PipeWire node names its V4L2 device only in its object path.
    const std::string object = StringProperty(properties, {"object.path"});
    if (path.empty() && object.rfind("v4l2:", 0) == 0) path = object.substr(5);
    const std::string bus = StringProperty(properties, {"v4l2.device.bus_info", "api.v4l2.cap.bus_info"});
    std::string identity;
    *hasPath = !path.empty();
    if (*hasPath) {
        const std::string resolved = ResolvedDevicePath(path.c_str());
        identity = (resolved.empty() ? path : resolved) + (bus.empty() ? "" : " " + bus);
    } else if (properties != nullptr) {
        gchar* const text = gst_structure_to_string(properties);
        identity = text;
        g_free(text);
    }
    if (properties != nullptr) gst_structure_free(properties);
    return identity;
}

bool CapturesVideo(GstDevice* device) {
    GstStructure* const properties = gst_device_get_properties(device);
    guint caps = 0;
    const bool stated = properties != nullptr && gst_structure_get_uint(properties, "v4l2.device.device_caps", &caps);
    if (properties != nullptr) gst_structure_free(properties);
    if (stated && (caps & kVideoCaptureCaps) == 0) return false;
    GstCaps* const modes = gst_device_get_caps(device);
    bool video = false;
    for (guint i = 0; modes != nullptr && i < gst_caps_get_size(modes) && !video; ++i) {
        video = IsConvertibleMode(gst_caps_get_structure(modes, i), gst_caps_get_features(modes, i));
    }
    if (modes != nullptr) gst_caps_unref(modes);
    return video;
}

// Numbers within the text compare by value, so /dev/video10 follows
// /dev/video9.
bool NaturallyBefore(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            const std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            const size_t za = na.find_first_not_of('0'), zb = nb.find_first_not_of('0');
            const std::string va = za == std::string::npos ? "" : na.substr(za);
            const std::string vb = zb == std::string::npos ? "" : nb.substr(zb);
            if (va.size() != vb.size()) return va.size() < vb.size();
            if (va != vb) return va < vb;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

struct ListedDevice {
    PlatformCamera camera;
    GstDevice* device;  // our own reference
    bool hasPath;
};

// A device without a path (libcamera's) that bears the name of one with a
// path is that camera again, listed by another provider.
void DropPathlessTwins(std::vector<ListedDevice>* listed) {
    std::vector<ListedDevice> kept;
    for (ListedDevice& d : *listed) {
        const bool twin = !d.hasPath && std::any_of(listed->begin(), listed->end(), [&](const ListedDevice& other) {
            return other.hasPath && other.camera.name == d.camera.name;
        });
        if (twin) {
            gst_object_unref(d.device);
        } else {
            kept.push_back(d);
        }
    }
    *listed = kept;
}

// Every camera, each once, in the order of their identities.
std::vector<ListedDevice> ListDevices() {
    gst_init(nullptr, nullptr);
    GstDeviceMonitor* const monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    std::vector<ListedDevice> listed;
    if (gst_device_monitor_start(monitor)) {
        GList* const devices = gst_device_monitor_get_devices(monitor);
        for (GList* item = devices; item != nullptr; item = item->next) {
            GstDevice* const device = GST_DEVICE(item->data);
            bool hasPath = false;
            const std::string identity = CapturesVideo(device) ? Identity(device, &hasPath) : std::string{};
            const bool seen = std::any_of(listed.begin(), listed.end(),
                                          [&](const ListedDevice& d) { return d.camera.identity == identity; });
            if (identity.empty() || seen) continue;
            gchar* const name = gst_device_get_display_name(device);
            listed.push_back({{name != nullptr ? name : "", identity}, GST_DEVICE(gst_object_ref(device)), hasPath});
            g_free(name);
        }
        g_list_free_full(devices, gst_object_unref);
        gst_device_monitor_stop(monitor);
    }
    gst_object_unref(monitor);
    DropPathlessTwins(&listed);
    std::stable_sort(listed.begin(), listed.end(), [](const ListedDevice& a, const ListedDevice& b) {
        return NaturallyBefore(a.camera.identity, b.camera.identity);
    });
    return listed;
}

void Release(std::vector<ListedDevice>* listed) {
    for (ListedDevice& d : *listed) gst_object_unref(d.device);
    listed->clear();
}

}  // namespace

std::vector<PlatformCamera> PlatformListCameras() {
    std::vector<ListedDevice> listed = ListDevices();
    std::vector<PlatformCamera> cameras;
    for (const ListedDevice& d : listed) cameras.push_back(d.camera);
    Release(&listed);
    return cameras;
}

namespace {

// The bus of a "PATH BUS" identity; empty for any other.
std::string BusOf(const std::string& identity) {
    const size_t space = identity.find(' ');
    if (identity.rfind("/dev/", 0) != 0 || space == std::string::npos) return {};
    return identity.substr(space + 1);
}

}  // namespace

bool PlatformSameCamera(const std::string& a, const std::string& b) {
    const std::string bus = BusOf(a);
    return !bus.empty() && bus == BusOf(b);
}

GstElement* CreateCameraElement(const std::string& identity) {
    std::vector<ListedDevice> listed = ListDevices();
    GstElement* element = nullptr;
    for (const ListedDevice& d : listed) {
        if (d.camera.identity == identity) element = gst_device_create_element(d.device, nullptr);
    }
    Release(&listed);
    return element;
}
