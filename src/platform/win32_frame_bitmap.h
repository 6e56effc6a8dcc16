// The Frame buffer's layout as a Windows bitmap header: 640 x 480 pixels
// of 32 bits, uncompressed, rows bottom-up. The console's picture and the
// virtual camera's one format both use it.
#pragma once

#include <windows.h>

#include "state/tracker_state.h"

inline BITMAPINFOHEADER FrameBitmapHeader() {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = kFrameWidth;
    header.biHeight = kFrameHeight;  // positive: rows bottom-up
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = kFrameBytes;
    return header;
}
