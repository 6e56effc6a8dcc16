// What the GStreamer capture files share.
#pragma once

#include <gst/gst.h>

#include <cstdint>

#include "capture/frame_sink.h"

struct CapsMediaType {
    MediaGuid formatType, majorType, subtype;
};

// The DirectShow identifiers that describe the same stream: raw video with
// plain progressive square-pixel caps has the plain video-info header,
// other video the extended one; BGRx is RGB32 and BGR is RGB24. Anything
// else gets the null identifier.
CapsMediaType MapCapsToMediaType(const GstCaps* caps);
// The frame sink's media rule on caps: CheckMediaType of the mapping.
int32_t CheckCapsMediaType(const GstCaps* caps);

// The frame sink element: the media rule on its caps, each buffer handed to
// DeliverTopDownFrame on the streaming thread. Floating reference.
GstElement* CreateFrameSinkElement();

// The element whose settings the dialog shows: the capture source itself,
// or the first source element inside a described bin. Null before the
// source exists and after its release. UI thread.
GstElement* CaptureSettingsElement();
