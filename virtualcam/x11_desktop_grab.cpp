// The desktop as the X server holds it: the root window of the display
// named by DISPLAY, through a connection of the camera's own.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "virtualcam/desktop_view.h"

namespace {

// The streaming thread's alone: frames are rendered one at a time.
Display* g_display = nullptr;

uint32_t Scaled(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1u) == 0) ++shift;
    const unsigned long top = mask >> shift;
    return static_cast<uint32_t>(((pixel & mask) >> shift) * 255 / top);
}

}  // namespace

bool GrabDesktop(DesktopPicture* picture) {
    if (g_display == nullptr) g_display = XOpenDisplay(nullptr);
    if (g_display == nullptr) return false;
    const Window root = DefaultRootWindow(g_display);
    XWindowAttributes attributes;
    if (XGetWindowAttributes(g_display, root, &attributes) == 0) return false;
    XImage* const image = XGetImage(g_display, root, 0, 0, static_cast<unsigned>(attributes.width),
                                    static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    picture->width = attributes.width;
    picture->height = attributes.height;
    picture->pixels.resize(static_cast<size_t>(attributes.width) * static_cast<size_t>(attributes.height));
    const bool plain = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000u && image->green_mask == 0xFF00u &&
                       image->blue_mask == 0xFFu && image->byte_order == LSBFirst;
    uint32_t* out = picture->pixels.data();
    for (int y = 0; y < attributes.height; ++y) {
        const auto* line =
            reinterpret_cast<const uint32_t*>(image->data + static_cast<long>(y) * image->bytes_per_line);
        for (int x = 0; x < attributes.width; ++x, ++out) {
            if (plain) {
                *out = line[x] & 0x00FFFFFFu;
                continue;
            }
            const unsigned long p = XGetPixel(image, x, y);
            *out =
                (Scaled(p, image->red_mask) << 16) | (Scaled(p, image->green_mask) << 8) | Scaled(p, image->blue_mask);
        }
    }
    XDestroyImage(image);
    return true;
}
