// What the other DirectShow capture files need of the capture graph.
#pragma once

#include <windows.h>
#include <dshow.h>

// The capture source while it exists, not counted; UI thread.
IBaseFilter* CaptureSourceFilter();

// Posted to the main window when the graph has events to read.
constexpr UINT kCaptureEventMessage = WM_APP + 1;
// Reads the graph's events: a device lost, or a stream stopped by an error,
// counts as the camera lost; a device that announces its return is tried
// at once. UI thread.
void TakeCaptureEvents();
