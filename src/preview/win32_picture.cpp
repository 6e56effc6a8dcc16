// The console picture on GDI: a bottom-up 32-bit DIB section whose bits are
// the Frame buffer, drawn through a memory DC and copied to the window DC.
#include <windows.h>

#include "platform/win32_frame_bitmap.h"
#include "state/platform.h"

namespace {

struct Picture {
    HWND window;
    HDC memoryDc;
    HBITMAP bitmap;
    HGDIOBJ originalBitmap;
    HDC windowDc;
    HPEN quadPen;
    HPEN crosshairPen;
} g_picture;

}  // namespace

uint32_t* PlatformCreatePicture(PlatformWindow* window) {
    const HWND hwnd = reinterpret_cast<HWND>(window);
    const HDC screenDc = GetDC(nullptr);
    const HDC memoryDc = CreateCompatibleDC(screenDc);
    ReleaseDC(nullptr, screenDc);

    BITMAPINFO info{};
    info.bmiHeader = FrameBitmapHeader();
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        DeleteDC(memoryDc);
        return nullptr;
    }
    g_picture.window = hwnd;
    g_picture.memoryDc = memoryDc;
    g_picture.bitmap = bitmap;
    g_picture.originalBitmap = SelectObject(memoryDc, bitmap);
    g_picture.windowDc = GetDC(hwnd);
    g_picture.quadPen = CreatePen(PS_SOLID, 0, 0x00FF0000);
    g_picture.crosshairPen = CreatePen(PS_SOLID, 0, 0x00FFFF00);
    return static_cast<uint32_t*>(bits);
}

void PlatformReleasePicture() {
    // The DC's own pen and bitmap go back in first, so that ours are not
    // selected when they are deleted.
    SelectObject(g_picture.memoryDc, GetStockObject(BLACK_PEN));
    SelectObject(g_picture.memoryDc, g_picture.originalBitmap);
    DeleteObject(g_picture.quadPen);
    DeleteObject(g_picture.crosshairPen);
    DeleteDC(g_picture.memoryDc);
    DeleteObject(g_picture.bitmap);
    ReleaseDC(g_picture.window, g_picture.windowDc);
    g_picture = Picture{};
}

void PlatformSelectPen(PlatformPen pen) {
    SelectObject(g_picture.memoryDc, pen == kPenQuad ? g_picture.quadPen : g_picture.crosshairPen);
}

void PlatformDrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    MoveToEx(g_picture.memoryDc, x0, y0, nullptr);
    LineTo(g_picture.memoryDc, x1, y1);
}

void PlatformDrawRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    Rectangle(g_picture.memoryDc, left, top, right, bottom);
}

void PlatformStretchBlock2x(int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY) {
    StretchBlt(g_picture.memoryDc, dstX, dstY, 32, 32, g_picture.memoryDc, srcX, srcY, 16, 16, SRCCOPY);
}

void PlatformPresentPicture() {
    BitBlt(g_picture.windowDc, 0, 0, kFrameWidth, kFrameHeight, g_picture.memoryDc, 0, 0, SRCCOPY);
    // NOTE: the sink writes the bits from its own thread once this pass
    // ends; nothing of this thread's drawing may still be batched.
    GdiFlush();
}
