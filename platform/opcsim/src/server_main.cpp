// opcsimsrv.exe: the simulated servers registered with LocalServer32, i.e. across processes.
// COM starts it as  opcsimsrv.exe /config <world.json> -Embedding ; it serves every local server
// of that world. When the last object and lock are gone it lingers a moment (a client that
// comes back at once finds it running) and then quits. A class whose registration changes
// (another world registered, or the world removed) is withdrawn at once, so that the next
// activation starts a server that reads the new world.
#include "class_factory.h"
#include "module.h"
#include "world_cache.h"

#include <shellapi.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

const UINT kIdleMessage = WM_APP + 1;
const DWORD kLingerMs = 3000;
const DWORD kNobodyCameMs = 30000;

DWORD g_mainThread = 0;

void PostIdle() {
    PostThreadMessageW(g_mainThread, kIdleMessage, 0, 0);
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

// One served class: its class object's registration and a watch on its registry key.
struct Served {
    CLSID clsid;
    DWORD cookie = 0;
    HKEY key = nullptr;
    HANDLE changed = nullptr;
};

void Watch(Served& served) {
    RegNotifyChangeKeyValue(served.key, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                            served.changed, TRUE);
}

void Withdraw(Served& served) {
    if (served.cookie)
        CoRevokeClassObject(served.cookie);
    served.cookie = 0;
    if (served.key)
        RegCloseKey(served.key);
    served.key = nullptr;
    if (served.changed)
        CloseHandle(served.changed);
    served.changed = nullptr;
}

// Whether the class is still registered to start this program on this world file.
bool StillOurs(const CLSID& clsid, const std::wstring& file) {
    wchar_t command[2048] = {};
    DWORD size = sizeof command - sizeof(wchar_t);
    const std::wstring key = L"CLSID\\" + opcsim::GuidText(clsid) + L"\\LocalServer32";
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, command,
                     &size) != ERROR_SUCCESS)
        return false;
    return std::wstring(command).find(L"\"" + file + L"\"") != std::wstring::npos;
}

bool AnyServed(const std::vector<Served>& served) {
    for (const Served& one : served)
        if (one.cookie)
            return true;
    return false;
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
    opcsim::SetModuleIdleCallback(PostIdle);

    std::vector<Served> served;
    for (const auto& server : world->servers) {
        if (server->activation != opcsim::Activation::LocalServer)
            continue;
        Served one;
        one.clsid = server->clsid;
        const std::wstring key = L"CLSID\\" + opcsim::GuidText(server->clsid);
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_NOTIFY | KEY_READ, &one.key) !=
            ERROR_SUCCESS)
            continue;
        one.changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        Watch(one);
        IUnknown* factory = nullptr;
        if (SUCCEEDED(opcsim::CreateClassFactory(server, false, IID_IUnknown,
                                                 reinterpret_cast<void**>(&factory)))) {
            CoRegisterClassObject(server->clsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                  &one.cookie);
            factory->Release();
        }
        served.push_back(one);
    }

    UINT_PTR linger = SetTimer(nullptr, 0, kNobodyCameMs, nullptr);
    bool quit = false;
    while (!quit) {
        std::vector<HANDLE> handles;
        for (const Served& one : served)
            if (one.changed)
                handles.push_back(one.changed);
        const DWORD woken = MsgWaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                      handles.data(), FALSE, INFINITE, QS_ALLINPUT);
        if (woken < WAIT_OBJECT_0 + handles.size()) {
            HANDLE fired = handles[woken - WAIT_OBJECT_0];
            for (Served& one : served) {
                if (one.changed != fired)
                    continue;
                if (StillOurs(one.clsid, file))
                    Watch(one);
                else
                    Withdraw(one);
            }
            if (!AnyServed(served) && opcsim::ModuleLockCount() == 0)
                quit = true;
            continue;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
            } else if (message.message == kIdleMessage) {
                if (!AnyServed(served))
                    quit = true;
                else if (opcsim::ModuleLockCount() == 0)
                    linger = SetTimer(nullptr, linger, kLingerMs, nullptr);
            } else if (message.message == WM_TIMER && message.hwnd == nullptr &&
                       message.wParam == linger) {
                if (opcsim::ModuleLockCount() == 0)
                    quit = true;
            } else {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    opcsim::SetModuleIdleCallback(nullptr);
    for (Served& one : served)
        Withdraw(one);
    CoUninitialize();
    return 0;
}
