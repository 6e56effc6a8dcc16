// What the other DirectShow capture files need of the capture graph.
#pragma once

#include <windows.h>
#include <dshow.h>

// The capture source while it exists, not counted; UI thread.
IBaseFilter* CaptureSourceFilter();
