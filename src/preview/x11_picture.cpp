// The picture on X11: drawing in software on the Frame buffer, presenting
// through an MIT-SHM image (or a plain one where shared memory is refused)
// on the worker's display connection.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>
#include <cstring>

#include "platform/x11_display.h"
#include "preview/pixel_layout.h"
#include "preview/soft_picture.h"
#include "state/platform.h"

namespace {

struct Presenter {
    Display* display = nullptr;
    Window window = 0;
    GC gc = nullptr;
    XImage* image = nullptr;
    XShmSegmentInfo shm{};
    bool shared = false;
    // The request number of the last shared put: until the server has
    // answered something sent after it, it may still read the segment.
    unsigned long lastPut = 0;
    PixelLayout layout{};
} g_presenter;

XImage* CreateSharedImage(Display* d, Visual* visual, int depth, XShmSegmentInfo* shm) {
    if (!XShmQueryExtension(d)) return nullptr;
    XImage* image = XShmCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, shm, kFrameWidth,
                                    kFrameHeight);
    if (image == nullptr) return nullptr;
    shm->shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * image->height, IPC_CREAT | 0600);
    if (shm->shmid < 0) {
        XDestroyImage(image);
        return nullptr;
    }
    shm->shmaddr = image->data = static_cast<char*>(shmat(shm->shmid, nullptr, 0));
    shm->readOnly = False;
    const int errorsBefore = X11ErrorCount();
    const bool mapped = shm->shmaddr != reinterpret_cast<char*>(-1);
    if (mapped) {
        XShmAttach(d, shm);
        XSync(d, False);
    }
    // Removed now, freed when both sides have detached.
    shmctl(shm->shmid, IPC_RMID, nullptr);
    if (mapped && X11ErrorCount() == errorsBefore) return image;
    // NOTE: a remote server, or one that refuses the segment, answers the
    // attach with an error; the plain image works everywhere.
    if (mapped) shmdt(shm->shmaddr);
    image->data = nullptr;
    XDestroyImage(image);
    return nullptr;
}

XImage* CreatePlainImage(Display* d, Visual* visual, int depth) {
    XImage* image =
        XCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr, kFrameWidth, kFrameHeight, 32, 0);
    if (image == nullptr) return nullptr;
    image->data = static_cast<char*>(std::calloc(static_cast<size_t>(image->bytes_per_line), image->height));
    if (image->data == nullptr) {
        XDestroyImage(image);
        return nullptr;
    }
    return image;
}

// The image's own format; false for one we cannot write (a colour map, an
// odd pixel size), which then gets no picture at all.
bool LayoutOf(const XImage* image, PixelLayout* layout) {
    *layout = {static_cast<uint32_t>(image->red_mask), static_cast<uint32_t>(image->green_mask),
               static_cast<uint32_t>(image->blue_mask), image->bits_per_pixel, image->byte_order == MSBFirst,
               image->bytes_per_line};
    return PixelLayoutSupported(*layout);
}

void DestroyImage(Presenter& p) {
    if (p.image == nullptr) return;
    if (p.shared) {
        XShmDetach(p.display, &p.shm);
        XSync(p.display, False);
        shmdt(p.shm.shmaddr);
        p.image->data = nullptr;
    }
    XDestroyImage(p.image);
    p.image = nullptr;
}

}  // namespace

uint32_t* PlatformCreatePicture(PlatformWindow* window) {
    Display* const d = WorkerDisplay();
    if (d == nullptr || window == nullptr) return nullptr;
    uint32_t* const frame = SoftCreatePicture();
    if (frame == nullptr) return nullptr;
    const int screen = DefaultScreen(d);
    // The window has the default visual (CopyFromParent at creation).
    Visual* const visual = DefaultVisual(d, screen);
    const int depth = DefaultDepth(d, screen);
    const bool trueColor = visual->c_class == TrueColor;
    Presenter& p = g_presenter;
    p.display = d;
    p.window = window->id;
    p.gc = XCreateGC(d, window->id, 0, nullptr);
    p.image = CreateSharedImage(d, visual, depth, &p.shm);
    p.shared = p.image != nullptr;
    if (p.image == nullptr) p.image = CreatePlainImage(d, visual, depth);
    if (p.image != nullptr && !(trueColor && LayoutOf(p.image, &p.layout))) DestroyImage(p);
    return frame;
}

void PlatformReleasePicture() {
    Presenter& p = g_presenter;
    DestroyImage(p);
    if (p.gc != nullptr) XFreeGC(p.display, p.gc);
    if (p.display != nullptr) XFlush(p.display);
    p = Presenter{};
    SoftReleasePicture();
}

void PlatformSelectPen(PlatformPen pen) { SoftSelectPen(pen); }
void PlatformDrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1) { SoftDrawLine(x0, y0, x1, y1); }
void PlatformDrawRectangle(int32_t l, int32_t t, int32_t r, int32_t b) { SoftDrawRectangle(l, t, r, b); }
void PlatformStretchBlock2x(int32_t sx, int32_t sy, int32_t dx, int32_t dy) { SoftStretchBlock2x(sx, sy, dx, dy); }

void PlatformPresentPicture() {
    Presenter& p = g_presenter;
    const uint32_t* const frame = g_tracker.frame.load(std::memory_order_acquire);
    if (p.image == nullptr || frame == nullptr) return;
    // The server reads the segment asynchronously. The magnifier's queries
    // in each pass are round trips made after the last put, so a sync is
    // needed only when nothing has been answered since.
    if (p.shared && LastKnownRequestProcessed(p.display) < p.lastPut) XSync(p.display, False);
    ConvertFrame(frame, p.layout, reinterpret_cast<uint8_t*>(p.image->data));
    if (p.shared) {
        p.lastPut = NextRequest(p.display);
        XShmPutImage(p.display, p.window, p.gc, p.image, 0, 0, 0, 0, kFrameWidth, kFrameHeight, False);
        XFlush(p.display);
    } else {
        XPutImage(p.display, p.window, p.gc, p.image, 0, 0, 0, 0, kFrameWidth, kFrameHeight);
        XFlush(p.display);
    }
}
