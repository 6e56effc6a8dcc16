// The in-process COM server: class factories, registration with regsvr32,
// and unloading.
#include <windows.h>
#include <olectl.h>

#include <atomic>
#include <mutex>

#include "platform/dshow_com_object.h"
#include "virtualcam/dshow_virtualcam.h"

const CLSID kVirtualCamSourceClassId = {0xA8E36632, 0x8B66, 0x410A, {0xB7, 0xC9, 0x8A, 0xAF, 0x2B, 0x27, 0x39, 0x2D}};
// {5C2E7A1B-3D4F-4E8A-9B61-7F0C2D9E4A13}
const CLSID kVirtualCamSecondSourceClassId = {
    0x5C2E7A1B, 0x3D4F, 0x4E8A, {0x9B, 0x61, 0x7F, 0x0C, 0x2D, 0x9E, 0x4A, 0x13}};
// {06DAA0DE-C145-43DA-9DF1-1CCDC56A6E7E}
const CLSID kVirtualCamPageClassId = {0x06DAA0DE, 0xC145, 0x43DA, {0x9D, 0xF1, 0x1C, 0xCD, 0xC5, 0x6A, 0x6E, 0x7E}};

namespace {

HMODULE g_module;
std::atomic<long> g_liveObjects{0};
std::atomic<long> g_serverLocks{0};

std::mutex g_publishedLock;
SceneSettings g_published;

struct ServerClass {
    const CLSID* classId;
    const wchar_t* key;
    const wchar_t* description;
    IUnknown* (*create)();
    // Listed in the video input category (a software device of its own
    // there) as well, as virtual webcams are: its entry, or null.
    const wchar_t* category;
};

const ServerClass kClasses[] = {
    {&kVirtualCamSourceClassId, L"CLSID\\{A8E36632-8B66-410A-B7C9-8AAF2B27392D}", L"Lumidart virtual camera",
     CreateVirtualCamSource,
     L"CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\{A8E36632-8B66-410A-B7C9-8AAF2B27392D}"},
    {&kVirtualCamSecondSourceClassId, L"CLSID\\{5C2E7A1B-3D4F-4E8A-9B61-7F0C2D9E4A13}", L"Lumidart virtual camera",
     CreateSecondVirtualCamSource,
     L"CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\{5C2E7A1B-3D4F-4E8A-9B61-7F0C2D9E4A13}"},
    {&kVirtualCamPageClassId, L"CLSID\\{06DAA0DE-C145-43DA-9DF1-1CCDC56A6E7E}", L"Lumidart virtual camera scene",
     CreateVirtualCamPage, nullptr},
};

class ClassFactory final : public ComObject<IClassFactory, ModuleObjectCreated, ModuleObjectDestroyed> {
public:
    explicit ClassFactory(IUnknown* (*create)()) : create_(create) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        IUnknown* object = create_();
        if (object == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = object->QueryInterface(iid, out);
        object->Release();
        return result;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            ++g_serverLocks;
        } else {
            --g_serverLocks;
        }
        return S_OK;
    }

private:
    IUnknown* (*create_)();
};

bool SetKeyValue(const wchar_t* key, const wchar_t* name, const wchar_t* value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
    const bool ok =
        RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
}

}  // namespace

void ModuleObjectCreated() { ++g_liveObjects; }
void ModuleObjectDestroyed() { --g_liveObjects; }

void PublishSceneSettings(const SceneSettings& settings) {
    std::lock_guard<std::mutex> guard(g_publishedLock);
    g_published = settings;
}

SceneSettings PublishedSceneSettings() {
    std::lock_guard<std::mutex> guard(g_publishedLock);
    return g_published;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    for (const ServerClass& serverClass : kClasses) {
        if (classId != *serverClass.classId) continue;
        auto* factory = new ClassFactory(serverClass.create);
        const HRESULT result = factory->QueryInterface(iid, out);
        factory->Release();
        return result;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return g_liveObjects.load() == 0 && g_serverLocks.load() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
    for (const ServerClass& serverClass : kClasses) {
        wchar_t server[128];
        wsprintfW(server, L"%s\\InprocServer32", serverClass.key);
        if (!SetKeyValue(serverClass.key, nullptr, serverClass.description) ||
            !SetKeyValue(server, nullptr, path) || !SetKeyValue(server, L"ThreadingModel", L"Both")) {
            return SELFREG_E_CLASS;
        }
        // The class id as the category's entries name it: the key's tail.
        if (serverClass.category != nullptr &&
            (!SetKeyValue(serverClass.category, L"FriendlyName", serverClass.description) ||
             !SetKeyValue(serverClass.category, L"CLSID", wcsrchr(serverClass.key, L'\\') + 1))) {
            return SELFREG_E_CLASS;
        }
    }
    return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    for (const ServerClass& serverClass : kClasses) {
        wchar_t server[128];
        wsprintfW(server, L"%s\\InprocServer32", serverClass.key);
        RegDeleteKeyW(HKEY_CLASSES_ROOT, server);
        RegDeleteKeyW(HKEY_CLASSES_ROOT, serverClass.key);
        if (serverClass.category != nullptr) RegDeleteKeyW(HKEY_CLASSES_ROOT, serverClass.category);
    }
    return S_OK;
}
