// The virtual camera as a GStreamer source element, "lumidartvirtualcam":
// the scene at 30 frames a second as 640 x 480 BGRx, steered by the scene
// control file, its scene settings exposed as properties. Built as a plugin
// that GStreamer loads from GST_PLUGIN_PATH; test programs link it and
// register it themselves.
#pragma once

// Registers the element with the running GStreamer; once per process,
// after gst_init. True when the element can be created by its name.
bool RegisterVirtualCameraElement();
