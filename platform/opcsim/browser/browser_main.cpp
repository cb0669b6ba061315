// opcbrowser.dll: the OPC server browser (OpcEnum's IOPCServerList) as an in-process server
// under the published class id. regsvr32 registers it; "regsvr32 /u" (or
// "opcsim-register browser off") removes it, for test sets that run without a browser.
#include "browser_behaviour.h"
#include "registration.h"
#include "server_list.h"

#include <olectl.h>
#include <windows.h>

#include <new>
#include <string>

namespace opcbrowser {
long LiveObjects();
}

namespace {

HINSTANCE g_instance = nullptr;
volatile LONG g_locks = 0;

const wchar_t kProgId[] = L"OPC.ServerList.1";
const wchar_t kIndependentProgId[] = L"OPC.ServerList";
const wchar_t kUserType[] = L"OpcServerList Class";

std::wstring ClsidKey() {
    wchar_t text[40] = {};
    StringFromGUID2(CLSID_OpcServerList, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

bool SetString(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    return opcsim::SetRegistryString(HKEY_CLASSES_ROOT, path, name, value);
}

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        InterlockedIncrement(&g_locks);
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&references_);
        InterlockedDecrement(&g_locks);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        try {
            const HRESULT forced = opcbrowser::CurrentBehaviour().createResult;
            if (FAILED(forced))
                return forced;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        return opcbrowser::CreateServerList(riid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            InterlockedIncrement(&g_locks);
        else
            InterlockedDecrement(&g_locks);
        return S_OK;
    }

private:
    LONG references_ = 0;
};

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_OpcServerList))
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) Factory();
    if (!factory)
        return E_OUTOFMEMORY;
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
}

HRESULT WINAPI DllCanUnloadNow() {
    return g_locks == 0 && opcbrowser::LiveObjects() == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI DllRegisterServer() {
    wchar_t path[MAX_PATH] = {};
    if (!GetModuleFileNameW(g_instance, path, MAX_PATH))
        return SELFREG_E_CLASS;
    const std::wstring key = ClsidKey();
    wchar_t clsid[40] = {};
    StringFromGUID2(CLSID_OpcServerList, clsid, 40);
    const bool ok = SetString(key, nullptr, kUserType) &&
                    SetString(key + L"\\InprocServer32", nullptr, path) &&
                    SetString(key + L"\\InprocServer32", L"ThreadingModel", L"Both") &&
                    SetString(key + L"\\ProgID", nullptr, kProgId) &&
                    SetString(key + L"\\VersionIndependentProgID", nullptr, kIndependentProgId) &&
                    SetString(kProgId, nullptr, kUserType) &&
                    SetString(std::wstring(kProgId) + L"\\CLSID", nullptr, clsid) &&
                    SetString(kIndependentProgId, nullptr, kUserType) &&
                    SetString(std::wstring(kIndependentProgId) + L"\\CLSID", nullptr, clsid) &&
                    SetString(std::wstring(kIndependentProgId) + L"\\CurVer", nullptr, kProgId);
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT WINAPI DllUnregisterServer() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKey().c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kIndependentProgId);
    return S_OK;
}

} // extern "C"
