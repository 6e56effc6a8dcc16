// The frame sink as a GStreamer element.
#include <gst/base/gstbasesink.h>
#include <gst/video/video.h>

#include <cstring>

#include "capture/frame_sink.h"
#include "capture/gst_capture.h"
#include "state/tracker_state.h"

bool AcceptsFrameCaps(const GstCaps* caps) {
    if (caps == nullptr || gst_caps_get_size(caps) != 1 || !gst_caps_is_fixed(caps)) return false;
    const GstStructure* const s = gst_caps_get_structure(caps, 0);
    const GstCapsFeatures* const features = gst_caps_get_features(caps, 0);
    if (!gst_structure_has_name(s, "video/x-raw")) return false;
    if (features != nullptr && !gst_caps_features_contains(features, GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY)) {
        return false;
    }
    const char* const format = gst_structure_get_string(s, "format");
    gint width = 0, height = 0;
    return format != nullptr && std::strcmp(format, "BGRx") == 0 && gst_structure_get_int(s, "width", &width) &&
           gst_structure_get_int(s, "height", &height) && width == kFrameWidth && height == kFrameHeight;
}

struct LumidartFrameSink {
    GstBaseSink parent;
    GstVideoInfo info;
};

struct LumidartFrameSinkClass {
    GstBaseSinkClass parent_class;
};

G_DEFINE_TYPE(LumidartFrameSink, lumidart_frame_sink, GST_TYPE_BASE_SINK)

namespace {

GstStaticPadTemplate g_sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("video/x-raw, format=(string)BGRx, width=(int)640, height=(int)480"));

gboolean SetCaps(GstBaseSink* sink, GstCaps* caps) {
    if (!AcceptsFrameCaps(caps)) return FALSE;
    return gst_video_info_from_caps(&reinterpret_cast<LumidartFrameSink*>(sink)->info, caps);
}

GstFlowReturn Render(GstBaseSink* sink, GstBuffer* buffer) {
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &reinterpret_cast<LumidartFrameSink*>(sink)->info, buffer, GST_MAP_READ)) {
        return GST_FLOW_OK;
    }
    const auto* data = static_cast<const unsigned char*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const auto* mapped = frame.map[0].data;
    const size_t length = frame.map[0].size - static_cast<size_t>(data - mapped);
    DeliverTopDownFrame(data, length, static_cast<size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0)));
    gst_video_frame_unmap(&frame);
    return GST_FLOW_OK;
}

}  // namespace

static void lumidart_frame_sink_class_init(LumidartFrameSinkClass* klass) {
    GstElementClass* const elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(elementClass, "Lumidart frame sink", "Sink/Video",
                                          "Copies frames into the Frame buffer", "Lumidart");
    gst_element_class_add_static_pad_template(elementClass, &g_sinkTemplate);
    GST_BASE_SINK_CLASS(klass)->set_caps = SetCaps;
    GST_BASE_SINK_CLASS(klass)->render = Render;
}

static void lumidart_frame_sink_init(LumidartFrameSink* self) {
    gst_video_info_init(&self->info);
    // Frames are taken as they come; nothing depends on their timing.
    gst_base_sink_set_sync(GST_BASE_SINK(self), FALSE);
    gst_base_sink_set_qos_enabled(GST_BASE_SINK(self), FALSE);
    gst_base_sink_set_last_sample_enabled(GST_BASE_SINK(self), FALSE);
}

GstElement* CreateFrameSinkElement() {
    return GST_ELEMENT(g_object_new(lumidart_frame_sink_get_type(), nullptr));
}
