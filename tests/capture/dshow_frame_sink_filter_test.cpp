// The frame sink filter on our own renderer base, driven through its COM
// interfaces as the filter graph manager and an upstream pin would; and
// its media-type rule and the capture graph's reading of capabilities.
#include <windows.h>
#include <dshow.h>
#include <dvdmedia.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "capture/dshow_frame_sink_filter.h"
#include "capture/dshow_media_rule.h"
#include "capture/stream_capability.h"
#include "state/platform.h"
#include "state/tracker_state.h"

namespace {

// An upstream output pin: only its direction is ever asked.
class UpstreamPin final : public IPin {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IPin) {
            *out = static_cast<IPin*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP Disconnect() override { return E_NOTIMPL; }
    STDMETHODIMP ConnectedTo(IPin**) override { return E_NOTIMPL; }
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryPinInfo(PIN_INFO*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override {
        *direction = PINDIR_OUTPUT;
        return S_OK;
    }
    STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
    STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP EndOfStream() override { return E_NOTIMPL; }
    STDMETHODIMP BeginFlush() override { return E_NOTIMPL; }
    STDMETHODIMP EndFlush() override { return E_NOTIMPL; }
    STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return E_NOTIMPL; }

    ULONG refs = 1;
};

// A sample over a caller's buffer; GetPointer can be held to keep a
// render in progress. Its claimed data length may differ from its size.
class Sample final : public IMediaSample {
public:
    Sample(BYTE* data, long length) : data_(data), size_(length), length_(length) {}
    Sample(BYTE* data, long size, long claimed) : data_(data), size_(size), length_(claimed) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IMediaSample) {
            *out = static_cast<IMediaSample*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetPointer(BYTE** data) override {
        inside = true;
        while (hold.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        *data = data_;
        return S_OK;
    }
    STDMETHODIMP_(long) GetSize() override { return size_; }
    STDMETHODIMP GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return VFW_E_SAMPLE_TIME_NOT_SET; }
    STDMETHODIMP SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return S_OK; }
    STDMETHODIMP IsSyncPoint() override { return S_OK; }
    STDMETHODIMP SetSyncPoint(BOOL) override { return S_OK; }
    STDMETHODIMP IsPreroll() override { return S_FALSE; }
    STDMETHODIMP SetPreroll(BOOL) override { return S_OK; }
    STDMETHODIMP_(long) GetActualDataLength() override { return length_; }
    STDMETHODIMP SetActualDataLength(long) override { return S_OK; }
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** type) override {
        *type = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE*) override { return S_OK; }
    STDMETHODIMP IsDiscontinuity() override { return S_FALSE; }
    STDMETHODIMP SetDiscontinuity(BOOL) override { return S_OK; }
    STDMETHODIMP GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
    STDMETHODIMP SetMediaTime(LONGLONG*, LONGLONG*) override { return S_OK; }

    std::atomic<bool> hold{false};
    std::atomic<bool> inside{false};

private:
    BYTE* data_;
    long size_;
    long length_;
};

// One header for all: each call's type is valid until the next call.
AM_MEDIA_TYPE VideoType(const GUID& subtype, const GUID& formatType, LONG width = 640, LONG height = 480) {
    static VIDEOINFOHEADER info;
    info = VIDEOINFOHEADER{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biBitCount = 32;
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    type.subtype = subtype;
    type.formattype = formatType;
    type.cbFormat = sizeof info;
    type.pbFormat = reinterpret_cast<BYTE*>(&info);
    return type;
}

// One bit of the last byte changed.
GUID Nearly(GUID guid) {
    guid.Data4[7] ^= 1;
    return guid;
}

TEST(MediaRuleTest, FormatTypeIsTestedFirstThenMajorTypeAndSubtype) {
    AM_MEDIA_TYPE type = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo);
    EXPECT_EQ(CheckFrameMediaType(&type), S_OK);
    type = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo2);
    EXPECT_EQ(CheckFrameMediaType(&type), E_INVALIDARG);
    // Everything wrong: the format type still decides.
    type = VideoType(FORMAT_VideoInfo2, MEDIATYPE_Video);
    type.majortype = MEDIASUBTYPE_RGB565;
    EXPECT_EQ(CheckFrameMediaType(&type), E_INVALIDARG);
    type = VideoType(MEDIASUBTYPE_RGB565, FORMAT_VideoInfo);
    EXPECT_EQ(CheckFrameMediaType(&type), E_FAIL);
    for (const GUID& subtype : {MEDIASUBTYPE_RGB24, MEDIASUBTYPE_YUY2}) {
        type = VideoType(subtype, FORMAT_VideoInfo);
        EXPECT_EQ(CheckFrameMediaType(&type), S_OK);
    }
    type = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo);
    type.majortype = MEDIASUBTYPE_RGB32;
    EXPECT_EQ(CheckFrameMediaType(&type), E_FAIL);
}

TEST(MediaRuleTest, EveryByteOfEachIdentifierCounts) {
    AM_MEDIA_TYPE type = VideoType(Nearly(MEDIASUBTYPE_RGB32), FORMAT_VideoInfo);
    EXPECT_EQ(CheckFrameMediaType(&type), E_FAIL);
    type = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo);
    type.majortype = Nearly(MEDIATYPE_Video);
    EXPECT_EQ(CheckFrameMediaType(&type), E_FAIL);
    type = VideoType(MEDIASUBTYPE_RGB32, Nearly(FORMAT_VideoInfo));
    EXPECT_EQ(CheckFrameMediaType(&type), E_INVALIDARG);
}

// A negative height counts rows top-down.
TEST(MediaRuleTest, PictureIs640x480EitherWayUp) {
    AM_MEDIA_TYPE type = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 640, 480);
    EXPECT_EQ(CheckFrameMediaType(&type), S_OK);
    EXPECT_FALSE(IsTopDownFrameType(&type));
    type = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 640, -480);
    EXPECT_EQ(CheckFrameMediaType(&type), S_OK);
    EXPECT_TRUE(IsTopDownFrameType(&type));
    for (const auto& size : {std::pair<LONG, LONG>{-640, 480}, {-640, -480}, {480, 640}, {1280, 720}, {640, 481},
                             {640, -481}, {0, 0}, {640, LONG_MIN}}) {
        type = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, size.first, size.second);
        EXPECT_EQ(CheckFrameMediaType(&type), E_FAIL) << size.first << "x" << size.second;
    }
}

// A plain video-info capability of this size and frame interval, as read.
StreamCapability ReadVideoInfo(LONG width, LONG height, REFERENCE_TIME interval) {
    const AM_MEDIA_TYPE type = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, width, height);
    reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame = interval;
    return StreamCapabilityOf(&type);
}

TEST(MediaRuleTest, CapabilitiesAreReadFromEitherVideoHeaderWhicheverWayUp) {
    const StreamCapability read = ReadVideoInfo(640, -480, 333333);
    EXPECT_EQ(read.width, 640);
    EXPECT_EQ(read.height, 480);
    EXPECT_EQ(read.frameInterval, 333333);
    EXPECT_EQ(ReadVideoInfo(640, 480, 0).height, 480);

    VIDEOINFOHEADER2 info2{};
    info2.AvgTimePerFrame = 666666;
    info2.bmiHeader.biWidth = 1280;
    info2.bmiHeader.biHeight = -720;
    AM_MEDIA_TYPE type{};
    type.formattype = FORMAT_VideoInfo2;
    type.cbFormat = sizeof info2;
    type.pbFormat = reinterpret_cast<BYTE*>(&info2);
    const StreamCapability second = StreamCapabilityOf(&type);
    EXPECT_EQ(second.width, 1280);
    EXPECT_EQ(second.height, 720);
    EXPECT_EQ(second.frameInterval, 666666);

    // A header cut short, or none, reads as no picture at all.
    type.cbFormat = sizeof info2 - 1;
    EXPECT_EQ(StreamCapabilityOf(&type).width, 0);
    type.pbFormat = nullptr;
    type.cbFormat = sizeof info2;
    EXPECT_EQ(StreamCapabilityOf(&type).height, 0);
    EXPECT_EQ(StreamCapabilityOf(nullptr).frameInterval, 0);
}

// The choice over capabilities read this way: a top-down 640 x 480 mode is
// of the frame's size.
TEST(MediaRuleTest, TopDownCapabilityOfTheFrameSizeIsChosen) {
    const StreamCapability larger[] = {ReadVideoInfo(1280, 720, 333333), ReadVideoInfo(640, -480, 333333)};
    EXPECT_EQ(ChooseStreamCapability(larger, 2), 1);
    const StreamCapability first[] = {ReadVideoInfo(640, -480, 666666), ReadVideoInfo(640, 480, 333333)};
    EXPECT_EQ(ChooseStreamCapability(first, 2), 0);
}

class FrameSinkFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTrackerState();
        frame_.assign(kFramePixels, 0);
        g_tracker.frame.store(frame_.data());
        event_ = PlatformCreateEvent();
        g_tracker.frameReady.store(event_);
        filter_ = new DShowFrameSinkFilter(nullptr, nullptr);
        filter_->AddRef();
        IEnumPins* pins = nullptr;
        ASSERT_EQ(filter_->EnumPins(&pins), S_OK);
        ULONG fetched = 0;
        ASSERT_EQ(pins->Next(1, &pin_, &fetched), S_OK);
        IPin* second = nullptr;
        EXPECT_EQ(pins->Next(1, &second, &fetched), S_FALSE) << "one pin only";
        pins->Release();
        pin_->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input_));
        ASSERT_NE(input_, nullptr);
    }

    void TearDown() override {
        input_->Release();
        pin_->Disconnect();
        pin_->Release();
        filter_->Release();
        PlatformCloseEvent(event_);
        ResetTrackerState();
    }

    void Connect(LONG height = 480) {
        const AM_MEDIA_TYPE rgb32 = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 640, height);
        ASSERT_EQ(pin_->ReceiveConnection(&upstream_, &rgb32), S_OK);
    }

    std::vector<uint32_t> frame_;
    PlatformEvent* event_ = nullptr;
    IBaseFilter* filter_ = nullptr;
    IPin* pin_ = nullptr;
    IMemInputPin* input_ = nullptr;
    UpstreamPin upstream_;
};

TEST_F(FrameSinkFilterTest, IdentifiesItselfWithOneInputPinNamedIn) {
    CLSID id;
    ASSERT_EQ(filter_->GetClassID(&id), S_OK);
    const CLSID expected = {0xD7A2CE2F, 0x8221, 0x4B80, {0xB0, 0x86, 0xB7, 0x95, 0xD9, 0xC8, 0x45, 0xF5}};
    EXPECT_TRUE(id == expected);
    PIN_INFO info;
    ASSERT_EQ(pin_->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.dir, PINDIR_INPUT);
    EXPECT_STREQ(info.achName, L"In");
    EXPECT_EQ(info.pFilter, filter_);
    info.pFilter->Release();
    IPin* found = nullptr;
    ASSERT_EQ(filter_->FindPin(L"In", &found), S_OK);
    EXPECT_EQ(found, pin_);
    found->Release();
}

TEST_F(FrameSinkFilterTest, ConnectsOnlyWithVideoInfoOfFormatsItReads) {
    const AM_MEDIA_TYPE videoInfo2 = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo2);
    const AM_MEDIA_TYPE rgb565 = VideoType(MEDIASUBTYPE_RGB565, FORMAT_VideoInfo);
    EXPECT_EQ(pin_->ReceiveConnection(&upstream_, &videoInfo2), E_INVALIDARG);
    EXPECT_EQ(pin_->ReceiveConnection(&upstream_, &rgb565), E_FAIL);
    EXPECT_EQ(pin_->QueryAccept(&rgb565), S_FALSE);
    IPin* connected = nullptr;
    EXPECT_EQ(pin_->ConnectedTo(&connected), VFW_E_NOT_CONNECTED);

    Connect();
    ASSERT_EQ(pin_->ConnectedTo(&connected), S_OK);
    EXPECT_EQ(connected, &upstream_);
    connected->Release();
    AM_MEDIA_TYPE type;
    ASSERT_EQ(pin_->ConnectionMediaType(&type), S_OK);
    EXPECT_TRUE(type.subtype == MEDIASUBTYPE_RGB32);
    CoTaskMemFree(type.pbFormat);
    const AM_MEDIA_TYPE rgb32 = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo);
    EXPECT_EQ(pin_->ReceiveConnection(&upstream_, &rgb32), VFW_E_ALREADY_CONNECTED);
}

// The pin and filter plumbing a renderer shares with the virtual camera's
// source: a renderer has something to show when paused, takes stream
// control, and keeps its connection while the graph is not stopped.
TEST_F(FrameSinkFilterTest, AnswersQueriesAndHoldsItsConnectionWhileNotStopped) {
    LPWSTR id = nullptr;
    ASSERT_EQ(pin_->QueryId(&id), S_OK);
    EXPECT_STREQ(id, L"In");
    CoTaskMemFree(id);
    PIN_DIRECTION direction = PINDIR_OUTPUT;
    ASSERT_EQ(pin_->QueryDirection(&direction), S_OK);
    EXPECT_EQ(direction, PINDIR_INPUT);
    EXPECT_EQ(pin_->EndOfStream(), S_OK);
    EXPECT_EQ(pin_->BeginFlush(), S_OK);
    EXPECT_EQ(pin_->EndFlush(), S_OK);
    IPin* none = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(filter_->FindPin(L"Capture", &none), VFW_E_NOT_FOUND);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(pin_->Disconnect(), S_FALSE) << "nothing to disconnect";

    Connect();
    FILTER_STATE state = State_Stopped;
    EXPECT_EQ(filter_->Pause(), S_OK);
    EXPECT_EQ(filter_->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    const AM_MEDIA_TYPE rgb32 = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo);
    EXPECT_EQ(pin_->ReceiveConnection(&upstream_, &rgb32), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(pin_->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(filter_->Stop(), S_OK);
    EXPECT_EQ(pin_->Disconnect(), S_OK);
    IPin* connected = nullptr;
    EXPECT_EQ(pin_->ConnectedTo(&connected), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(upstream_.refs, 1u) << "the upstream pin is let go";

    // A connection is made only while stopped.
    ASSERT_EQ(filter_->Run(0), S_OK);
    EXPECT_EQ(pin_->ReceiveConnection(&upstream_, &rgb32), VFW_E_NOT_STOPPED);
}

// A larger frame's rows would be misread: only the frame's own size
// connects, so that the graph looks for the camera's 640 x 480 format.
TEST_F(FrameSinkFilterTest, ConnectsOnlyAt640x480) {
    for (const auto& size : {std::pair<LONG, LONG>{1280, 720}, {320, 240}, {480, 640}, {640, 479}, {-640, 480}}) {
        const AM_MEDIA_TYPE type = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, size.first, size.second);
        EXPECT_EQ(pin_->QueryAccept(&type), S_FALSE) << size.first << "x" << size.second;
        EXPECT_EQ(pin_->ReceiveConnection(&upstream_, &type), E_FAIL) << size.first << "x" << size.second;
    }
    // A header cut short is no size at all.
    AM_MEDIA_TYPE cut = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo);
    cut.cbFormat = sizeof(VIDEOINFOHEADER) - 1;
    EXPECT_EQ(pin_->ReceiveConnection(&upstream_, &cut), E_FAIL);
    const AM_MEDIA_TYPE topDown = VideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 640, -480);
    EXPECT_EQ(pin_->QueryAccept(&topDown), S_OK);
}

// Rows top-down (a negative height) reach the Frame buffer bottom-up.
TEST_F(FrameSinkFilterTest, TopDownFramesAreFlipped) {
    Connect(-480);
    std::vector<uint32_t> pixels(kFramePixels);
    for (int line = 0; line < kFrameHeight; ++line) {
        for (int x = 0; x < kFrameWidth; ++x) pixels[line * kFrameWidth + x] = 0xFF000000u | (line << 10) | x;
    }
    Sample sample(reinterpret_cast<BYTE*>(pixels.data()), kFrameBytes);
    ASSERT_EQ(filter_->Run(0), S_OK);
    EXPECT_EQ(input_->Receive(&sample), S_OK);
    ASSERT_TRUE(TestStatus(kFramePending));
    // Row r of the frame is picture line 479 - r, padding byte cleared.
    for (int row : {0, 1, 240, 479}) {
        EXPECT_EQ(frame_[row * kFrameWidth + 7], static_cast<uint32_t>(((479 - row) << 10) | 7)) << row;
    }
}

// What capture filters deliver where no converter to RGB32 exists, a
// bitmap's RGB24 and a webcam's YUY2, is converted on the way in.
TEST_F(FrameSinkFilterTest, Rgb24AndYuy2AreConverted) {
    StoreMode(kModePreview);  // the whole picture, not the Search box's red
    const std::vector<BYTE> yuyv = {150, 60, 150, 200};
    uint32_t orange[2];  // limited-range BT.601, as the portable conversion makes it
    ConvertPackedYuvRow(yuyv.data(), orange, 2, PackedYuvLayout::kYuy2, MakeYuvMatrix(0.299, 0.114, false));
    const struct {
        GUID subtype;
        std::vector<BYTE> pattern;
        size_t frameBytes;
        uint32_t expected;
    } cases[] = {{MEDIASUBTYPE_RGB24, {0x11, 0x40, 0x80}, kFramePixels * 3, 0x804011u},
                 {MEDIASUBTYPE_YUY2, yuyv, kFramePixels * 2, orange[0]}};
    for (const auto& c : cases) {
        const AM_MEDIA_TYPE type = VideoType(c.subtype, FORMAT_VideoInfo);
        ASSERT_EQ(pin_->ReceiveConnection(&upstream_, &type), S_OK);
        std::vector<BYTE> bytes(c.frameBytes);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = c.pattern[i % c.pattern.size()];
        Sample sample(bytes.data(), static_cast<long>(bytes.size()));
        ASSERT_EQ(filter_->Run(0), S_OK);
        EXPECT_EQ(input_->Receive(&sample), S_OK);
        EXPECT_EQ(frame_[240 * kFrameWidth + 320], c.expected);
        ASSERT_EQ(filter_->Stop(), S_OK);
        pin_->Disconnect();
        ClearStatus(kFramePending);
    }
}

TEST_F(FrameSinkFilterTest, CopiesWholeFramesOnlyWhileRunning) {
    Connect();
    std::vector<uint32_t> pixels(kFramePixels);
    for (int i = 0; i < kFramePixels; ++i) pixels[i] = static_cast<uint32_t>(i * 7919u) & 0x00FFFFFFu;
    Sample sample(reinterpret_cast<BYTE*>(pixels.data()), kFrameBytes);

    ASSERT_EQ(filter_->Pause(), S_OK);
    EXPECT_EQ(input_->Receive(&sample), S_OK);
    EXPECT_FALSE(TestStatus(kFramePending)) << "a paused renderer renders nothing";

    ASSERT_EQ(filter_->Run(0), S_OK);
    Sample shortSample(reinterpret_cast<BYTE*>(pixels.data()), kFrameBytes - 4);
    EXPECT_EQ(input_->Receive(&shortSample), S_OK);
    EXPECT_FALSE(TestStatus(kFramePending)) << "a short sample is skipped";

    EXPECT_EQ(input_->Receive(&sample), S_OK);
    EXPECT_TRUE(TestStatus(kFramePending));
    EXPECT_EQ(std::memcmp(frame_.data(), pixels.data(), kFrameBytes), 0);

    ASSERT_EQ(filter_->Stop(), S_OK);
    ClearStatus(kFramePending);
    EXPECT_EQ(input_->Receive(&sample), S_OK);
    EXPECT_FALSE(TestStatus(kFramePending)) << "a stopped renderer renders nothing";
}

// An upstream filter that claims more data than its buffer holds must not
// make the sink read past the buffer.
TEST_F(FrameSinkFilterTest, ClaimedLengthBeyondTheBufferIsSkipped) {
    Connect();
    ASSERT_EQ(filter_->Run(0), S_OK);
    const long shortBytes = kFrameBytes - kFrameWidth * 4;
    std::vector<uint32_t> pixels(shortBytes / 4, 0x00FF0000);
    for (const long claimed : {static_cast<long>(kFrameBytes), -1L, 0x7FFFFFFFL}) {
        Sample sample(reinterpret_cast<BYTE*>(pixels.data()), shortBytes, claimed);
        EXPECT_EQ(input_->Receive(&sample), S_OK);
        EXPECT_FALSE(TestStatus(kFramePending)) << "claimed " << claimed;
        EXPECT_EQ(frame_[0], 0u) << "claimed " << claimed;
    }
}

TEST_F(FrameSinkFilterTest, StopWaitsForTheRenderInProgress) {
    Connect();
    std::vector<uint32_t> pixels(kFramePixels, 0x00ABCDEF);
    Sample sample(reinterpret_cast<BYTE*>(pixels.data()), kFrameBytes);
    sample.hold = true;
    ASSERT_EQ(filter_->Run(0), S_OK);
    std::thread streaming([&] { input_->Receive(&sample); });
    while (!sample.inside.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        filter_->Stop();
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(stopped.load()) << "Stop returned during a render";
    sample.hold = false;
    stopper.join();
    streaming.join();
    EXPECT_TRUE(stopped.load());
    EXPECT_EQ(frame_[0], 0x00ABCDEFu) << "the render in progress completes";
}

}  // namespace
