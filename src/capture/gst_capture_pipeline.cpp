// The capture pipeline with GStreamer: the source (the chosen camera, the
// element description in LUMIDART_SOURCE, or else the first V4L2 device),
// the mode chosen among its formats, conversion and scaling to 640 x 480
// BGRx, and the frame sink.
#include <gst/gst.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "capture/gst_capture.h"
#include "capture/gst_mode_choice.h"
#include "capture/linux_device_handles.h"
#include "state/platform.h"

namespace {

GstElement* g_pipeline = nullptr;
GstElement* g_sink = nullptr;
// Our own reference; the pipeline holds another.
GstElement* g_source = nullptr;
// The listed camera the source opens; empty for the default source.
std::string g_camera;

const char* SourceDescription() { return std::getenv("LUMIDART_SOURCE"); }

GstElement* CreateSourceElement() {
    if (!g_camera.empty()) return CreateCameraElement(g_camera);
    const char* description = SourceDescription();
    if (description == nullptr || *description == '\0') return gst_element_factory_make("v4l2src", nullptr);
    GError* error = nullptr;
    GstElement* source =
        gst_parse_bin_from_description_full(description, TRUE, nullptr, GST_PARSE_FLAG_FATAL_ERRORS, &error);
    if (error != nullptr) {
        g_error_free(error);
        if (source != nullptr) gst_object_unref(gst_object_ref_sink(source));
        return nullptr;
    }
    return source;
}

GstPad* FirstSourcePad(GstElement* element) {
    GstIterator* const pads = gst_element_iterate_src_pads(element);
    GValue item = G_VALUE_INIT;
    GstPad* pad = nullptr;
    if (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
        pad = GST_PAD(g_value_dup_object(&item));
        g_value_reset(&item);
    }
    gst_iterator_free(pads);
    return pad;
}

// The mode chosen among everything the pad can produce; null if it offers
// nothing definite.
GstCaps* ChosenMode(GstPad* pad) {
    GstCaps* const all = gst_pad_query_caps(pad, nullptr);
    GstCaps* const chosen = ChooseCaptureMode(all);
    if (all != nullptr) gst_caps_unref(all);
    return chosen;
}

// True when the chosen mode (the first structure) is of square (or
// unstated) pixels and the sink takes it as it comes.
bool SinkTakesMode(const GstCaps* mode) {
    if (mode == nullptr || gst_caps_is_empty(mode)) return false;
    GstCaps* const first = gst_caps_copy_nth(mode, 0);
    const GstStructure* const s = gst_caps_get_structure(first, 0);
    gint n = 1, d = 1;
    const bool square = !gst_structure_has_field(s, "pixel-aspect-ratio") ||
                        (gst_structure_get_fraction(s, "pixel-aspect-ratio", &n, &d) && n == d);
    const bool takes = square && AcceptsFrameCaps(first);
    gst_caps_unref(first);
    return takes;
}

// What the sink is given: BGRx at the frame's size with square pixels, so
// that any shape is stretched to fill the frame (the calibration absorbs
// the stretch) rather than padded or refused. A mode the sink takes as it
// comes (a camera's own 640 x 480 YUY2) is preferred: the converter and
// scaler pass it untouched and the sink converts it in its one copy. Any
// other mode is scaled and converted by GStreamer's own elements.
GstCaps* FrameCaps(const GstCaps* mode) {
    GstCaps* const caps = gst_caps_new_empty();
    const char* formats[] = {nullptr, "BGRx"};
    if (SinkTakesMode(mode)) formats[0] = gst_structure_get_string(gst_caps_get_structure(mode, 0), "format");
    for (const char* format : formats) {
        if (format == nullptr) continue;
        gst_caps_append_structure(
            caps, gst_structure_new("video/x-raw", "format", G_TYPE_STRING, format, "width", G_TYPE_INT, kFrameWidth,
                                    "height", G_TYPE_INT, kFrameHeight, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1,
                                    nullptr));
    }
    return caps;
}

GstElement* MakeCapsFilter(GstCaps* caps) {
    GstElement* const filter = gst_element_factory_make("capsfilter", nullptr);
    if (filter != nullptr && caps != nullptr) g_object_set(filter, "caps", caps, nullptr);
    if (caps != nullptr) gst_caps_unref(caps);
    return filter;
}

bool IsSourceElement(GstElement* element) {
    return GST_ELEMENT_CAST(element)->numsinkpads == 0 && GST_ELEMENT_CAST(element)->numsrcpads > 0;
}

}  // namespace

GstElement* CaptureSettingsElement() {
    if (g_source == nullptr || !GST_IS_BIN(g_source)) return g_source;
    GstElement* found = nullptr;
    GstIterator* const children = gst_bin_iterate_sorted(GST_BIN(g_source));
    GValue item = G_VALUE_INIT;
    // Sorted from the sinks upstream: the last source element is the first.
    while (gst_iterator_next(children, &item) == GST_ITERATOR_OK) {
        auto* const child = GST_ELEMENT(g_value_get_object(&item));
        if (IsSourceElement(child)) found = child;
        g_value_reset(&item);
    }
    gst_iterator_free(children);
    return found != nullptr ? found : g_source;
}

bool PlatformCameraOverridden() {
    const char* const description = SourceDescription();
    return description != nullptr && *description != '\0';
}

void PlatformCaptureSelectCamera(const std::string& identity) { g_camera = identity; }

void PlatformCaptureCreatePipeline() {
    gst_init(nullptr, nullptr);
    g_pipeline = gst_pipeline_new("lumidart");
    GstBus* const bus = gst_pipeline_get_bus(GST_PIPELINE(g_pipeline));
    WatchCaptureBus(bus);
    gst_object_unref(bus);
    g_sink = CreateFrameSinkElement();
    gst_bin_add(GST_BIN(g_pipeline), g_sink);
}

bool PlatformCaptureCreateSource() {
    GstElement* const source = CreateSourceElement();
    if (source == nullptr) return false;
    gst_object_ref_sink(source);
    // A source that cannot open its device fails here, not later.
    if (gst_element_set_state(source, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(source, GST_STATE_NULL);
        gst_object_unref(source);
        return false;
    }
    gst_bin_add(GST_BIN(g_pipeline), source);
    g_source = source;
    return true;
}

void PlatformCaptureConnect() {
    GstPad* const output = FirstSourcePad(g_source);
    if (output == nullptr) return;
    GstCaps* const mode = ChosenMode(output);
    // Motion JPEG needs decoding before the converter can reach raw BGRx.
    const bool jpeg = mode != nullptr && gst_structure_has_name(gst_caps_get_structure(mode, 0), "image/jpeg");
    GstElement* const frameFormat = MakeCapsFilter(FrameCaps(mode));
    GstElement* const chosen = MakeCapsFilter(mode);
    GstElement* const decode = jpeg ? gst_element_factory_make("jpegdec", nullptr) : nullptr;
    GstElement* const convert = gst_element_factory_make("videoconvert", nullptr);
    GstElement* const scale = gst_element_factory_make("videoscale", nullptr);
    if (chosen == nullptr || (jpeg && decode == nullptr) || convert == nullptr || scale == nullptr ||
        frameFormat == nullptr) {
        for (GstElement* e : {chosen, decode, convert, scale, frameFormat}) {
            if (e != nullptr) gst_object_unref(gst_object_ref_sink(e));
        }
        gst_object_unref(output);
        return;
    }
    g_object_set(scale, "add-borders", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(g_pipeline), chosen, convert, scale, frameFormat, nullptr);
    GstPad* const input = gst_element_get_static_pad(chosen, "sink");
    gst_pad_link(output, input);
    gst_object_unref(input);
    gst_object_unref(output);
    if (decode != nullptr) {
        gst_bin_add(GST_BIN(g_pipeline), decode);
        gst_element_link_many(chosen, decode, convert, nullptr);
    } else {
        gst_element_link(chosen, convert);
    }
    gst_element_link_many(convert, scale, frameFormat, g_sink, nullptr);
}

void PlatformCaptureRun() { gst_element_set_state(g_pipeline, GST_STATE_PLAYING); }

// Stopping waits for the streaming threads, and no source is opened again:
// no delivery runs afterwards.
void PlatformCaptureStop() {
    StopWatchingCaptureBus();
    if (g_pipeline != nullptr) gst_element_set_state(g_pipeline, GST_STATE_NULL);
}

void PlatformCaptureReleaseSource() {
    if (g_source == nullptr) return;
    gst_object_unref(g_source);
    g_source = nullptr;
}

void PlatformCaptureReleasePipeline() {
    StopWatchingCaptureBus();
    if (g_pipeline == nullptr) return;
    gst_element_set_state(g_pipeline, GST_STATE_NULL);
    gst_object_unref(g_pipeline);
    g_pipeline = nullptr;
    g_sink = nullptr;
}

void PlatformCaptureShutdown() { gst_deinit(); }

// The device the source reads, if it names one (v4l2src's "device").
std::string SourceDevice() {
    GstElement* const element = CaptureSettingsElement();
    if (element == nullptr || g_object_class_find_property(G_OBJECT_GET_CLASS(element), "device") == nullptr) return {};
    gchar* device = nullptr;
    g_object_get(element, "device", &device, nullptr);
    std::string resolved = ResolvedDevicePath(device);
    g_free(device);
    return resolved;
}

// The chain built for the source's mode goes with it; the sink stays.
void PlatformCaptureDropSource() {
    const std::string device = SourceDevice();
    gst_element_set_state(g_pipeline, GST_STATE_NULL);
    std::vector<GstElement*> others;
    GST_OBJECT_LOCK(g_pipeline);
    for (GList* child = GST_BIN_CHILDREN(g_pipeline); child != nullptr; child = child->next) {
        if (child->data != g_sink) others.push_back(GST_ELEMENT(gst_object_ref(child->data)));
    }
    GST_OBJECT_UNLOCK(g_pipeline);
    for (GstElement* element : others) {
        gst_bin_remove(GST_BIN(g_pipeline), element);
        gst_object_unref(element);
    }
    PlatformCaptureReleaseSource();
    // NOTE: when a V4L2 device vanishes mid-stream, GStreamer's buffer pool
    // fails to stop and is never freed, and keeps its own duplicate of the
    // device's descriptor. The kernel then keeps the unplugged device, which
    // can never return under its name. Nothing of ours needs the device now
    // (an exposure search under way ends for want of frames), so whatever
    // descriptor is still open on it is that leak.
    ReleaseDeviceHandles(device);
}

bool PlatformCaptureReopenSource() {
    if (!PlatformCaptureCreateSource()) return false;
    PlatformCaptureConnect();
    if (gst_element_set_state(g_pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) return true;
    PlatformCaptureDropSource();
    return false;
}

bool PlatformCaptureSwitchSource() {
    PlatformCaptureDropSource();
    return PlatformCaptureReopenSource();
}
