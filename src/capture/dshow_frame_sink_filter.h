// The last filter of the capture graph: copies each frame into the Frame
// buffer through the portable frame sink.
#pragma once

#include <atomic>

#include "capture/dshow_renderer_base.h"

// {D7A2CE2F-8221-4B80-B086-B795D9C845F5}; never registered, only the
// filter's identity inside the graph.
extern const CLSID kFrameSinkClassId;

class DShowFrameSinkFilter : public DShowRendererBase {
public:
    // No aggregation; always reports success through result.
    DShowFrameSinkFilter(IUnknown* outer, HRESULT* result);

protected:
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT DoRenderSample(IMediaSample* sample) override;

private:
    // Set at connection on the UI thread, read by the streaming thread.
    std::atomic<bool> topDown_{false};
    std::atomic<int> format_{0};
};
