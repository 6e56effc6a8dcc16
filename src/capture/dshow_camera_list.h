// The cameras DirectShow lists, and the capture source made from the one
// selected.
#pragma once

#include <windows.h>
#include <dshow.h>

// Creates the selected camera as a filter, counted once for the caller:
// by the fixed class id when none was selected (or that source was). S_OK
// only when it exists.
HRESULT CreateSelectedCamera(IBaseFilter** filter);
