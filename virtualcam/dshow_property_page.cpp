// The virtual camera's property page: shows the scene the camera streams
// and where it is steered from.
#include <windows.h>
#include <olectl.h>

#include <cstdio>
#include <cwchar>

#include "platform/dshow_com_object.h"
#include "virtualcam/dshow_virtualcam.h"
#include "virtualcam/scene_control.h"

namespace {

constexpr SIZE kPageSize = {360, 150};

class ScenePage final : public ComObject<IPropertyPage, ModuleObjectCreated, ModuleObjectDestroyed> {
public:
    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override {
        if (site != nullptr) site->AddRef();
        if (site_ != nullptr) site_->Release();
        site_ = site;
        return S_OK;
    }
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL) override {
        if (rect == nullptr) return E_POINTER;
        const SceneSettings s = PublishedSceneSettings();
        char text[640];
        std::snprintf(text, sizeof text,
                      "Virtual camera: 640 x 480, 32-bit RGB, 30 frames a second.\r\n\r\n"
                      "Spot: x %d, row %d, radius %d, brightness (red) %d\r\n"
                      "Second spot: radius %d, brightness %d\r\n"
                      "White square: size %d\r\nNoise: %d\r\n\r\n"
                      "Steered by the file named in LUMIDART_VIRTUALCAM_CONTROL\r\n"
                      "(or lumidart-virtualcam.txt in the temporary folder).",
                      s.spotX, s.spotY, s.spotRadius, s.spotRed, s.spot2Radius, s.spot2Red, s.whiteSize, s.noise);
        window_ = CreateWindowExA(0, "STATIC", text, WS_CHILD | SS_LEFT, rect->left, rect->top,
                                  rect->right - rect->left, rect->bottom - rect->top, parent, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        return window_ != nullptr ? S_OK : E_FAIL;
    }
    STDMETHODIMP Deactivate() override {
        if (window_ != nullptr) DestroyWindow(window_);
        window_ = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override {
        if (info == nullptr) return E_POINTER;
        static const wchar_t kTitle[] = L"Scene";
        info->cb = sizeof(PROPPAGEINFO);
        info->pszTitle = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof kTitle));
        if (info->pszTitle != nullptr) CopyMemory(info->pszTitle, kTitle, sizeof kTitle);
        info->size = kPageSize;
        info->pszDocString = nullptr;
        info->pszHelpFile = nullptr;
        info->dwHelpContext = 0;
        return S_OK;
    }
    STDMETHODIMP SetObjects(ULONG, IUnknown**) override { return S_OK; }
    STDMETHODIMP Show(UINT command) override {
        if (window_ != nullptr) ShowWindow(window_, static_cast<int>(command));
        return S_OK;
    }
    STDMETHODIMP Move(LPCRECT rect) override {
        if (rect == nullptr) return E_POINTER;
        if (window_ != nullptr) {
            MoveWindow(window_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
        }
        return S_OK;
    }
    // Read-only: nothing to apply.
    STDMETHODIMP IsPageDirty() override { return S_FALSE; }
    STDMETHODIMP Apply() override { return S_OK; }
    STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }

private:
    ~ScenePage() {
        if (window_ != nullptr) DestroyWindow(window_);
        if (site_ != nullptr) site_->Release();
    }

    IPropertyPageSite* site_ = nullptr;
    HWND window_ = nullptr;
};

}  // namespace

IUnknown* CreateVirtualCamPage() { return new ScenePage(); }
