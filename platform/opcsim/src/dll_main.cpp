// opcsim.dll: the simulated servers registered with InprocServer32. Which class is which server
// comes from the world file registered for it (see registration.h).
#include "class_factory.h"
#include "module.h"
#include "stats.h"
#include "world_cache.h"

#include <windows.h>

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    else if (reason == DLL_PROCESS_DETACH)
        opcsim::Stats::WriteLeftoverReports();
    return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    auto config = opcsim::FindRegisteredServer(clsid);
    if (!config)
        return CLASS_E_CLASSNOTAVAILABLE;
    return opcsim::CreateClassFactory(config, true, riid, object);
}

HRESULT WINAPI DllCanUnloadNow() {
    return opcsim::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

// The simulated classes are registered per test set with opcsim-register.exe; the DLL itself
// has nothing of its own to register.
HRESULT WINAPI DllRegisterServer() {
    return S_OK;
}
HRESULT WINAPI DllUnregisterServer() {
    return S_OK;
}

} // extern "C"
