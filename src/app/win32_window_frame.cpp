#include "app/win32_window_frame.h"

WindowFrame FrameFromMetrics(int32_t sizingFrameX, int32_t sizingFrameY, int32_t captionHeight) {
    return {sizingFrameX + 2, sizingFrameY + 2, captionHeight};
}

int32_t OuterWidth(const WindowFrame& frame, int32_t clientWidth) { return clientWidth + frame.widthAllowance; }

int32_t OuterHeight(const WindowFrame& frame, int32_t clientHeight) {
    return clientHeight + frame.heightAllowance + frame.caption;
}

PlatformRect ClientAreaOf(const WindowFrame& frame, const PlatformRect& window) {
    return {window.left + frame.widthAllowance / 2, window.top + frame.caption + frame.heightAllowance / 2,
            window.right - frame.widthAllowance / 2, window.bottom - frame.heightAllowance / 2};
}
