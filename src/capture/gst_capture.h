// What the GStreamer capture files share.
#pragma once

#include <gst/gst.h>

// The frame sink's media rule: whole 640 x 480 BGRx frames in system memory.
bool AcceptsFrameCaps(const GstCaps* caps);

// The frame sink element: the media rule on its caps, each buffer handed to
// DeliverTopDownFrame on the streaming thread. Floating reference.
GstElement* CreateFrameSinkElement();

// The element whose settings the dialog shows: the capture source itself,
// or the first source element inside a described bin. Null before the
// source exists and after its release. UI thread.
GstElement* CaptureSettingsElement();
