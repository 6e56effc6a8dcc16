// The stream's end on GStreamer: the pipeline's bus is read on the UI
// thread, through its poll descriptor in the X11 loop, and an error or an
// end of stream counts as the camera lost.
#include <gst/gst.h>

#include "capture/capture_recovery.h"
#include "capture/gst_capture.h"
#include "platform/x11_event_loop.h"
#include "state/platform.h"

namespace {

GstBus* g_bus = nullptr;
int g_busFd = -1;

// One message a turn. Stopping the pipeline flushes the bus, so nothing a
// dropped source posted is seen afterwards.
bool TakeBusMessage() {
    GstMessage* const message = gst_bus_pop(g_bus);
    if (message == nullptr) return false;
    const bool ended = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR || GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    gst_message_unref(message);
    if (ended) OnCaptureLost();
    return true;
}

}  // namespace

void WatchCaptureBus(GstBus* bus) {
    StopWatchingCaptureBus();
    g_bus = GST_BUS(gst_object_ref(bus));
    GPollFD fd;
    gst_bus_get_pollfd(g_bus, &fd);
    g_busFd = fd.fd;
    WatchX11LoopDescriptor(g_busFd, TakeBusMessage);
}

void PlatformStartCaptureWatchTimer(PlatformWindow*, int milliseconds) {
    StartX11LoopTimer(milliseconds, OnCaptureWatchTimer);
}

void PlatformKillCaptureWatchTimer(PlatformWindow*) { StopX11LoopTimer(OnCaptureWatchTimer); }

void StopWatchingCaptureBus() {
    if (g_bus == nullptr) return;
    UnwatchX11LoopDescriptor(g_busFd);
    gst_object_unref(g_bus);
    g_bus = nullptr;
    g_busFd = -1;
}
