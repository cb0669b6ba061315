// opcsimsrv.exe: the simulated servers registered with LocalServer32, i.e. across processes.
// COM starts it as  opcsimsrv.exe /config <world.json> -Embedding ; it serves every local server
// of that world and quits when the last object and lock are gone.
#include "class_factory.h"
#include "module.h"
#include "world_cache.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

DWORD g_mainThread = 0;

void QuitWhenIdle() { PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0); }

// A server started by hand (or whose client died before creating anything) does not linger.
void CALLBACK NobodyCame(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (opcsim::ModuleLockCount() == 0)
        PostQuitMessage(0);
}

std::wstring ConfigArgument() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring file;
    for (int i = 1; args && i + 1 < count; ++i)
        if (lstrcmpiW(args[i], L"/config") == 0 || lstrcmpiW(args[i], L"-config") == 0)
            file = args[i + 1];
    LocalFree(args);
    return file;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    const std::wstring file = ConfigArgument();
    std::string error;
    auto world = file.empty() ? nullptr : opcsim::CachedWorld(file, error);
    if (!world) {
        OutputDebugStringA(("opcsimsrv: " + (file.empty() ? "no /config" : error) + "\n").c_str());
        return 1;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    g_mainThread = GetCurrentThreadId();
    opcsim::SetModuleIdleCallback(QuitWhenIdle);

    std::vector<DWORD> cookies;
    for (const auto& server : world->servers) {
        if (server->activation != opcsim::Activation::LocalServer)
            continue;
        IUnknown* factory = nullptr;
        if (FAILED(opcsim::CreateClassFactory(server, false, IID_IUnknown,
                                              reinterpret_cast<void**>(&factory))))
            continue;
        DWORD cookie = 0;
        if (SUCCEEDED(CoRegisterClassObject(server->clsid, factory, CLSCTX_LOCAL_SERVER,
                                            REGCLS_MULTIPLEUSE, &cookie)))
            cookies.push_back(cookie);
        factory->Release();
    }

    SetTimer(nullptr, 0, 30000, NobodyCame);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    opcsim::SetModuleIdleCallback(nullptr);
    for (DWORD cookie : cookies)
        CoRevokeClassObject(cookie);
    CoUninitialize();
    return 0;
}
