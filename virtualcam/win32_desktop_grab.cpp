// The desktop as GDI sees it: the primary screen, copied into a 32-bit
// top-down bitmap of the camera's own.
#include <windows.h>

#include <cstring>

#include "virtualcam/desktop_view.h"

bool GrabDesktop(DesktopPicture* picture) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    if (width <= 0 || height <= 0) return false;
    HDC const screen = GetDC(nullptr);
    if (screen == nullptr) return false;
    HDC const memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP const bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool grabbed = false;
    if (memory != nullptr && bitmap != nullptr) {
        HGDIOBJ const previous = SelectObject(memory, bitmap);
        grabbed = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, previous);
    }
    if (grabbed) {
        picture->width = width;
        picture->height = height;
        picture->pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        const auto* const source = static_cast<const uint32_t*>(bits);
        for (size_t i = 0; i < picture->pixels.size(); ++i) picture->pixels[i] = source[i] & 0x00FFFFFFu;
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (memory != nullptr) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return grabbed;
}
