// The capture source's adjustable controls on Linux: the V4L2 controls of
// its device, or, for a source without a device, the integer and boolean
// properties its own element class adds. The settings dialog and the
// exposure assistant both reach the camera through these. UI thread only.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <string>
#include <vector>

struct SourceControl {
    std::string name;
    int32_t minimum, maximum, step;
    int32_t value;
    GParamSpec* property;  // null for a V4L2 control
    uint32_t v4l2Id;
    uint32_t v4l2Type;
    uint32_t v4l2Flags;
};

// The source element (a reference of our own) and its device, if any,
// through a descriptor of our own.
struct SourceControls {
    GstElement* element = nullptr;
    int v4l2Fd = -1;
};

// False, with nothing held, while there is no capture source.
bool OpenSourceControls(SourceControls* source);
void CloseSourceControls(SourceControls* source);

// Every control the operator may adjust: integer, boolean and menu
// controls that are neither disabled nor read-only; or the element's
// readable and writable integer and boolean properties.
std::vector<SourceControl> ListSourceControls(const SourceControls& source);
// The one V4L2 control by its id, or the property by its name, as it is
// now. False when the source has no such control.
bool FindSourceControl(const SourceControls& source, uint32_t v4l2Id, const char* property, SourceControl* control);
// A menu's indices that exist, in order (a device's menu may have gaps);
// empty for every other control.
std::vector<int32_t> SourceMenuItems(const SourceControls& source, const SourceControl& control);
// False while the device marks it read-only, inactive, grabbed or disabled.
bool SourceControlWritable(const SourceControl& control);
void SetSourceControl(const SourceControls& source, const SourceControl& control, int32_t value);
