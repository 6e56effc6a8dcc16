// The lab's look at the system's own capture filters: what a running graph
// sees when its device goes away and comes back. Reads one command a line
// and answers with one line:
//   list        "devices N" and each device's name, ";"-separated
//   open I      the I-th video input device (from 0) running into a sample
//               grabber and a null renderer: "ok WIDTHxHEIGHT BITS" or
//               "error STEP 0xHRESULT"
//   poll        "samples N events CODE/PARAM1 ..." (events since the last poll)
//   close       the graph stopped and released: "ok"
#include <dshow.h>
#include <qedit.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/dshow_com_object.h"

namespace {

const CLSID kSampleGrabber = {0xC1F400A0,
                              0x3F08,
                              0x11D3,
                              {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const CLSID kNullRenderer = {0xC1F400A4,
                             0x3F08,
                             0x11D3,
                             {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

std::atomic<long> g_samples{0};

class SampleCounter final : public ComObject<ISampleGrabberCB> {
public:
  STDMETHODIMP SampleCB(double, IMediaSample *) override {
    g_samples.fetch_add(1, std::memory_order_relaxed);
    return S_OK;
  }
  STDMETHODIMP BufferCB(double, BYTE *, long) override { return S_OK; }
};

template <class T> void Drop(T *&p) {
  if (p != nullptr)
    p->Release();
  p = nullptr;
}

// The category's monikers in the system's order; index -1 lists them.
IMoniker *Device(int index, std::string *names, int *count) {
  ICreateDevEnum *devices = nullptr;
  IEnumMoniker *monikers = nullptr;
  IMoniker *found = nullptr;
  *count = 0;
  if (SUCCEEDED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr,
                                 CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                 reinterpret_cast<void **>(&devices))) &&
      devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers,
                                     0) == S_OK) {
    IMoniker *moniker = nullptr;
    while (found == nullptr && monikers->Next(1, &moniker, nullptr) == S_OK) {
      IPropertyBag *bag = nullptr;
      VARIANT name;
      VariantInit(&name);
      if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                           reinterpret_cast<void **>(&bag))) &&
          SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr))) {
        char text[256] = {};
        WideCharToMultiByte(CP_UTF8, 0, name.bstrVal, -1, text, sizeof text - 1,
                            nullptr, nullptr);
        *names += (*count ? ";" : "") + std::string(text);
      }
      VariantClear(&name);
      Drop(bag);
      if ((*count)++ == index)
        found = moniker;
      else
        Drop(moniker);
    }
  }
  Drop(monikers);
  Drop(devices);
  return found;
}

struct Graph {
  IGraphBuilder *graph = nullptr;
  IMediaControl *control = nullptr;
  IMediaEvent *events = nullptr;
};

void Close(Graph &g) {
  if (g.control != nullptr)
    g.control->Stop();
  Drop(g.events);
  Drop(g.control);
  Drop(g.graph);
}

#define STEP(name, call)                                                       \
  if (FAILED(hr = (call))) {                                                   \
    std::printf("error %s 0x%08lx\n", name, static_cast<unsigned long>(hr));   \
    ok = false;                                                                \
  }

void Open(Graph &g, int index) {
  std::string names;
  int count = 0;
  IMoniker *device = Device(index, &names, &count);
  if (device == nullptr) {
    std::printf("error no-device 0x0\n");
    return;
  }
  IBaseFilter *source = nullptr, *grabber = nullptr, *sink = nullptr;
  ISampleGrabber *grab = nullptr;
  ICaptureGraphBuilder2 *builder = nullptr;
  auto *counter = new SampleCounter;
  AM_MEDIA_TYPE type = {};
  HRESULT hr = S_OK;
  bool ok = true;
  STEP("bind", device->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                    reinterpret_cast<void **>(&source)))
  if (ok)
    STEP("graph", CoCreateInstance(CLSID_FilterGraph, nullptr,
                                   CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<void **>(&g.graph)))
  if (ok)
    STEP("builder",
         CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr,
                          CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                          reinterpret_cast<void **>(&builder)))
  if (ok)
    STEP("grabber",
         CoCreateInstance(kSampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                          IID_IBaseFilter, reinterpret_cast<void **>(&grabber)))
  if (ok)
    STEP("null",
         CoCreateInstance(kNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                          IID_IBaseFilter, reinterpret_cast<void **>(&sink)))
  if (ok)
    STEP("add", g.graph->AddFilter(source, L"source"))
  if (ok)
    STEP("add", g.graph->AddFilter(grabber, L"grabber"))
  if (ok)
    STEP("add", g.graph->AddFilter(sink, L"sink"))
  if (ok)
    STEP("callback", grabber->QueryInterface(IID_ISampleGrabber,
                                             reinterpret_cast<void **>(&grab)))
  if (ok)
    STEP("callback", grab->SetCallback(counter, 0))
  if (ok)
    STEP("builder", builder->SetFiltergraph(g.graph))
  if (ok)
    STEP("render",
         builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source,
                               grabber, sink))
  if (ok)
    STEP("type", grab->GetConnectedMediaType(&type))
  if (ok)
    STEP("control",
         g.graph->QueryInterface(IID_IMediaControl,
                                 reinterpret_cast<void **>(&g.control)))
  if (ok)
    STEP("events", g.graph->QueryInterface(
                       IID_IMediaEvent, reinterpret_cast<void **>(&g.events)))
  if (ok)
    STEP("run", g.control->Run())
  if (ok && type.formattype == FORMAT_VideoInfo && type.pbFormat != nullptr) {
    const BITMAPINFOHEADER &h =
        reinterpret_cast<VIDEOINFOHEADER *>(type.pbFormat)->bmiHeader;
    std::printf("ok %ldx%ld %d\n", h.biWidth, h.biHeight, h.biBitCount);
  } else if (ok) {
    std::printf("ok\n");
  }
  CoTaskMemFree(type.pbFormat);
  if (!ok)
    Close(g);
  Drop(grab);
  Drop(builder);
  Drop(sink);
  Drop(grabber);
  Drop(source);
  Drop(device);
  counter->Release();
}

void Poll(Graph &g) {
  std::printf("samples %ld events", g_samples.load(std::memory_order_relaxed));
  long code = 0;
  LONG_PTR first = 0, second = 0;
  while (g.events != nullptr &&
         g.events->GetEvent(&code, &first, &second, 0) == S_OK) {
    std::printf(" 0x%lx/%ld", static_cast<unsigned long>(code),
                static_cast<long>(first));
    g.events->FreeEventParams(code, first, second);
  }
  std::printf("\n");
}

} // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  Graph g;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "list") {
      std::string names;
      int count = 0;
      Device(-1, &names, &count);
      std::printf("devices %d %s\n", count, names.c_str());
    } else if (line.rfind("open ", 0) == 0) {
      Close(g);
      g_samples = 0;
      Open(g, std::atoi(line.c_str() + 5));
    } else if (line == "poll") {
      Poll(g);
    } else if (line == "close") {
      Close(g);
      std::printf("ok\n");
    } else {
      std::printf("error unknown 0x0\n");
    }
    std::fflush(stdout);
  }
  Close(g);
  CoUninitialize();
  return 0;
}
