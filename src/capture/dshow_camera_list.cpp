// The cameras on Windows: a source registered under the fixed class id
// first, where one is, as the program always opened it; then every device
// of the system device enumerator's video input category, a webcam by its
// device path, any other by its moniker.
#include <windows.h>
#include <dshow.h>

#include <string>
#include <vector>

#include "capture/dshow_camera_list.h"
#include "state/platform.h"

namespace {

const CLSID kFixedSourceClassId = {0xA8E36632, 0x8B66, 0x410A, {0xB7, 0xC9, 0x8A, 0xAF, 0x2B, 0x27, 0x39, 0x2D}};
constexpr char kFixedSourceIdentity[] = "{A8E36632-8B66-410A-B7C9-8AAF2B27392D}";
constexpr DWORD kInProcess = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

std::string g_selected;

std::string Utf8(const wchar_t* text) {
    if (text == nullptr) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return {};
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.resize(static_cast<size_t>(bytes - 1));
    return out;
}

std::string BagString(IPropertyBag* bag, const wchar_t* name) {
    VARIANT value;
    VariantInit(&value);
    std::string out;
    if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR) out = Utf8(value.bstrVal);
    VariantClear(&value);
    return out;
}

struct Device {
    PlatformCamera camera;
    IMoniker* moniker;  // counted
};

// The video input category's devices, but the fixed source's own entry.
std::vector<Device> CategoryDevices() {
    std::vector<Device> devices;
    ICreateDevEnum* enumerator = nullptr;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, kInProcess, IID_ICreateDevEnum,
                     reinterpret_cast<void**>(&enumerator));
    if (enumerator == nullptr) return devices;
    IEnumMoniker* monikers = nullptr;
    // S_FALSE and no enumerator: the category is empty.
    enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
    enumerator->Release();
    if (monikers == nullptr) return devices;
    IMoniker* moniker = nullptr;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        IPropertyBag* bag = nullptr;
        moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag));
        std::string name, identity;
        bool fixed = false;
        if (bag != nullptr) {
            name = BagString(bag, L"FriendlyName");
            identity = BagString(bag, L"DevicePath");
            fixed = BagString(bag, L"CLSID") == kFixedSourceIdentity;
            bag->Release();
        }
        if (identity.empty()) {
            LPOLESTR display = nullptr;
            moniker->GetDisplayName(nullptr, nullptr, &display);
            identity = Utf8(display);
            CoTaskMemFree(display);
        }
        if (fixed || identity.empty()) {
            moniker->Release();
            continue;
        }
        devices.push_back({{name, identity}, moniker});
    }
    monikers->Release();
    return devices;
}

void Release(std::vector<Device>* devices) {
    for (Device& d : *devices) d.moniker->Release();
    devices->clear();
}

// The fixed source's name as its registration gives it; false when no
// source is registered under that class id.
bool FixedSourceName(std::string* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{A8E36632-8B66-410A-B7C9-8AAF2B27392D}\\InprocServer32", 0, KEY_READ,
                      &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    char text[256] = {};
    LONG size = sizeof text;
    const bool named = RegQueryValueA(HKEY_CLASSES_ROOT, "CLSID\\{A8E36632-8B66-410A-B7C9-8AAF2B27392D}", text,
                                      &size) == ERROR_SUCCESS &&
                       text[0] != '\0';
    *name = named ? text : "Capture source";
    return true;
}

}  // namespace

std::vector<PlatformCamera> PlatformListCameras() {
    CoInitialize(nullptr);
    std::vector<PlatformCamera> cameras;
    std::string fixedName;
    if (FixedSourceName(&fixedName)) cameras.push_back({fixedName, kFixedSourceIdentity});
    std::vector<Device> devices = CategoryDevices();
    for (const Device& d : devices) cameras.push_back(d.camera);
    Release(&devices);
    CoUninitialize();
    return cameras;
}

// A device path or moniker stays the device's own when it comes back.
bool PlatformSameCamera(const std::string&, const std::string&) { return false; }

bool PlatformCameraOverridden() { return false; }

void PlatformCaptureSelectCamera(const std::string& identity) { g_selected = identity; }

HRESULT CreateSelectedCamera(IBaseFilter** filter) {
    *filter = nullptr;
    if (g_selected.empty() || g_selected == kFixedSourceIdentity) {
        const HRESULT result = CoCreateInstance(kFixedSourceClassId, nullptr, kInProcess, IID_IBaseFilter,
                                                reinterpret_cast<void**>(filter));
        if (result != S_OK) *filter = nullptr;
        return *filter != nullptr ? S_OK : E_FAIL;
    }
    std::vector<Device> devices = CategoryDevices();
    for (const Device& d : devices) {
        if (d.camera.identity != g_selected || *filter != nullptr) continue;
        if (d.moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter)) != S_OK) {
            *filter = nullptr;
        }
    }
    Release(&devices);
    return *filter != nullptr ? S_OK : E_FAIL;
}
