#include "virtualcam/gst_virtualcam.h"

#include <gst/base/gstpushsrc.h>
#include <gst/check/gstharness.h>
#include <gst/gst.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <mutex>
#include <vector>

#include "virtualcam/camera_controls.h"
#include "virtualcam/camera_modes.h"
#include "virtualcam/camera_stats.h"
#include "virtualcam/control_file.h"
#include "virtualcam/desktop_view.h"
#include "virtualcam/scene.h"
#include "virtualcam/scene_control.h"

namespace {

struct Property {
    const char* name;
    int32_t SceneSettings::*field;
    int32_t minimum, maximum;
};

// Property ids are the table index + 1, in this order in the settings dialog.
const Property kProperties[] = {
    {"spot-x", &SceneSettings::spotX, 0, kFrameWidth - 1},
    {"spot-y", &SceneSettings::spotY, 0, kFrameHeight - 1},
    {"spot-radius", &SceneSettings::spotRadius, 0, 64},
    {"spot-red", &SceneSettings::spotRed, 0, 255},
    {"white-x", &SceneSettings::whiteX, 0, kFrameWidth - 1},
    {"white-y", &SceneSettings::whiteY, 0, kFrameHeight - 1},
    {"white-size", &SceneSettings::whiteSize, 0, 200},
    {"spot2-x", &SceneSettings::spot2X, 0, kFrameWidth - 1},
    {"spot2-y", &SceneSettings::spot2Y, 0, kFrameHeight - 1},
    {"spot2-radius", &SceneSettings::spot2Radius, 0, 64},
    {"spot2-red", &SceneSettings::spot2Red, 0, 255},
    {"noise", &SceneSettings::noise, 0, 64},
};
constexpr guint kPropertyCount = sizeof kProperties / sizeof kProperties[0];
// Not a scene setting: with live off, frames come as fast as they render,
// for soak runs.
constexpr guint kLivePropertyId = kPropertyCount + 1;
// The mode list advertised (see camera_modes.h).
constexpr guint kModesPropertyId = kPropertyCount + 2;
// Which of the listed cameras this is: each shows its own screen colour.
constexpr guint kCameraPropertyId = kPropertyCount + 3;
// The exposure controls, in their table's order.
constexpr guint kFirstControlPropertyId = kPropertyCount + 4;
// How many cameras the device provider lists at most.
constexpr int kMaxListedCameras = 8;

// The streaming thread renders while the UI thread reads and writes the
// properties.
struct CameraState {
    std::mutex lock;
    SceneSettings settings;
    uint32_t frameIndex = 0;
    // Paced frames are timed from here: the running time and frame index
    // at which pacing last began.
    GstClockTime pacedFrom = 0;
    uint32_t pacedFromIndex = 0;
    // Whether the last frame was timed paced.
    bool paced = true;
    // What is advertised, and what was negotiated from it.
    const ModeList* modes = &ModeListFromEnvironment();
    CameraMode mode = DefaultModeList().modes[0];
    int camera = 1;
    std::vector<uint32_t> scratch = std::vector<uint32_t>(kFramePixels);
    CameraControls controls;
    DesktopView desktop;
    CameraState() { ResetCameraControls(&controls); }
    // GStreamer's own JPEG encoder, fed and emptied on the streaming thread
    // while a motion JPEG mode runs; null otherwise.
    GstHarness* jpeg = nullptr;
};

// The picture as a webcam's encoder leaves it: close to, not exactly, the
// scene.
constexpr int kJpegQuality = 95;

}  // namespace

struct LumidartVirtualCam {
    GstPushSrc parent;
    // Published with release: GStreamer hands the element to a pooled
    // streaming thread through primitives that a thread checker cannot see.
    std::atomic<CameraState*> state;
};

struct LumidartVirtualCamClass {
    GstPushSrcClass parent_class;
};

G_DEFINE_TYPE(LumidartVirtualCam, lumidart_virtual_cam, GST_TYPE_PUSH_SRC)

namespace {

GstStaticPadTemplate g_srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format=(string){ BGRx, YUY2 }, width=(int)[ 2, 4096 ], height=(int)[ 1, 4096 ], "
                    "framerate=(fraction)[ 1/1, 120/1 ], pixel-aspect-ratio=(fraction)1/1, "
                    "interlace-mode=(string)progressive; "
                    "image/jpeg, width=(int)[ 2, 4096 ], height=(int)[ 1, 4096 ], "
                    "framerate=(fraction)[ 1/1, 120/1 ], pixel-aspect-ratio=(fraction)1/1"));

CameraState* StateOf(gpointer object) {
    return reinterpret_cast<LumidartVirtualCam*>(object)->state.load(std::memory_order_acquire);
}

// --- Mode lists: what the camera advertises and renders in ---

const char* FormatName(ModePixels pixels) {
    return pixels == ModePixels::kYuy2 ? "YUY2" : pixels == ModePixels::kJpeg ? "JPEG" : "BGRx";
}

// A mode as v4l2src lists a camera's: raw with its format and interlacing,
// motion JPEG with neither.
GstStructure* ModeStructure(const CameraMode& m) {
    if (m.pixels == ModePixels::kJpeg) {
        return gst_structure_new("image/jpeg", "width", G_TYPE_INT, m.width, "height", G_TYPE_INT, m.height,
                                 "framerate", GST_TYPE_FRACTION, m.framesPerSecond, 1, "pixel-aspect-ratio",
                                 GST_TYPE_FRACTION, 1, 1, nullptr);
    }
    return gst_structure_new("video/x-raw", "format", G_TYPE_STRING, FormatName(m.pixels), "width", G_TYPE_INT,
                             m.width, "height", G_TYPE_INT, m.height, "framerate", GST_TYPE_FRACTION,
                             m.framesPerSecond, 1, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, "interlace-mode",
                             G_TYPE_STRING, "progressive", nullptr);
}

void CloseEncoder(CameraState* state) {
    if (state->jpeg == nullptr) return;
    gst_harness_teardown(state->jpeg);
    state->jpeg = nullptr;
}

// The encoder for a motion JPEG mode, given the mode drawn as BGRx.
bool OpenEncoder(CameraState* state, const CameraMode& m) {
    CloseEncoder(state);
    if (m.pixels != ModePixels::kJpeg) return true;
    GstElement* const encoder = gst_element_factory_make("jpegenc", nullptr);
    if (encoder == nullptr) return false;
    gst_object_ref_sink(encoder);
    g_object_set(encoder, "quality", kJpegQuality, nullptr);
    state->jpeg = gst_harness_new_with_element(encoder, "sink", "src");
    gst_object_unref(encoder);
    gst_harness_set_src_caps(
        state->jpeg, gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT, m.width,
                                         "height", G_TYPE_INT, m.height, "framerate", GST_TYPE_FRACTION,
                                         m.framesPerSecond, 1, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
    return true;
}

// Null if the encoder gives nothing for the frame.
GstBuffer* Encode(CameraState* state, GstBuffer* drawn) {
    if (gst_harness_push(state->jpeg, drawn) != GST_FLOW_OK) return nullptr;
    GstBuffer* const encoded = gst_harness_try_pull(state->jpeg);
    return encoded != nullptr ? gst_buffer_make_writable(encoded) : nullptr;
}

const ModeList* ModeListOf(gpointer object) {
    CameraState* const state = StateOf(object);
    std::lock_guard<std::mutex> guard(state->lock);
    return state->modes;
}

// An unknown name leaves the list as it was.
void SetModeList(gpointer object, const char* name) {
    const ModeList* const list = FindModeList(name);
    if (list == nullptr) return;
    CameraState* const state = StateOf(object);
    std::lock_guard<std::mutex> guard(state->lock);
    state->modes = list;
}

// Every mode of the list, in its order, as a camera lists them.
GstCaps* ModeCaps(const ModeList* list) {
    GstCaps* const caps = gst_caps_new_empty();
    for (size_t i = 0; i < list->count; ++i) gst_caps_append_structure(caps, ModeStructure(list->modes[i]));
    return caps;
}

GstCaps* GetCaps(GstBaseSrc* src, GstCaps* filter) {
    GstCaps* caps = ModeCaps(ModeListOf(src));
    if (filter != nullptr) {
        GstCaps* const both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

// The negotiated mode, noted in the stats file (if any) as
// "mode FORMAT WIDTHxHEIGHT RATE".
gboolean SetCaps(GstBaseSrc* src, GstCaps* caps) {
    const GstStructure* const s = gst_caps_get_structure(caps, 0);
    const char* const format = gst_structure_has_name(s, "image/jpeg") ? FormatName(ModePixels::kJpeg)
                                                                        : gst_structure_get_string(s, "format");
    gint width = 0, height = 0, num = 0, den = 0;
    if (format == nullptr || !gst_structure_get_int(s, "width", &width) ||
        !gst_structure_get_int(s, "height", &height) || !gst_structure_get_fraction(s, "framerate", &num, &den)) {
        return FALSE;
    }
    CameraState* const state = StateOf(src);
    CameraMode chosen{};
    {
        std::lock_guard<std::mutex> guard(state->lock);
        const ModeList* const list = state->modes;
        size_t i = 0;
        while (i < list->count && !(std::strcmp(FormatName(list->modes[i].pixels), format) == 0 &&
                                    list->modes[i].width == width && list->modes[i].height == height &&
                                    list->modes[i].framesPerSecond * den == num)) {
            ++i;
        }
        if (i == list->count || !OpenEncoder(state, list->modes[i])) return FALSE;
        chosen = state->mode = list->modes[i];
    }
    NoteCameraMode(format, chosen);
    return TRUE;
}

// --- Properties ---

int ControlIndexOf(guint id) {
    const bool control = id >= kFirstControlPropertyId && id < kFirstControlPropertyId + kCameraControlCount;
    return control ? static_cast<int>(id - kFirstControlPropertyId) : -1;
}

// Runs use on the scene setting a property id names, under the camera's
// lock; an id of no scene setting gets GLib's warning instead.
template <typename Use>
void WithSceneSetting(GObject* object, guint id, GParamSpec* pspec, Use use) {
    if (id == 0 || id > kPropertyCount) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    CameraState* const state = StateOf(object);
    std::lock_guard<std::mutex> guard(state->lock);
    use(state->settings.*kProperties[id - 1].field);
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    if (id == kLivePropertyId) {
        gst_base_src_set_live(GST_BASE_SRC(object), g_value_get_boolean(value));
        return;
    }
    if (id == kModesPropertyId) {
        SetModeList(object, g_value_get_string(value));
        return;
    }
    if (id == kCameraPropertyId) {
        CameraState* const state = StateOf(object);
        std::lock_guard<std::mutex> guard(state->lock);
        state->camera = g_value_get_int(value);
        state->settings.screenColor = CameraScreenColor(state->camera);
        return;
    }
    if (const int control = ControlIndexOf(id); control >= 0) {
        const int32_t v = G_VALUE_HOLDS_BOOLEAN(value) ? g_value_get_boolean(value) : g_value_get_int(value);
        SetCameraControl(&StateOf(object)->controls, control, v);
        return;
    }
    WithSceneSetting(object, id, pspec, [value](int& setting) { setting = g_value_get_int(value); });
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    if (id == kLivePropertyId) {
        g_value_set_boolean(value, gst_base_src_is_live(GST_BASE_SRC(object)));
        return;
    }
    if (id == kModesPropertyId) {
        g_value_set_string(value, ModeListOf(object)->name);
        return;
    }
    if (id == kCameraPropertyId) {
        CameraState* const state = StateOf(object);
        std::lock_guard<std::mutex> guard(state->lock);
        g_value_set_int(value, state->camera);
        return;
    }
    if (const int control = ControlIndexOf(id); control >= 0) {
        const int32_t v = GetCameraControl(&StateOf(object)->controls, control);
        if (G_VALUE_HOLDS_BOOLEAN(value)) {
            g_value_set_boolean(value, v != 0);
        } else {
            g_value_set_int(value, v);
        }
        return;
    }
    WithSceneSetting(object, id, pspec, [value](int& setting) { g_value_set_int(value, setting); });
}

void Finalize(GObject* object) {
    CloseEncoder(StateOf(object));
    delete StateOf(object);
    G_OBJECT_CLASS(lumidart_virtual_cam_parent_class)->finalize(object);
}

// Each run counts its frames from 0. Stopping takes the lock that the
// streaming thread renders under, so its last frame is ordered before
// whatever the stopping thread does next, for checkers that cannot see
// GStreamer's own synchronisation too.
gboolean ResetFrames(GstBaseSrc* src) {
    CameraState* const state = StateOf(src);
    std::lock_guard<std::mutex> guard(state->lock);
    state->frameIndex = 0;
    state->pacedFrom = 0;
    state->pacedFromIndex = 0;
    state->paced = gst_base_src_is_live(src);
    return TRUE;
}

GstClockTime RunningTime(GstElement* element) {
    GstClock* const clock = gst_element_get_clock(element);
    if (clock == nullptr) return 0;
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    const GstClockTime base = gst_element_get_base_time(element);
    return now > base ? now - base : 0;
}

// A frame's time. Unpaced frames run ahead of the clock, so pacing that
// is switched on again starts from now rather than from where the frame
// count has got to, which would hold the picture back for as long.
GstClockTime FrameTime(GstBaseSrc* src, CameraState* state, uint32_t index) {
    const bool paced = gst_base_src_is_live(src);
    if (paced && !state->paced) {
        state->pacedFrom = RunningTime(GST_ELEMENT(src));
        state->pacedFromIndex = index;
    }
    state->paced = paced;
    return state->pacedFrom +
           gst_util_uint64_scale(index - state->pacedFromIndex, GST_SECOND, state->mode.framesPerSecond);
}

// Long runs count the frames the camera delivered.
gboolean StopFrames(GstBaseSrc* src) {
    CameraState* const state = StateOf(src);
    uint32_t frames;
    {
        std::lock_guard<std::mutex> guard(state->lock);
        frames = state->frameIndex;
        state->frameIndex = 0;
        CloseEncoder(state);
    }
    NoteCameraFrames(frames);
    return TRUE;
}

// Live, the base class waits for each frame's start on the clock; with no
// times it waits for nothing. Whether to wait is what the frame's own time
// was made for, not the live switch as it is now: a frame timed unpaced,
// ahead of the clock, that met a switch back on would hold the picture.
void GetTimes(GstBaseSrc* src, GstBuffer* buffer, GstClockTime* start, GstClockTime* end) {
    CameraState* const state = StateOf(src);
    bool paced;
    {
        std::lock_guard<std::mutex> guard(state->lock);
        paced = state->paced;
    }
    if (!paced) {
        *start = *end = GST_CLOCK_TIME_NONE;
        return;
    }
    *start = GST_BUFFER_PTS(buffer);
    *end = GST_CLOCK_TIME_IS_VALID(*start) ? *start + GST_BUFFER_DURATION(buffer) : GST_CLOCK_TIME_NONE;
}

// Opening takes the whole control file: a camera opened again in the same
// process starts from the scene as it is, not from the defaults. Unplugged
// (only while the file says so), it refuses to open, as a device node that
// has gone.
GstStateChangeReturn ChangeState(GstElement* element, GstStateChange transition) {
    if (transition == GST_STATE_CHANGE_NULL_TO_READY) {
        CameraState* const state = StateOf(element);
        bool unplugged;
        {
            std::string text;
            std::lock_guard<std::mutex> guard(state->lock);
            state->settings.unplugged = 0;
            if (ReadControlFile(SceneControlPath(), &text)) ParseSceneControl(text, &state->settings);
            unplugged = state->settings.unplugged != 0;
        }
        if (unplugged) {
            GST_ELEMENT_ERROR(element, RESOURCE, NOT_FOUND, ("The camera is unplugged."), (nullptr));
            return GST_STATE_CHANGE_FAILURE;
        }
    }
    return GST_ELEMENT_CLASS(lumidart_virtual_cam_parent_class)->change_state(element, transition);
}

GstFlowReturn Create(GstPushSrc* src, GstBuffer** out) {
    CameraState* const state = StateOf(src);
    // Rendered and copied under the lock: a stop that takes it afterwards
    // is ordered after the last use of the scratch frame.
    std::lock_guard<std::mutex> guard(state->lock);
    ReloadSceneControl(&state->settings);
    ApplyCameraControls(&state->controls, &state->settings);
    // As a camera pulled from its socket mid-stream: an error, no frame.
    if (state->settings.unplugged != 0) {
        GST_ELEMENT_ERROR(src, RESOURCE, READ, ("The camera was unplugged."), (nullptr));
        return GST_FLOW_ERROR;
    }
    const uint32_t index = state->frameIndex++;
    RenderCameraPicture(state->settings, &state->desktop, index, state->scratch.data());

    const CameraMode mode = state->mode;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, ModeFrameBytes(mode), nullptr);
    GstMapInfo map;
    if (buffer == nullptr || !gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        if (buffer != nullptr) gst_buffer_unref(buffer);
        return GST_FLOW_ERROR;
    }
    // GStreamer's rows run top-down, without padding for these sizes.
    DrawInMode(state->scratch.data(), mode, true, map.data, ModeFrameBytes(mode) / static_cast<size_t>(mode.height));
    gst_buffer_unmap(buffer, &map);
    if (state->jpeg != nullptr) {
        buffer = Encode(state, buffer);
        if (buffer == nullptr) {
            GST_ELEMENT_ERROR(src, STREAM, ENCODE, ("The camera's encoder failed."), (nullptr));
            return GST_FLOW_ERROR;
        }
    }
    const GstClockTime pts = FrameTime(GST_BASE_SRC(src), state, index);
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(1, GST_SECOND, mode.framesPerSecond);
    GST_BUFFER_OFFSET(buffer) = index;
    *out = buffer;
    return GST_FLOW_OK;
}

gboolean PluginInit(GstPlugin* plugin);

}  // namespace

static void lumidart_virtual_cam_class_init(LumidartVirtualCamClass* klass) {
    GObjectClass* const objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = SetProperty;
    objectClass->get_property = GetProperty;
    objectClass->finalize = Finalize;
    const SceneSettings defaults;
    for (guint i = 0; i < kPropertyCount; ++i) {
        const Property& p = kProperties[i];
        g_object_class_install_property(
            objectClass, i + 1,
            g_param_spec_int(p.name, p.name, p.name, p.minimum, p.maximum, defaults.*p.field,
                             static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    }
    g_object_class_install_property(
        objectClass, kLivePropertyId,
        g_param_spec_boolean("live", "live", "Frames paced at 30 per second (off: as fast as they render)", TRUE,
                             static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        objectClass, kModesPropertyId,
        g_param_spec_string("modes", "modes", "Mode list advertised: single, webcam-1080p, wide, hd-first or webcam-mjpeg",
                            DefaultModeList().name,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        objectClass, kCameraPropertyId,
        g_param_spec_int("camera", "camera", "Which of the listed cameras this is (each its own screen colour)", 1,
                         kMaxListedCameras, 1, static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    for (int i = 0; i < kCameraControlCount; ++i) {
        const CameraControlInfo& c = kCameraControls[i];
        const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
        auto* const property = i == kControlExposureAuto
                                   ? g_param_spec_boolean(c.name, c.name, "Automatic exposure", c.initial != 0, flags)
                                   : g_param_spec_int(c.name, c.name, c.name, c.minimum, c.maximum, c.initial, flags);
        g_object_class_install_property(objectClass, kFirstControlPropertyId + static_cast<guint>(i), property);
    }
    GstElementClass* const elementClass = GST_ELEMENT_CLASS(klass);
    elementClass->change_state = ChangeState;
    gst_element_class_set_static_metadata(elementClass, "Lumidart virtual camera", "Source/Video",
                                          "A projection screen with a laser spot", "Lumidart");
    gst_element_class_add_static_pad_template(elementClass, &g_srcTemplate);
    GST_BASE_SRC_CLASS(klass)->start = ResetFrames;
    GST_BASE_SRC_CLASS(klass)->stop = StopFrames;
    GST_BASE_SRC_CLASS(klass)->get_times = GetTimes;
    GST_BASE_SRC_CLASS(klass)->get_caps = GetCaps;
    GST_BASE_SRC_CLASS(klass)->set_caps = SetCaps;
    GST_PUSH_SRC_CLASS(klass)->create = Create;
}

static void lumidart_virtual_cam_init(LumidartVirtualCam* self) {
    new (&self->state) std::atomic<CameraState*>(nullptr);
    self->state.store(new CameraState, std::memory_order_release);
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}

// --- The cameras as a device monitor lists them ---

// As GStreamer's own providers list a webcam: one device per camera, which
// makes the element that opens it. All share one name, as identical
// webcams do.
struct LumidartVirtualCamDevice {
    GstDevice parent;
    int camera;
};

struct LumidartVirtualCamDeviceClass {
    GstDeviceClass parent_class;
};

G_DEFINE_TYPE(LumidartVirtualCamDevice, lumidart_virtual_cam_device, GST_TYPE_DEVICE)

static GstElement* CreateDeviceElement(GstDevice* device, const gchar* name) {
    GstElement* const element = gst_element_factory_make("lumidartvirtualcam", name);
    if (element != nullptr) {
        g_object_set(element, "camera", reinterpret_cast<LumidartVirtualCamDevice*>(device)->camera, nullptr);
    }
    return element;
}

static void lumidart_virtual_cam_device_class_init(LumidartVirtualCamDeviceClass* klass) {
    GST_DEVICE_CLASS(klass)->create_element = CreateDeviceElement;
}

static void lumidart_virtual_cam_device_init(LumidartVirtualCamDevice*) {}

struct LumidartVirtualCamProvider {
    GstDeviceProvider parent;
};

struct LumidartVirtualCamProviderClass {
    GstDeviceProviderClass parent_class;
};

G_DEFINE_TYPE(LumidartVirtualCamProvider, lumidart_virtual_cam_provider, GST_TYPE_DEVICE_PROVIDER)

// LUMIDART_VIRTUALCAM_DEVICES, a count, switches the listing on; without
// it the provider lists nothing, so that a desktop's camera list stays
// the real cameras'.
static GList* ProbeDevices(GstDeviceProvider*) {
    const char* const wanted = std::getenv("LUMIDART_VIRTUALCAM_DEVICES");
    const int count = wanted != nullptr ? std::atoi(wanted) : 0;
    GList* devices = nullptr;
    for (int camera = 1; camera <= count && camera <= kMaxListedCameras; ++camera) {
        GstCaps* const caps = ModeCaps(&ModeListFromEnvironment());
        GstStructure* const properties = gst_structure_new("lumidartvirtualcam", "camera", G_TYPE_INT, camera, nullptr);
        auto* const device = static_cast<LumidartVirtualCamDevice*>(
            g_object_new(lumidart_virtual_cam_device_get_type(), "display-name", "Lumidart virtual camera",
                         "device-class", "Video/Source", "caps", caps, "properties", properties, nullptr));
        device->camera = camera;
        gst_caps_unref(caps);
        gst_structure_free(properties);
        devices = g_list_append(devices, gst_object_ref_sink(device));
    }
    return devices;
}

static void lumidart_virtual_cam_provider_class_init(LumidartVirtualCamProviderClass* klass) {
    GstDeviceProviderClass* const providerClass = GST_DEVICE_PROVIDER_CLASS(klass);
    providerClass->probe = ProbeDevices;
    gst_device_provider_class_set_static_metadata(providerClass, "Lumidart virtual cameras", "Source/Video",
                                                  "Lists the virtual cameras as webcams", "Lumidart");
}

static void lumidart_virtual_cam_provider_init(LumidartVirtualCamProvider*) {}

namespace {

gboolean PluginInit(GstPlugin* plugin) {
    return gst_element_register(plugin, "lumidartvirtualcam", GST_RANK_NONE, lumidart_virtual_cam_get_type()) &&
           gst_device_provider_register(plugin, "lumidartvirtualcamprovider", GST_RANK_MARGINAL,
                                        lumidart_virtual_cam_provider_get_type());
}

}  // namespace

#define PACKAGE "lumidart"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, lumidartvirtualcam, "Lumidart virtual camera", PluginInit,
                  "1.01", "Proprietary", "Lumidart", "lumidart")

bool RegisterVirtualCameraElement() {
    static const bool registered =
        gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "lumidartvirtualcam",
                                   "Lumidart virtual camera", PluginInit, "1.01", "Proprietary", PACKAGE, "Lumidart",
                                   "lumidart");
    return registered;
}
