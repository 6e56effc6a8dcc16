#include "capture/stream_capability.h"

#include "capture/frame_sink.h"

namespace {

bool Faster(const StreamCapability& a, const StreamCapability& b) {
    if (a.frameInterval <= 0) return false;
    return b.frameInterval <= 0 || a.frameInterval < b.frameInterval;
}

}  // namespace

int ChooseStreamCapability(const StreamCapability* capabilities, int count) {
    if (capabilities == nullptr || count <= 0) return -1;
    if (IsFrameSize(capabilities[0].width, capabilities[0].height)) return 0;
    int chosen = -1;
    for (int i = 1; i < count; ++i) {
        const StreamCapability& c = capabilities[i];
        if (IsFrameSize(c.width, c.height) && (chosen < 0 || Faster(c, capabilities[chosen]))) chosen = i;
    }
    return chosen;
}
