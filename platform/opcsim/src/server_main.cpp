// opcsimsrv.exe: the simulated servers registered with LocalServer32, i.e. across processes.
// COM starts it as  opcsimsrv.exe /config <world.json> -Embedding ; it serves every local server
// of that world. When the last object and lock are gone it lingers a moment (a client that
// comes back at once finds it running) and then quits. Each object is made from the world
// registered at that moment (the file is read again when it changed); a class that is no longer
// registered as a local server of a world is withdrawn.
#include "class_factory.h"
#include "module.h"
#include "stats.h"
#include "world_cache.h"

#include <shellapi.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

const UINT kIdleMessage = WM_APP + 1;
const UINT kLeaveNowMessage = WM_APP + 2;
const UINT kDieMessage = WM_APP + 3;
// How long a thread about to die waits for the main thread to withdraw the classes first.
const DWORD kDeathWaitMs = 2000;
const DWORD kLingerMs = 3000;
const DWORD kNobodyCameMs = 30000;
// Leaving: how long nothing must happen after the classes are withdrawn, and how long a client
// that still holds one of our class objects (without an object or a lock) is waited for.
const DWORD kQuietMs = 500;
const DWORD kFactoryGraceMs = 5000;

DWORD g_mainThread = 0;
// The classes' registrations, for a death that withdraws them (on the main thread, which made
// them: only there can they be revoked).
std::vector<DWORD> g_classCookies;

void PostIdle() {
    PostThreadMessageW(g_mainThread, kIdleMessage, 0, 0);
}

// A server that disconnected its clients asks the process to leave without lingering.
void PostLeaveNow() {
    PostThreadMessageW(g_mainThread, kLeaveNowMessage, 0, 0);
}

// A process that crashes on Windows leaves no class registered: the next activation starts a
// new one. Under Wine its classes stay registered and every later activation of them fails, so
// a dying server withdraws them before it ends; nothing else of the death changes.
void WithdrawClassesAndDie() {
    for (DWORD cookie : g_classCookies)
        CoRevokeClassObject(cookie);
    TerminateProcess(GetCurrentProcess(), 3);
}

void BeforeDeath() {
    if (GetCurrentThreadId() == g_mainThread)
        WithdrawClassesAndDie();
    // Another thread (a free-threaded object's call, a timer of its own) has the main thread do
    // it; should that not come in time, the process ends without.
    if (PostThreadMessageW(g_mainThread, kDieMessage, 0, 0))
        Sleep(kDeathWaitMs);
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
    IUnknown* factory = nullptr; // our own reference, kept until the process ends
    DWORD cookie = 0;
    HKEY key = nullptr;
    HANDLE changed = nullptr;
};

// (Re)opens the class key and watches it; a key deleted and written anew is a new key.
bool Watch(Served& served) {
    if (served.key)
        RegCloseKey(served.key);
    served.key = nullptr;
    const std::wstring key = L"CLSID\\" + opcsim::GuidText(served.clsid);
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_NOTIFY | KEY_READ, &served.key) !=
        ERROR_SUCCESS)
        return false;
    return RegNotifyChangeKeyValue(served.key, TRUE,
                                   REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                   served.changed, TRUE) == ERROR_SUCCESS;
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

// The world file the class's LocalServer32 command names now ("" when it names none).
std::wstring RegisteredFile(const CLSID& clsid) {
    wchar_t command[2048] = {};
    DWORD size = sizeof command - sizeof(wchar_t);
    const std::wstring key = L"CLSID\\" + opcsim::GuidText(clsid) + L"\\LocalServer32";
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, command,
                     &size) != ERROR_SUCCESS)
        return std::wstring();
    const std::wstring text = command;
    const std::wstring option = L"/config \"";
    const size_t start = text.find(option);
    if (start == std::wstring::npos)
        return std::wstring();
    const size_t end = text.find(L'"', start + option.size());
    if (end == std::wstring::npos)
        return std::wstring();
    return text.substr(start + option.size(), end - start - option.size());
}

// A server object is made from the world as registered at the moment of its creation: a client
// that registered a changed world just before reaching a lingering server gets the new one.
std::shared_ptr<const opcsim::ServerConfig> Resolve(const CLSID& clsid) {
    const std::wstring file = RegisteredFile(clsid);
    if (file.empty())
        return nullptr;
    std::string error;
    auto world = opcsim::CachedWorld(file, error);
    return world ? world->Find(clsid) : nullptr;
}

// Whether the class is still registered as a local server of a world that has it.
bool StillServed(const CLSID& clsid) {
    return Resolve(clsid) != nullptr;
}

bool AnyServed(const std::vector<Served>& served) {
    for (const Served& one : served)
        if (one.cookie)
            return true;
    return false;
}

// Whether anybody but us still holds one of the class objects (a client's proxy does).
bool FactoriesHeldElsewhere(const std::vector<Served>& served) {
    for (const Served& one : served) {
        if (!one.factory)
            continue;
        one.factory->AddRef();
        if (one.factory->Release() > 1)
            return true;
    }
    return false;
}

void Pump(DWORD milliseconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT || message.message == kIdleMessage ||
            message.message == kLeaveNowMessage ||
            (message.message == WM_TIMER && message.hwnd == nullptr))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Leaving. The classes are withdrawn first, so that nobody is handed one of our class objects
// any more; then calls that reached a class object before that are still answered until
// everything is quiet. An apartment that stopped pumping with such a call queued would never
// finish uninitialising, and its client would wait for ever. Told to quit, it does not wait for
// objects still held; a server that disconnected its clients does not wait for class objects
// either (under Wine a call into a disconnected object is answered only by the process's end).
void Leave(std::vector<Served>& served, bool toldToQuit, bool leaveNow) {
    for (Served& one : served)
        Withdraw(one);
    const DWORD start = GetTickCount();
    DWORD quietSince = start;
    for (;;) {
        const DWORD now = GetTickCount();
        const bool busy =
            (!toldToQuit && opcsim::ModuleLockCount() > 0) ||
            (!leaveNow && now - start < kFactoryGraceMs && FactoriesHeldElsewhere(served));
        if (busy)
            quietSince = now;
        else if (now - quietSince >= kQuietMs)
            break;
        Pump(50);
    }
    for (Served& one : served)
        if (one.factory)
            one.factory->Release();
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
    opcsim::SetProcessQuitCallback(PostLeaveNow);
    opcsim::SetProcessDeathCallback(BeforeDeath);

    std::vector<Served> served;
    for (const auto& server : world->servers) {
        if (server->activation != opcsim::Activation::LocalServer)
            continue;
        Served one;
        one.clsid = server->clsid;
        one.changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!one.changed || !Watch(one)) {
            Withdraw(one);
            continue;
        }
        const CLSID clsid = server->clsid;
        if (SUCCEEDED(opcsim::CreateClassFactory([clsid]() { return Resolve(clsid); }, false,
                                                 IID_IUnknown,
                                                 reinterpret_cast<void**>(&one.factory))))
            CoRegisterClassObject(server->clsid, one.factory, CLSCTX_LOCAL_SERVER,
                                  REGCLS_MULTIPLEUSE, &one.cookie);
        if (one.cookie)
            g_classCookies.push_back(one.cookie);
        served.push_back(one);
    }

    UINT_PTR linger = SetTimer(nullptr, 0, kNobodyCameMs, nullptr);
    bool quit = false;
    bool toldToQuit = false;
    bool leaveNow = false;
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
                if (!StillServed(one.clsid) || !Watch(one))
                    Withdraw(one);
            }
            if (!AnyServed(served) && opcsim::ModuleLockCount() == 0)
                quit = true;
            continue;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = toldToQuit = true;
            } else if (message.message == kDieMessage) {
                WithdrawClassesAndDie();
            } else if (message.message == kLeaveNowMessage) {
                quit = toldToQuit = leaveNow = true;
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
    Leave(served, toldToQuit, leaveNow);
    opcsim::SetModuleIdleCallback(nullptr);
    opcsim::SetProcessQuitCallback(nullptr);
    opcsim::Stats::WriteLeftoverReports();
    CoUninitialize();
    return 0;
}
