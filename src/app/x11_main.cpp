// The Linux program's entry.
#include <X11/Xlib.h>

#include "app/linux_pointer_choice.h"
#include "app/main_window.h"
#include "app/posix_signals.h"
#include "app/posix_standard_streams.h"
#include "app/usage.h"
#include "app/x11_connection_loss.h"
#include "capture/camera_list.h"
#include "platform/x11_display.h"
#include "platform/x11_event_loop.h"
#include "platform/x11_monitors.h"

namespace {

// A termination signal closes the console as its close button does, on
// the UI thread.
bool CloseOnSignal() {
    if (!TakeCloseSignal()) return false;
    OnClose();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    OpenMissingStandardStreams();
    // Answered before Xlib is touched: no display needed, no window opened.
    CommandLine command;
    int exitCode = 0;
    if (!ParseOrAnswer(argc, argv, &command, &exitCode)) return exitCode;
    if (command.listCameras) return PrintCameraList();
    SetWantedCamera(command.camera);
    SetWantedMonitor(command.monitor);
    SetPointerOption(command.pointer);
    // From here on a termination request is a close request.
    InstallCloseSignals();
    WatchX11LoopDescriptor(CloseSignalFd(), CloseOnSignal);
    // The worker presents and polls input while the UI thread waits for
    // events; restores may come from either thread.
    XInitThreads();
    InstallX11ErrorHandler();
    InstallX11ConnectionLossHandler();
    // Nothing is reported and every run ends with 0, even without a display.
    if (UiDisplay() == nullptr || WorkerDisplay() == nullptr) return 0;
    exitCode = RunLumidart();
    StopPointer();
    return exitCode;
}
