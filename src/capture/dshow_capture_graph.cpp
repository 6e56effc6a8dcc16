// The capture pipeline on DirectShow: the filter graph manager, the capture
// graph builder, the capture source (the selected camera), and our frame
// sink; plus the source's modal property frame. UI thread only.
#include <windows.h>
#include <dshow.h>
#include <olectl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "capture/capture_recovery.h"
#include "capture/dshow_camera_list.h"
#include "capture/dshow_capture_graph.h"
#include "capture/dshow_frame_sink_filter.h"
#include "capture/dshow_media_rule.h"
#include "capture/stream_capability.h"
#include "platform/dshow_media_type.h"
#include "state/platform.h"

namespace {

constexpr DWORD kInProcess = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

// A step whose result the program ignores may leave its reference empty;
// every later step that needs it is then skipped.
IGraphBuilder* g_graph;
IMediaControl* g_control;
IMediaEventEx* g_events;
ICaptureGraphBuilder2* g_builder;
IBaseFilter* g_sink;  // not counted: the graph holds the only reference
IBaseFilter* g_source;

// Nesting depth of the modal property frame call, and the frame's window
// as the hook saw it being created.
int g_frameCalls;
HWND g_frameWindow;

IPin* FirstPin(IBaseFilter* filter) {
    if (filter == nullptr) return nullptr;
    IEnumPins* pins = nullptr;
    filter->EnumPins(&pins);
    if (pins == nullptr) return nullptr;
    IPin* pin = nullptr;
    pins->Next(1, &pin, nullptr);
    pins->Release();
    return pin;
}

// Tracks the frame by its window handle: Wine titles it differently from
// Windows, so the title cannot find it.
LRESULT CALLBACK FrameCreationHook(int code, WPARAM wParam, LPARAM lParam) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND && g_frameWindow == nullptr) {
        const auto* creation = reinterpret_cast<const CBT_CREATEWNDA*>(lParam);
        char className[16] = {};
        GetClassNameA(window, className, sizeof className);
        if (creation->lpcs->hwndParent == nullptr && std::strcmp(className, "#32770") == 0) g_frameWindow = window;
    } else if (code == HCBT_DESTROYWND && window == g_frameWindow) {
        g_frameWindow = nullptr;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The media type of the capability to apply, for the caller to delete;
// null when the source has none of the frame's size.
AM_MEDIA_TYPE* ChosenCapability(IAMStreamConfig* config) {
    int count = 0, size = 0;
    if (FAILED(config->GetNumberOfCapabilities(&count, &size)) || count <= 0) return nullptr;
    // A camera lists tens of modes; a bogus count is not walked to its end.
    count = std::min(count, 1024);
    std::vector<BYTE> record(std::max(static_cast<size_t>(std::max(size, 0)), sizeof(VIDEO_STREAM_CONFIG_CAPS)));
    std::vector<AM_MEDIA_TYPE*> types(count, nullptr);
    std::vector<StreamCapability> summaries;
    for (int i = 0; i < count; ++i) {
        config->GetStreamCaps(i, &types[i], record.data());
        summaries.push_back(StreamCapabilityOf(types[i]));
    }
    const int chosen = ChooseStreamCapability(summaries.data(), count);
    for (int i = 0; i < count; ++i) {
        if (i != chosen) DeleteMediaType(types[i]);
    }
    return chosen >= 0 ? types[chosen] : nullptr;
}

HWND OpenFrameWindow() { return g_frameWindow != nullptr && IsWindow(g_frameWindow) ? g_frameWindow : nullptr; }

bool SinkConnected() {
    IPin* const sinkPin = FirstPin(g_sink);
    if (sinkPin == nullptr) return false;
    IPin* peer = nullptr;
    sinkPin->ConnectedTo(&peer);
    sinkPin->Release();
    if (peer == nullptr) return false;
    peer->Release();
    return true;
}

}  // namespace

IBaseFilter* CaptureSourceFilter() { return g_source; }

void PlatformCaptureCreatePipeline() {
    CoInitialize(nullptr);
    CoCreateInstance(CLSID_FilterGraph, nullptr, kInProcess, IID_IGraphBuilder, reinterpret_cast<void**>(&g_graph));
    if (g_graph != nullptr) g_graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&g_control));
    if (g_graph != nullptr) g_graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&g_events));
    if (g_events != nullptr) {
        const HWND window = reinterpret_cast<HWND>(g_tracker.mainWindow.load(std::memory_order_acquire));
        g_events->SetNotifyWindow(reinterpret_cast<OAHWND>(window), kCaptureEventMessage, 0);
    }
    CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, kInProcess, IID_ICaptureGraphBuilder2,
                     reinterpret_cast<void**>(&g_builder));
    if (g_builder != nullptr && g_graph != nullptr) g_builder->SetFiltergraph(g_graph);
    // Without a graph nobody would ever take or release the sink.
    if (g_graph == nullptr) return;
    g_sink = new DShowFrameSinkFilter(nullptr, nullptr);
    g_graph->AddFilter(g_sink, nullptr);
}

bool PlatformCaptureCreateSource() {
    if (CreateSelectedCamera(&g_source) != S_OK) return false;
    if (g_graph != nullptr) g_graph->AddFilter(g_source, nullptr);
    return true;
}

void PlatformCaptureConnect() {
    // NOTE: the format is set before the pins meet. Many capture filters
    // (Wine's among them) offer only their current format once one is set,
    // and a fresh one holds its first, smallest mode: connected first, the
    // sink would see nothing of the frame's size. Set before the
    // connection, the format is the one the connection uses.
    IAMStreamConfig* config = nullptr;
    if (g_builder != nullptr) {
        g_builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, g_source, IID_IAMStreamConfig,
                                 reinterpret_cast<void**>(&config));
    }
    if (config != nullptr) {
        // A camera with no format of the frame's size gives no picture, as a
        // missing one does: the sink refuses all its formats.
        AM_MEDIA_TYPE* const type = ChosenCapability(config);
        if (type != nullptr) config->SetFormat(type);
        config->Release();
        DeleteMediaType(type);
    }

    IPin* const sourcePin = FirstPin(g_source);
    IPin* const sinkPin = FirstPin(g_sink);
    if (g_graph != nullptr && sourcePin != nullptr && sinkPin != nullptr) g_graph->Connect(sourcePin, sinkPin);
    if (sourcePin != nullptr) sourcePin->Release();
    if (sinkPin != nullptr) sinkPin->Release();
}

// Everything but the sink leaves the graph, the converters inserted for
// the old camera with it.
namespace {

// Everything but the sink leaves the graph: the old source and whatever
// converters the graph manager put between it and the sink.
void RemoveAllButSink() {
    PlatformCaptureReleaseSource();
    IEnumFilters* filters = nullptr;
    if (g_graph != nullptr) g_graph->EnumFilters(&filters);
    std::vector<IBaseFilter*> others;
    IBaseFilter* filter = nullptr;
    while (filters != nullptr && filters->Next(1, &filter, nullptr) == S_OK) {
        if (filter == g_sink) {
            filter->Release();
        } else {
            others.push_back(filter);
        }
    }
    if (filters != nullptr) filters->Release();
    for (IBaseFilter* other : others) {
        g_graph->RemoveFilter(other);
        other->Release();
    }
}

}  // namespace

bool PlatformCaptureSwitchSource() {
    PlatformCaptureStop();
    return PlatformCaptureReopenSource();
}

void PlatformCaptureRun() {
    if (g_control != nullptr) g_control->Run();
}

void PlatformCaptureStop() {
    if (g_control != nullptr) g_control->Stop();
}

void PlatformCaptureReleaseSource() {
    if (g_source != nullptr) g_source->Release();
    g_source = nullptr;
}

void PlatformCaptureReleasePipeline() {
    if (g_builder != nullptr) g_builder->Release();
    if (g_events != nullptr) {
        g_events->SetNotifyWindow(0, 0, 0);
        g_events->Release();
    }
    if (g_control != nullptr) g_control->Release();
    // The last reference to the graph: it takes the sink with it.
    if (g_graph != nullptr) g_graph->Release();
    g_builder = nullptr;
    g_events = nullptr;
    g_control = nullptr;
    g_graph = nullptr;
    g_sink = nullptr;
}

void PlatformCaptureShutdown() { CoUninitialize(); }

// The lost source stays in the graph: a device filter announces its return
// through the graph it is in.
void PlatformCaptureDropSource() { PlatformCaptureStop(); }

bool PlatformCaptureReopenSource() {
    if (g_graph == nullptr) return false;
    RemoveAllButSink();
    if (!PlatformCaptureCreateSource()) return false;
    PlatformCaptureConnect();
    // Not connected: the camera is not back yet. This one stays in the graph
    // until the next try, so that it can announce its return.
    if (!SinkConnected()) return false;
    PlatformCaptureRun();
    return true;
}

void TakeCaptureEvents() {
    if (g_events == nullptr) return;
    bool lost = false, returned = false;
    long code = 0;
    LONG_PTR first = 0, second = 0;
    while (g_events->GetEvent(&code, &first, &second, 0) == S_OK) {
        if (code == EC_DEVICE_LOST) (second == 0 ? lost : returned) = true;
        if (code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED) lost = true;
        g_events->FreeEventParams(code, first, second);
    }
    if (lost) OnCaptureLost();
    if (returned) OnCaptureRetry();
}

bool PlatformSettingsDialogIsOpen() { return g_frameCalls > 0; }

void PlatformSettingsDialogRun() {
    if (g_source == nullptr) return;
    CAUUID pages{0, nullptr};
    ISpecifyPropertyPages* specify = nullptr;
    g_source->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&specify));
    if (specify != nullptr) {
        specify->GetPages(&pages);
        specify->Release();
    }
    IUnknown* object = nullptr;
    g_source->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&object));
    // NOTE: Wine's property frame never closes when it has no page.
    if (object != nullptr && pages.cElems > 0) {
        ++g_frameCalls;
        const HHOOK hook = SetWindowsHookExA(WH_CBT, FrameCreationHook, nullptr, GetCurrentThreadId());
        OleCreatePropertyFrame(nullptr, 0, 0, nullptr, 1, &object, pages.cElems, pages.pElems, 0, 0, nullptr);
        if (hook != nullptr) UnhookWindowsHookEx(hook);
        g_frameWindow = nullptr;
        --g_frameCalls;
    }
    if (object != nullptr) object->Release();
    CoTaskMemFree(pages.pElems);
}

void PlatformSettingsDialogConfirm() {
    const HWND frame = OpenFrameWindow();
    if (frame == nullptr) return;
    SendDlgItemMessageA(frame, IDOK, BM_CLICK, 0, 0);
    // NOTE: under Wine the click can stall the frame's loop until another
    // message arrives.
    PostMessageA(frame, WM_NULL, 0, 0);
}

void PlatformSettingsDialogClose() {
    const HWND frame = OpenFrameWindow();
    if (frame != nullptr) SendMessageA(frame, WM_CLOSE, 0, 0);
}
