// The frame sink as a GStreamer element.
#include <gst/base/gstbasesink.h>
#include <gst/video/video.h>

#include <atomic>
#include <cstring>
#include <new>

#include "capture/frame_sink.h"
#include "capture/gst_capture.h"

namespace {

bool IsFormat(const GstStructure* s, const char* name) {
    const char* const format = gst_structure_get_string(s, "format");
    return format != nullptr && std::strcmp(format, name) == 0;
}

}  // namespace

bool PackedYuvFromCaps(const GstCaps* caps, PackedYuvLayout* layout, YuvMatrix* matrix) {
    GstVideoInfo info;
    if (caps == nullptr || !gst_caps_is_fixed(caps) || !gst_video_info_from_caps(&info, caps)) return false;
    const GstVideoFormat format = GST_VIDEO_INFO_FORMAT(&info);
    if (format != GST_VIDEO_FORMAT_YUY2 && format != GST_VIDEO_FORMAT_UYVY) return false;
    // Chroma on the first pixel of each pair is interpolated differently.
    if ((info.chroma_site & GST_VIDEO_CHROMA_SITE_H_COSITED) != 0) return false;
    const GstVideoColorimetry& colorimetry = info.colorimetry;
    gdouble kr = 0, kb = 0;
    if (!gst_video_color_matrix_get_Kr_Kb(colorimetry.matrix, &kr, &kb)) return false;
    if (colorimetry.range != GST_VIDEO_COLOR_RANGE_0_255 && colorimetry.range != GST_VIDEO_COLOR_RANGE_16_235) {
        return false;
    }
    *layout = format == GST_VIDEO_FORMAT_YUY2 ? PackedYuvLayout::kYuy2 : PackedYuvLayout::kUyvy;
    *matrix = MakeYuvMatrix(kr, kb, colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255);
    return true;
}

namespace {

// BGRx is the sink's 32-bit layout; packed YUV counts only where it can be
// converted.
PictureFormat FormatOf(const GstCaps* caps) {
    if (IsFormat(gst_caps_get_structure(caps, 0), "BGRx")) return PictureFormat::kRgb32;
    PackedYuvLayout layout;
    YuvMatrix matrix;
    if (!PackedYuvFromCaps(caps, &layout, &matrix)) return PictureFormat::kOther;
    return layout == PackedYuvLayout::kYuy2 ? PictureFormat::kYuy2 : PictureFormat::kUyvy;
}

}  // namespace

bool AcceptsFrameCaps(const GstCaps* caps) {
    if (caps == nullptr || gst_caps_get_size(caps) != 1 || !gst_caps_is_fixed(caps)) return false;
    const GstStructure* const s = gst_caps_get_structure(caps, 0);
    const GstCapsFeatures* const features = gst_caps_get_features(caps, 0);
    if (!gst_structure_has_name(s, "video/x-raw")) return false;
    if (features != nullptr && !gst_caps_features_contains(features, GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY)) {
        return false;
    }
    gint width = 0, height = 0;
    if (!gst_structure_get_int(s, "width", &width) || !gst_structure_get_int(s, "height", &height)) return false;
    // Raw video caps run their rows top-down.
    return AcceptsFrameShape({width, height, FormatOf(caps), true});
}

struct LumidartFrameSink {
    GstBaseSink parent;
    GstVideoInfo info;
    // Packed YUV caps convert on the copy; any other are copied as BGRx.
    bool packedYuv;
    PackedYuvLayout layout;
    YuvMatrix matrix;
    // The sink outlives its sources: caps for a source opened again come on
    // another streaming thread than the frames before them. GStreamer orders
    // the two through primitives a thread checker cannot see; each frame
    // and each caps hands the fields above on with release, and takes them
    // with acquire.
    std::atomic<bool> handedOn;
};

struct LumidartFrameSinkClass {
    GstBaseSinkClass parent_class;
};

G_DEFINE_TYPE(LumidartFrameSink, lumidart_frame_sink, GST_TYPE_BASE_SINK)

namespace {

GstStaticPadTemplate g_sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("video/x-raw, format=(string){ BGRx, YUY2, UYVY }, width=(int)640, height=(int)480"));

gboolean SetCaps(GstBaseSink* sink, GstCaps* caps) {
    if (!AcceptsFrameCaps(caps)) return FALSE;
    auto* const self = reinterpret_cast<LumidartFrameSink*>(sink);
    self->handedOn.load(std::memory_order_acquire);
    self->packedYuv = PackedYuvFromCaps(caps, &self->layout, &self->matrix);
    const bool known = gst_video_info_from_caps(&self->info, caps);
    self->handedOn.store(true, std::memory_order_release);
    return known;
}

GstFlowReturn Render(GstBaseSink* sink, GstBuffer* buffer) {
    auto* const self = reinterpret_cast<LumidartFrameSink*>(sink);
    self->handedOn.load(std::memory_order_acquire);
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &self->info, buffer, GST_MAP_READ)) {
        self->handedOn.store(true, std::memory_order_release);
        return GST_FLOW_OK;
    }
    const auto* data = static_cast<const unsigned char*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const auto* mapped = frame.map[0].data;
    const size_t length = frame.map[0].size - static_cast<size_t>(data - mapped);
    const auto stride = static_cast<size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
    if (self->packedYuv) {
        DeliverPackedYuvFrame(data, length, stride, self->layout, self->matrix);
    } else {
        DeliverTopDownFrame(data, length, stride);
    }
    gst_video_frame_unmap(&frame);
    self->handedOn.store(true, std::memory_order_release);
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
    // The instance starts zeroed: packedYuv is false until caps arrive.
    gst_video_info_init(&self->info);
    // Published as the fields are: the first caps may come on a pooled
    // thread.
    new (&self->handedOn) std::atomic<bool>(false);
    self->handedOn.store(false, std::memory_order_release);
    // Frames are taken as they come; nothing depends on their timing.
    gst_base_sink_set_sync(GST_BASE_SINK(self), FALSE);
    gst_base_sink_set_qos_enabled(GST_BASE_SINK(self), FALSE);
    gst_base_sink_set_last_sample_enabled(GST_BASE_SINK(self), FALSE);
}

GstElement* CreateFrameSinkElement() {
    return GST_ELEMENT(g_object_new(lumidart_frame_sink_get_type(), nullptr));
}
