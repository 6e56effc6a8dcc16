// A camera that comes back: the stream's end (an unplugged camera's error,
// or an end of stream) takes the source down, and the same source is opened
// again about once a second. The frame sink, and with it the picture and
// whatever mode the program is in, carries on once frames flow.
#include <gst/gst.h>

#include "capture/gst_capture.h"
#include "platform/window_restore.h"
#include "platform/x11_event_loop.h"
#include "state/platform.h"
#include "state/tracker_state.h"

namespace {

constexpr int kRetryMs = 1000;
// Tracking frames poll F12; without a camera the UI thread does, as often
// as a slow camera would.
constexpr int kF12PollMs = 50;

GstBus* g_bus = nullptr;
int g_busFd = -1;

void PollF12() {
    if (LoadMode() == kModeTracking) RestoreOnF12();
    StartX11LoopTimer(kF12PollMs, PollF12);
}

void Retry() {
    if (!ReopenCaptureSource()) {
        StartX11LoopTimer(kRetryMs, Retry);
        return;
    }
    StopX11LoopTimer(PollF12);
}

void RetryLater() {
    StartX11LoopTimer(kRetryMs, Retry);
    StartX11LoopTimer(kF12PollMs, PollF12);
}

// One message a turn. Stopping the pipeline flushes the bus, so nothing a
// dropped source posted is seen afterwards.
bool TakeBusMessage() {
    GstMessage* const message = gst_bus_pop(g_bus);
    if (message == nullptr) return false;
    const bool ended = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR || GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    gst_message_unref(message);
    if (!ended) return true;
    // The dialog works on the source's controls, whose device goes with it.
    PlatformSettingsDialogClose();
    DropCaptureSource();
    RetryLater();
    return true;
}

}  // namespace

void PlatformCaptureSwitchSource() {
    PlatformSettingsDialogClose();
    StopX11LoopTimer(Retry);
    DropCaptureSource();
    if (ReopenCaptureSource()) {
        StopX11LoopTimer(PollF12);
        return;
    }
    RetryLater();
}

void WatchCaptureBus(GstBus* bus) {
    StopWatchingCaptureBus();
    g_bus = GST_BUS(gst_object_ref(bus));
    GPollFD fd;
    gst_bus_get_pollfd(g_bus, &fd);
    g_busFd = fd.fd;
    WatchX11LoopDescriptor(g_busFd, TakeBusMessage);
}

void StopWatchingCaptureBus() {
    StopX11LoopTimer(Retry);
    StopX11LoopTimer(PollF12);
    if (g_bus == nullptr) return;
    UnwatchX11LoopDescriptor(g_busFd);
    gst_object_unref(g_bus);
    g_bus = nullptr;
    g_busFd = -1;
}
