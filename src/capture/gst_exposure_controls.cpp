// The exposure assistant's hold on the camera on Linux: the V4L2 exposure,
// gain and brightness controls of the source's device, or the source
// element's properties of those names.
#include <linux/videodev2.h>
#include <sys/ioctl.h>

#include "capture/gst_source_controls.h"
#include "state/platform.h"

namespace {

struct Candidate {
    uint32_t v4l2Id;
    const char* property;
};

// In the order they are tried: exposure first, gain, then brightness.
const Candidate kCandidates[] = {
    {V4L2_CID_EXPOSURE_ABSOLUTE, "exposure"},
    {V4L2_CID_GAIN, "gain"},
    {V4L2_CID_BRIGHTNESS, "brightness"},
};

SourceControls g_source;
SourceControl g_picked;

bool MenuOffers(int fd, uint32_t id, int32_t index) {
    v4l2_querymenu item{};
    item.id = id;
    item.index = static_cast<uint32_t>(index);
    return ioctl(fd, VIDIOC_QUERYMENU, &item) == 0;
}

void TakeOutOfAutomaticExposure() {
    SourceControl automatic;
    if (!FindSourceControl(g_source, V4L2_CID_EXPOSURE_AUTO, "exposure-auto", &automatic)) return;
    if (!SourceControlWritable(automatic)) return;
    if (automatic.property != nullptr) {
        if (automatic.value != 0) SetSourceControl(g_source, automatic, 0);
        return;
    }
    if (automatic.value == V4L2_EXPOSURE_MANUAL || automatic.v4l2Type != V4L2_CTRL_TYPE_MENU) return;
    if (MenuOffers(g_source.v4l2Fd, automatic.v4l2Id, V4L2_EXPOSURE_MANUAL)) {
        SetSourceControl(g_source, automatic, V4L2_EXPOSURE_MANUAL);
    }
}

}  // namespace

bool PlatformExposureBegin(PlatformExposureControl* control) {
    if (!OpenSourceControls(&g_source)) return false;
    for (const Candidate& candidate : kCandidates) {
        SourceControl found;
        if (!FindSourceControl(g_source, candidate.v4l2Id, candidate.property, &found)) continue;
        // Manual exposure only for a camera with an exposure to turn; the
        // control wakes up with it.
        if (candidate.v4l2Id == V4L2_CID_EXPOSURE_ABSOLUTE) {
            TakeOutOfAutomaticExposure();
            if (!FindSourceControl(g_source, candidate.v4l2Id, candidate.property, &found)) continue;
        }
        const bool integer = found.property != nullptr ? !G_IS_PARAM_SPEC_BOOLEAN(found.property)
                                                       : found.v4l2Type == V4L2_CTRL_TYPE_INTEGER;
        if (!integer || !SourceControlWritable(found) || found.minimum > found.maximum) continue;
        g_picked = found;
        *control = {found.minimum, found.maximum, found.step, found.value};
        return true;
    }
    CloseSourceControls(&g_source);
    return false;
}

void PlatformExposureSet(int32_t value) {
    if (g_source.element == nullptr) return;
    // Looked at again every time: a camera may grab or deactivate it.
    SourceControl now;
    if (!FindSourceControl(g_source, g_picked.v4l2Id, g_picked.property != nullptr ? g_picked.property->name : "",
                           &now) ||
        !SourceControlWritable(now)) {
        return;
    }
    SetSourceControl(g_source, now, value);
}

void PlatformExposureEnd() { CloseSourceControls(&g_source); }
