// The in-process server: class factory, registration under the grid's class id, unloading.
#include <ole2.h>
#include <windows.h>

#include <atomic>
#include <new>
#include <string>

#include "grid_api.h"
#include "grid_control.h"

namespace grid {
namespace {

HINSTANCE gModule = nullptr;

class GridFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static; it lives as long as the module.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        GridControl* control = new (std::nothrow) GridControl;
        if (!control)
            return E_OUTOFMEMORY;
        HRESULT hr = control->QueryInterface(iid, out);
        control->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            ++gServerLocks;
        else
            --gServerLocks;
        return S_OK;
    }
};

GridFactory gFactory;

std::wstring ClassKey() {
    wchar_t clsid[40] = {};
    StringFromGUID2(kClassId, clsid, 40);
    return std::wstring(L"CLSID\\") + clsid;
}

bool SetValue(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG status =
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

} // namespace
} // namespace grid

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        grid::gModule = instance;
        DisableThreadLibraryCalls(instance);
        return grid::GridWindow::RegisterWindowClass(instance) ? TRUE : FALSE;
    }
    if (reason == DLL_PROCESS_DETACH)
        grid::GridWindow::UnregisterWindowClass(instance);
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (clsid != grid::kClassId)
        return CLASS_E_CLASSNOTAVAILABLE;
    return grid::gFactory.QueryInterface(iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return grid::gServerLocks == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(grid::gModule, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return SELFREG_E_CLASS;
    const std::wstring key = grid::ClassKey();
    const bool ok = grid::SetValue(HKEY_CLASSES_ROOT, key, nullptr, L"Grid Control") &&
                    grid::SetValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr, path) &&
                    grid::SetValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel",
                                   L"Apartment") &&
                    grid::SetValue(HKEY_CLASSES_ROOT, key + L"\\Control", nullptr, L"");
    return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, grid::ClassKey().c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
