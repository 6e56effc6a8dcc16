// The GStreamer virtual camera's own switches: unpaced frames for soak runs
// and the count of delivered frames it leaves behind at each stop.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>

#include "virtualcam/gst_virtualcam.h"

namespace {

GstElement* Launch(const char* description) {
    GError* error = nullptr;
    GstElement* const pipeline = gst_parse_launch(description, &error);
    EXPECT_EQ(error, nullptr) << (error ? error->message : "");
    return pipeline;
}

bool RunToEndOfStream(GstElement* pipeline) {
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* const bus = gst_element_get_bus(pipeline);
    GstMessage* const message = gst_bus_timed_pop_filtered(
        bus, 60 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ended = message != nullptr && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message != nullptr) gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    return ended;
}

TEST(GstVirtualCamera, LiveSwitchAndFrameCountAtStop) {
    gst_init(nullptr, nullptr);
    ASSERT_TRUE(RegisterVirtualCameraElement());
    const std::string stats = "/tmp/lumidart-virtualcam-stats-" + std::to_string(getpid());
    std::remove(stats.c_str());
    ASSERT_EQ(setenv("LUMIDART_VIRTUALCAM_STATS", stats.c_str(), 1), 0);

    GstElement* const paced = Launch("lumidartvirtualcam name=cam ! fakesink");
    GstElement* const camera = gst_bin_get_by_name(GST_BIN(paced), "cam");
    gboolean live = FALSE;
    g_object_get(camera, "live", &live, nullptr);
    EXPECT_TRUE(live) << "paced like a camera unless told otherwise";
    g_object_set(camera, "live", FALSE, nullptr);
    g_object_get(camera, "live", &live, nullptr);
    EXPECT_FALSE(live);
    gst_object_unref(camera);
    gst_object_unref(paced);

    // Each stop appends the frames delivered since the start.
    GstElement* const unpaced = Launch("lumidartvirtualcam live=false num-buffers=150 ! fakesink");
    ASSERT_TRUE(RunToEndOfStream(unpaced));
    gst_object_unref(unpaced);
    GstElement* const second = Launch("lumidartvirtualcam live=false num-buffers=7 ! fakesink");
    ASSERT_TRUE(RunToEndOfStream(second));
    gst_object_unref(second);

    std::ifstream in(stats);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "mode BGRx 640x480 30\nframes 150\nmode BGRx 640x480 30\nframes 7\n");
    unsetenv("LUMIDART_VIRTUALCAM_STATS");
    std::remove(stats.c_str());
}

void CountFrame(GstElement*, GstBuffer*, GstPad*, gpointer counter) {
    static_cast<std::atomic<int>*>(counter)->fetch_add(1, std::memory_order_relaxed);
}

// Live off then on again, as in the settings dialog: the picture goes on,
// paced again, instead of waiting for the clock to catch up with the
// frames rendered unpaced.
TEST(GstVirtualCamera, PacingSwitchedBackOnResumesThePicture) {
    gst_init(nullptr, nullptr);
    ASSERT_TRUE(RegisterVirtualCameraElement());
    GstElement* const pipeline =
        Launch("lumidartvirtualcam name=cam ! fakesink name=sink sync=false signal-handoffs=true");
    GstElement* const camera = gst_bin_get_by_name(GST_BIN(pipeline), "cam");
    GstElement* const sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    std::atomic<int> frames{0};
    g_signal_connect(sink, "handoff", G_CALLBACK(CountFrame), &frames);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    const auto framesWithin = [&frames](int milliseconds) {
        frames = 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return frames.load();
    };
    EXPECT_GT(framesWithin(500), 5);
    // Unpaced, the frame count runs ahead of the clock (as far as the
    // renderer's speed allows: a sanitized build barely gets ahead).
    g_object_set(camera, "live", FALSE, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    g_object_set(camera, "live", TRUE, nullptr);
    const int resumed = framesWithin(1000);
    EXPECT_GT(resumed, 10) << "the picture froze";
    EXPECT_LT(resumed, 60) << "not paced again";
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(camera);
    gst_object_unref(pipeline);
}

}  // namespace
