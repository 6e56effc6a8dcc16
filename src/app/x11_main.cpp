// The Linux program's entry.
#include <X11/Xlib.h>

#include "app/main_window.h"
#include "app/x11_display.h"

int main() {
    // The worker presents and polls input while the UI thread waits for
    // events; restores may come from either thread.
    XInitThreads();
    InstallX11ErrorHandler();
    // Nothing is reported and every run ends with 0, even without a display.
    if (UiDisplay() == nullptr || WorkerDisplay() == nullptr) return 0;
    return RunLumidart();
}
