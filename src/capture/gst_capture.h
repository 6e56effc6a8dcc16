// What the GStreamer capture files share.
#pragma once

#include <gst/gst.h>

#include <string>

#include "capture/yuv_conversion.h"

// The frame sink's media rule: whole 640 x 480 frames in system memory,
// BGRx or packed YUV that PackedYuvFromCaps can convert.
bool AcceptsFrameCaps(const GstCaps* caps);

// The byte order and matrix for fixed YUY2 or UYVY caps whose chroma sits
// between the pixels of each pair (as when the caps do not say) and whose
// colour matrix and range are known. False for any other caps.
bool PackedYuvFromCaps(const GstCaps* caps, PackedYuvLayout* layout, YuvMatrix* matrix);

// The frame sink element: the media rule on its caps, each buffer handed to
// DeliverTopDownFrame or DeliverPackedYuvFrame on the streaming thread.
// Floating reference.
GstElement* CreateFrameSinkElement();

// The element whose settings the dialog shows: the capture source itself,
// or the first source element inside a described bin. Null before the
// source exists and after its release. UI thread.
GstElement* CaptureSettingsElement();

// The stream's end, by error or end of stream, read from the pipeline's
// bus on the UI thread, reported as the camera lost.
void WatchCaptureBus(GstBus* bus);
void StopWatchingCaptureBus();

// A source element for the listed camera of that identity; null (floating
// reference otherwise) when no camera has it now.
GstElement* CreateCameraElement(const std::string& identity);
