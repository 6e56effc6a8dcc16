// The virtual camera as a DirectShow capture source: one output pin that
// offers 640 x 480 RGB32 at 30 fps (or, with LUMIDART_VIRTUALCAM_MODES, a
// webcam's mode list, every mode as bottom-up RGB32), and a streaming
// thread that renders the scene into the downstream allocator's samples in
// the connected mode while the graph runs.
//
// LUMIDART_VIRTUALCAM_FAULT, read when a filter is created, makes it a
// faulty camera for the tests:
//   no-connect     the only type offered is a compressed one nothing decodes
//   short-samples  every sample is one picture row short
//   stop-after=N   N frames, then end of stream and nothing more
//   no-controls    no exposure, gain or brightness controls
//
// The control file's `unplugged 1` makes it a camera whose cable is out: a
// running stream stops and the graph hears EC_DEVICE_LOST (0), and no
// connection is taken; once the line is gone the graph hears
// EC_DEVICE_LOST (1) and the camera connects again.
#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/dshow_enumerator.h"
#include "platform/dshow_filter_base.h"
#include "platform/dshow_media_type.h"
#include "platform/dshow_pin_base.h"
#include "platform/win32_frame_bitmap.h"
#include "state/tracker_state.h"
#include "virtualcam/camera_modes.h"
#include "virtualcam/dshow_camera_controls.h"
#include "virtualcam/camera_stats.h"
#include "virtualcam/desktop_view.h"
#include "virtualcam/control_file.h"
#include "virtualcam/dshow_virtualcam.h"
#include "virtualcam/scene_control.h"

namespace {

constexpr REFERENCE_TIME kFrameInterval = 333333;  // 100 ns units: 30 fps

VIDEOINFOHEADER MakeVideoInfo() {
    VIDEOINFOHEADER info{};
    info.dwBitRate = kFrameBytes * 8 * 30;
    info.AvgTimePerFrame = kFrameInterval;
    info.bmiHeader = FrameBitmapHeader();
    return info;
}

// Every field but the format block, which each caller points at its own.
AM_MEDIA_TYPE MakeMediaType() {
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB32;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = kFrameBytes;
    type.formattype = FORMAT_VideoInfo;
    type.cbFormat = sizeof(VIDEOINFOHEADER);
    return type;
}

// A four-character code no installed decoder knows.
constexpr DWORD kUnknownFourCC = MAKEFOURCC('L', 'D', 'X', '0');
const GUID kUnknownSubtype = {kUnknownFourCC, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

VIDEOINFOHEADER MakeUnknownVideoInfo() {
    VIDEOINFOHEADER info = MakeVideoInfo();
    info.bmiHeader.biCompression = kUnknownFourCC;
    return info;
}

const VIDEOINFOHEADER kUnknownVideoInfo = MakeUnknownVideoInfo();

AM_MEDIA_TYPE MakeUnknownMediaType() {
    AM_MEDIA_TYPE type = MakeMediaType();
    type.subtype = kUnknownSubtype;
    type.pbFormat = reinterpret_cast<BYTE*>(const_cast<VIDEOINFOHEADER*>(&kUnknownVideoInfo));
    return type;
}

const AM_MEDIA_TYPE kUnknownMediaType = MakeUnknownMediaType();

// --- Mode lists: each mode as a bottom-up RGB32 media type ---

constexpr REFERENCE_TIME kSecond = 10000000;  // 100 ns units

struct ModeType {
    CameraMode mode;
    VIDEOINFOHEADER info;
    AM_MEDIA_TYPE type;  // its format block is info above
};

CameraMode AsRgb32(CameraMode mode) {
    mode.pixels = ModePixels::kRgb32;
    return mode;
}

// Fills t for the mode; t's type points into t, so t stays where it is.
void MakeModeType(const CameraMode& mode, ModeType* t) {
    t->mode = AsRgb32(mode);
    const DWORD bytes = static_cast<DWORD>(ModeFrameBytes(t->mode));
    t->info = MakeVideoInfo();
    t->info.bmiHeader.biWidth = t->mode.width;
    t->info.bmiHeader.biHeight = t->mode.height;
    t->info.bmiHeader.biSizeImage = bytes;
    t->info.AvgTimePerFrame = kSecond / t->mode.framesPerSecond;
    t->info.dwBitRate = bytes * 8u * static_cast<DWORD>(t->mode.framesPerSecond);
    t->type = MakeMediaType();
    t->type.lSampleSize = bytes;
    t->type.pbFormat = reinterpret_cast<BYTE*>(&t->info);
}

enum class Fault { kNone, kNoConnect, kShortSamples, kStopAfter, kNoControls };

struct FaultMode {
    Fault fault = Fault::kNone;
    uint32_t stopAfter = 0;
};

FaultMode ReadFaultMode() {
    char value[64] = {};
    const DWORD length = GetEnvironmentVariableA("LUMIDART_VIRTUALCAM_FAULT", value, sizeof value);
    FaultMode mode;
    if (length == 0 || length >= sizeof value) return mode;
    if (std::strcmp(value, "no-connect") == 0) mode.fault = Fault::kNoConnect;
    if (std::strcmp(value, "short-samples") == 0) mode.fault = Fault::kShortSamples;
    if (std::strcmp(value, "no-controls") == 0) mode.fault = Fault::kNoControls;
    if (std::strncmp(value, "stop-after=", 11) == 0) {
        mode.fault = Fault::kStopAfter;
        mode.stopAfter = static_cast<uint32_t>(std::strtoul(value + 11, nullptr, 10));
    }
    return mode;
}

// A partial type (GUID_NULL fields) matches when what it names agrees with
// the offered type.
bool Agrees(const AM_MEDIA_TYPE* type, const AM_MEDIA_TYPE& offered) {
    if (type->majortype != GUID_NULL && type->majortype != offered.majortype) return false;
    if (type->subtype != GUID_NULL && type->subtype != offered.subtype) return false;
    if (type->formattype == GUID_NULL) return true;
    if (type->formattype != FORMAT_VideoInfo || type->cbFormat < sizeof(VIDEOINFOHEADER)) return false;
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
    const auto* ours = reinterpret_cast<const VIDEOINFOHEADER*>(offered.pbFormat);
    // A stated frame interval must be the mode's; none takes the mode's.
    return info->bmiHeader.biWidth == ours->bmiHeader.biWidth && info->bmiHeader.biHeight == ours->bmiHeader.biHeight &&
           info->bmiHeader.biBitCount == 32 &&
           (info->AvgTimePerFrame == 0 || info->AvgTimePerFrame == ours->AvgTimePerFrame);
}

class SourceFilter;

class OutputPin final : public DShowPinBase, public IAMStreamConfig, public IKsPropertySet {
public:
    OutputPin(SourceFilter* filter, const FaultMode& mode);
    ~OutputPin() { ReleaseConnection(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return DShowPinBase::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return DShowPinBase::Release(); }

    // IPin
    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override {
        if (type == nullptr) return E_POINTER;
        return FindMode(type) >= 0 ? S_OK : S_FALSE;
    }
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;

    // IAMStreamConfig: a capability for each mode of the list.
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override {
        if (type == nullptr) return E_POINTER;
        *type = CreateMediaTypeCopy(&Offered());
        return *type != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override {
        if (count == nullptr || size == nullptr) return E_POINTER;
        *count = noConnect_ ? 1 : static_cast<int>(modeCount_);
        *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
        return S_OK;
    }
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

    // IKsPropertySet: only the pin category, read-only.
    STDMETHODIMP Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override { return E_PROP_ID_UNSUPPORTED; }
    STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size, DWORD* returned) override {
        if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
        if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
        if (returned != nullptr) *returned = sizeof(GUID);
        if (data == nullptr) return returned != nullptr ? S_OK : E_POINTER;
        if (size < sizeof(GUID)) return E_UNEXPECTED;
        *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
        return S_OK;
    }
    STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override {
        if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
        if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
        if (support != nullptr) *support = KSPROPERTY_SUPPORT_GET;
        return S_OK;
    }

    // The downstream input and its allocator, while connected.
    IMemInputPin* input() const { return input_; }
    IMemAllocator* allocator() const { return allocator_; }
    // The mode samples are rendered in now; the streaming thread reads it
    // while SetFormat may change it.
    CameraMode mode() const { return modes_[current_.load(std::memory_order_acquire)].mode; }
    long sampleBytes() const {
        const long whole = static_cast<long>(ModeFrameBytes(mode()));
        return shortSamples_ ? whole - mode().width * 4 : whole;
    }

private:
    HRESULT DecideAllocator();
    const AM_MEDIA_TYPE& ConnectedType() const override { return Offered(); }
    void ReleaseConnection() override;
    const AM_MEDIA_TYPE& Offered() const {
        return noConnect_ ? kUnknownMediaType : modes_[current_.load(std::memory_order_acquire)].type;
    }
    // The mode a (possibly partial) type names, or -1.
    int FindMode(const AM_MEDIA_TYPE* type) const {
        if (noConnect_) return Agrees(type, kUnknownMediaType) ? 0 : -1;
        for (size_t i = 0; i < modeCount_; ++i) {
            if (Agrees(type, modes_[i].type)) return static_cast<int>(i);
        }
        return -1;
    }

    SourceFilter* filter_;
    const bool noConnect_, shortSamples_;
    ModeType modes_[8];
    size_t modeCount_ = 0;
    std::atomic<size_t> current_{0};
    // Set by SetFormat before a connection: only that mode is offered.
    bool formatSet_ = false;
    IMemInputPin* input_ = nullptr;
    IMemAllocator* allocator_ = nullptr;
};

class SourceFilter final : public DShowFilterBase, public ISpecifyPropertyPages {
public:
    explicit SourceFilter(int camera)
        : DShowFilterBase(camera == 1 ? kVirtualCamSourceClassId : kVirtualCamSecondSourceClassId, true),
          mode_(ReadFaultMode()),
          pin_(this, mode_),
          cameraControl_(static_cast<IBaseFilter*>(this), &controls_),
          procAmp_(static_cast<IBaseFilter*>(this), &controls_) {
        ResetCameraControls(&controls_);
        settings_.screenColor = CameraScreenColor(camera);
        // A camera created again in the same process starts from the scene
        // as it is, not from the defaults.
        std::string text;
        if (ReadControlFile(SceneControlPath(), &text)) ParseSceneControl(text, &settings_);
        settings_.unplugged = 0;
        stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        watchStop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ModuleObjectCreated();
    }

    // Leaving the graph: the return watch must not outlive it.
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override {
        if (graph == nullptr) StopReturnWatch();
        return DShowFilterBase::JoinFilterGraph(graph, name);
    }

    // Unplugged: tells the graph once the control file no longer says so.
    // UI or streaming thread, never both at once (connections are made
    // while stopped, when no streaming thread runs).
    void WatchForReturn() {
        if (watchThread_ != nullptr && WaitForSingleObject(watchThread_, 0) != WAIT_OBJECT_0) return;
        StopReturnWatch();
        ResetEvent(watchStop_);
        watchThread_ = CreateThread(nullptr, 0, ReturnWatchThread, this, 0, nullptr);
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return DShowFilterBase::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return DShowFilterBase::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = DShowFilterBase::Release();
        if (left == 0) ModuleObjectDestroyed();
        return left;
    }

    // ISpecifyPropertyPages
    STDMETHODIMP GetPages(CAUUID* pages) override {
        if (pages == nullptr) return E_POINTER;
        pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
        if (pages->pElems == nullptr) {
            pages->cElems = 0;
            return E_OUTOFMEMORY;
        }
        pages->cElems = 1;
        pages->pElems[0] = kVirtualCamPageClassId;
        return S_OK;
    }

private:
    ~SourceFilter() {
        StopStreaming();
        StopReturnWatch();
        CloseHandle(stopEvent_);
        CloseHandle(watchStop_);
    }

    void StopReturnWatch() {
        if (watchThread_ == nullptr) return;
        SetEvent(watchStop_);
        WaitForSingleObject(watchThread_, INFINITE);
        CloseHandle(watchThread_);
        watchThread_ = nullptr;
    }

    static DWORD WINAPI ReturnWatchThread(LPVOID self) {
        auto* const filter = static_cast<SourceFilter*>(self);
        while (WaitForSingleObject(filter->watchStop_, 100) != WAIT_OBJECT_0) {
            if (SceneControlSaysUnplugged()) continue;
            filter->NotifyDevice(1);
            return 0;
        }
        return 0;
    }

    // EC_DEVICE_LOST carries a counted reference to the device's filter.
    void NotifyDevice(LONG_PTR available) {
        IUnknown* const self = static_cast<IBaseFilter*>(this);
        self->AddRef();
        NotifyGraph(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(self), available);
    }

    DShowPinBase* Pin() override { return &pin_; }
    void* OtherInterface(REFIID iid) override {
        if (iid == IID_ISpecifyPropertyPages) return static_cast<ISpecifyPropertyPages*>(this);
        if (mode_.fault == Fault::kNoControls) return nullptr;
        if (iid == IID_IAMCameraControl) return static_cast<IAMCameraControl*>(&cameraControl_);
        if (iid == IID_IAMVideoProcAmp) return static_cast<IAMVideoProcAmp*>(&procAmp_);
        return nullptr;
    }
    // The streaming thread runs while the filter is paused or running, and
    // renders frames only while it runs.
    void StateChanging(FILTER_STATE from, FILTER_STATE to) override {
        if (to == State_Stopped) {
            StopStreaming();
            return;
        }
        if (from == State_Stopped) StartStreaming();
        running_.store(to == State_Running, std::memory_order_release);
    }

    void StartStreaming() {
        IMemAllocator* const allocator = pin_.allocator();
        IMemInputPin* const input = pin_.input();
        if (allocator == nullptr || input == nullptr || thread_ != nullptr) return;
        allocator->Commit();
        allocator->AddRef();
        input->AddRef();
        streamAllocator_ = allocator;
        streamInput_ = input;
        ResetEvent(stopEvent_);
        thread_ = CreateThread(nullptr, 0, StreamThread, this, 0, nullptr);
    }

    void StopStreaming() {
        running_.store(false, std::memory_order_release);
        if (thread_ == nullptr) return;
        SetEvent(stopEvent_);
        // Wakes a thread waiting for a free sample.
        streamAllocator_->Decommit();
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
        streamAllocator_->Release();
        streamInput_->Release();
        streamAllocator_ = nullptr;
        streamInput_ = nullptr;
    }

    static DWORD WINAPI StreamThread(LPVOID self) {
        static_cast<SourceFilter*>(self)->Stream();
        return 0;
    }

    void Stream() {
        LARGE_INTEGER frequency, start, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        NoteCameraMode("RGB32", pin_.mode());
        unplugged_ = false;
        // Microseconds from the start at which the next frame is due.
        LONGLONG dueUs = 0;
        for (;;) {
            // Frames are due one interval of the mode apart; a late frame
            // is sent at once rather than skipped.
            dueUs += 1000000 / pin_.mode().framesPerSecond;
            QueryPerformanceCounter(&now);
            const LONGLONG dueMs = dueUs / 1000;
            const LONGLONG elapsedMs = (now.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart;
            const DWORD waitMs = dueMs > elapsedMs ? static_cast<DWORD>(dueMs - elapsedMs) : 0;
            if (WaitForSingleObject(stopEvent_, waitMs) == WAIT_OBJECT_0) return;
            // Fields the file no longer names keep their value: whether it
            // still says unplugged is read afresh.
            if (ReloadSceneControl(&settings_)) settings_.unplugged = SceneControlSaysUnplugged() ? 1 : 0;
            ApplyCameraControls(&controls_, &settings_);
            PublishSceneSettings(settings_);
            // A stream whose camera was pulled out stays dead, as a real
            // device's does: only a new start brings frames again.
            if (settings_.unplugged != 0 && !unplugged_) {
                unplugged_ = true;
                NoteCameraUnplugged();
                NotifyDevice(0);
                WatchForReturn();
            }
            if (!running_.load(std::memory_order_acquire) || ended_ || unplugged_) continue;
            if (mode_.fault == Fault::kStopAfter && frameIndex_ >= mode_.stopAfter) {
                EndStream();
                continue;
            }
            IMediaSample* sample = nullptr;
            if (FAILED(streamAllocator_->GetBuffer(&sample, nullptr, nullptr, 0)) || sample == nullptr) continue;
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            const long bytes = pin_.sampleBytes();
            if (data != nullptr && sample->GetSize() >= bytes) {
                Render(data, bytes);
                sample->SetActualDataLength(bytes);
                sample->SetSyncPoint(TRUE);
                streamInput_->Receive(sample);
            }
            sample->Release();
        }
    }

    // A short sample gets the first rows of a whole picture.
    void Render(BYTE* data, long bytes) {
        const CameraMode mode = pin_.mode();
        const size_t whole = ModeFrameBytes(mode);
        if (bytes == kFrameBytes && whole == static_cast<size_t>(kFrameBytes) && mode.width == kFrameWidth) {
            RenderCameraPicture(settings_, &desktop_, frameIndex_++, reinterpret_cast<uint32_t*>(data));
            return;
        }
        scratch_.resize(kFramePixels);
        RenderCameraPicture(settings_, &desktop_, frameIndex_++, scratch_.data());
        if (static_cast<size_t>(bytes) == whole) {
            DrawInMode(scratch_.data(), mode, false, data, static_cast<size_t>(mode.width) * 4);
            return;
        }
        drawn_.resize(whole);
        DrawInMode(scratch_.data(), mode, false, drawn_.data(), static_cast<size_t>(mode.width) * 4);
        CopyMemory(data, drawn_.data(), static_cast<size_t>(bytes));
    }

    void EndStream() {
        ended_ = true;
        IPin* downstream = nullptr;
        streamInput_->QueryInterface(IID_IPin, reinterpret_cast<void**>(&downstream));
        if (downstream == nullptr) return;
        downstream->EndOfStream();
        downstream->Release();
    }

    const FaultMode mode_;
    std::atomic<bool> running_{false};
    OutputPin pin_;

    HANDLE stopEvent_ = nullptr;
    HANDLE thread_ = nullptr;
    IMemAllocator* streamAllocator_ = nullptr;
    IMemInputPin* streamInput_ = nullptr;
    SceneSettings settings_;
    DesktopView desktop_;  // streaming thread only
    // Set on the UI thread, applied by the streaming thread frame by frame.
    CameraControls controls_;
    VirtualCameraControl cameraControl_;
    VirtualProcAmp procAmp_;
    uint32_t frameIndex_ = 0;
    bool ended_ = false;      // streaming thread only
    bool unplugged_ = false;  // streaming thread only
    HANDLE watchStop_ = nullptr;
    HANDLE watchThread_ = nullptr;
    std::vector<uint32_t> scratch_;
    std::vector<uint8_t> drawn_;
};

STDMETHODIMP OutputPin::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *out = static_cast<IPin*>(this);
    } else if (iid == IID_IAMStreamConfig) {
        *out = static_cast<IAMStreamConfig*>(this);
    } else if (iid == IID_IKsPropertySet) {
        *out = static_cast<IKsPropertySet*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

OutputPin::OutputPin(SourceFilter* filter, const FaultMode& mode)
    : DShowPinBase(filter, L"Capture", PINDIR_OUTPUT), filter_(filter), noConnect_(mode.fault == Fault::kNoConnect),
      shortSamples_(mode.fault == Fault::kShortSamples) {
    const ModeList& list = ModeListFromEnvironment();
    for (size_t i = 0; i < list.count; ++i) MakeModeType(list.modes[i], &modes_[i]);
    modeCount_ = list.count;
}

STDMETHODIMP OutputPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    if (receivePin == nullptr) return E_POINTER;
    const HRESULT connectable = CanConnect();
    if (connectable != S_OK) return connectable;
    if (SceneControlSaysUnplugged()) {
        filter_->WatchForReturn();
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    // Each mode in the list's order (or only the one set), the first the
    // downstream pin takes.
    const size_t first = formatSet_ ? current_.load(std::memory_order_acquire) : 0, last = formatSet_ || noConnect_ ? first + 1 : modeCount_;
    size_t i = first;
    for (; i < last; ++i) {
        const AM_MEDIA_TYPE& offer = noConnect_ ? kUnknownMediaType : modes_[i].type;
        if (type != nullptr && !Agrees(type, offer)) continue;
        AM_MEDIA_TYPE copy = offer;
        if (SUCCEEDED(receivePin->ReceiveConnection(this, &copy))) break;
    }
    if (i == last) return type != nullptr ? VFW_E_TYPE_NOT_ACCEPTED : VFW_E_NO_ACCEPTABLE_TYPES;
    current_.store(i, std::memory_order_release);
    connected_ = receivePin;
    connected_->AddRef();
    const HRESULT allocated = DecideAllocator();
    if (FAILED(allocated)) {
        receivePin->Disconnect();
        ReleaseConnection();
        return allocated;
    }
    return S_OK;
}

HRESULT OutputPin::DecideAllocator() {
    connected_->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input_));
    if (input_ == nullptr) return E_NOINTERFACE;
    ALLOCATOR_PROPERTIES wanted{};
    input_->GetAllocatorRequirements(&wanted);
    if (FAILED(input_->GetAllocator(&allocator_)) || allocator_ == nullptr) {
        allocator_ = nullptr;
        const HRESULT created = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                                 IID_IMemAllocator, reinterpret_cast<void**>(&allocator_));
        if (FAILED(created)) {
            allocator_ = nullptr;
            return created;
        }
    }
    wanted.cBuffers = wanted.cBuffers > 2 ? wanted.cBuffers : 2;
    // Room for the largest mode: SetFormat may switch while connected.
    long largest = sampleBytes();
    for (size_t i = 0; i < modeCount_; ++i) largest = std::max(largest, static_cast<long>(ModeFrameBytes(modes_[i].mode)));
    wanted.cbBuffer = largest;
    wanted.cbAlign = wanted.cbAlign > 1 ? wanted.cbAlign : 1;
    ALLOCATOR_PROPERTIES actual{};
    HRESULT result = allocator_->SetProperties(&wanted, &actual);
    if (SUCCEEDED(result) && actual.cbBuffer < largest) result = VFW_E_SIZENOTSET;
    if (SUCCEEDED(result)) result = input_->NotifyAllocator(allocator_, FALSE);
    return result;
}

void OutputPin::ReleaseConnection() {
    if (allocator_ != nullptr) allocator_->Release();
    if (input_ != nullptr) input_->Release();
    allocator_ = nullptr;
    input_ = nullptr;
    DShowPinBase::ReleaseConnection();
}

STDMETHODIMP OutputPin::EnumMediaTypes(IEnumMediaTypes** types) {
    if (types == nullptr) return E_POINTER;
    std::vector<AM_MEDIA_TYPE*> offered;
    if (noConnect_ || formatSet_ || connected_ != nullptr) {
        offered.push_back(const_cast<AM_MEDIA_TYPE*>(&Offered()));
    } else {
        for (size_t i = 0; i < modeCount_; ++i) offered.push_back(&modes_[i].type);
    }
    *types = new DShowMediaTypeEnumerator(offered, static_cast<IPin*>(this));
    return S_OK;
}

// Before a connection the mode set is the only one offered; while
// connected, the switch is made only if the downstream pin accepts it.
STDMETHODIMP OutputPin::SetFormat(AM_MEDIA_TYPE* type) {
    if (type == nullptr) return S_OK;
    const int found = type->formattype == FORMAT_VideoInfo ? FindMode(type) : -1;
    if (found < 0) return VFW_E_INVALIDMEDIATYPE;
    if (noConnect_) return S_OK;
    if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
    if (connected_ != nullptr && connected_->QueryAccept(&modes_[found].type) != S_OK) return VFW_E_INVALIDMEDIATYPE;
    current_.store(static_cast<size_t>(found), std::memory_order_release);
    if (connected_ == nullptr) formatSet_ = true;
    return S_OK;
}

STDMETHODIMP OutputPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
    if (type == nullptr || caps == nullptr) return E_POINTER;
    *type = nullptr;
    if (index < 0) return E_INVALIDARG;
    if (index >= (noConnect_ ? 1 : static_cast<int>(modeCount_))) return S_FALSE;
    const AM_MEDIA_TYPE& offered = noConnect_ ? kUnknownMediaType : modes_[index].type;
    *type = CreateMediaTypeCopy(&offered);
    if (*type == nullptr) return E_OUTOFMEMORY;
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(offered.pbFormat);
    const SIZE size = {info->bmiHeader.biWidth, info->bmiHeader.biHeight};
    VIDEO_STREAM_CONFIG_CAPS config{};
    config.guid = FORMAT_VideoInfo;
    config.InputSize = config.MinCroppingSize = config.MaxCroppingSize = size;
    config.MinOutputSize = config.MaxOutputSize = size;
    config.CropGranularityX = config.CropGranularityY = 1;
    config.OutputGranularityX = config.OutputGranularityY = 1;
    config.MinFrameInterval = config.MaxFrameInterval = info->AvgTimePerFrame;
    config.MinBitsPerSecond = config.MaxBitsPerSecond = static_cast<LONG>(info->dwBitRate);
    CopyMemory(caps, &config, sizeof config);
    return S_OK;
}

}  // namespace

IUnknown* CreateVirtualCamSource() {
    auto* filter = new SourceFilter(1);
    filter->AddRef();
    return static_cast<IBaseFilter*>(filter);
}

IUnknown* CreateSecondVirtualCamSource() {
    auto* filter = new SourceFilter(2);
    filter->AddRef();
    return static_cast<IBaseFilter*>(filter);
}
