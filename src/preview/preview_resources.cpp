#include "preview/preview_resources.h"

#include "state/platform.h"
#include "state/tracker_state.h"

void CreatePreviewResources() {
    // A missing picture leaves the Frame buffer null: the sink then drops
    // every frame and the passes draw nothing.
    uint32_t* const frame = PlatformCreatePicture(g_tracker.mainWindow.load(std::memory_order_acquire));
    g_tracker.frame.store(frame, std::memory_order_release);
}

void ReleasePreviewResources() {
    if (g_tracker.frame.exchange(nullptr, std::memory_order_acq_rel) == nullptr) return;
    PlatformReleasePicture();
}
