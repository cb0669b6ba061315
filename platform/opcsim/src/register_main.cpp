// opcsim-register.exe: puts a test set's simulated world into the registry and takes it out.
//   opcsim-register servers FILE.json     register the servers of FILE (again: replacing them)
//   opcsim-register servers FILE.json /unregister
//                                         remove what FILE registered
//   opcsim-register servers /unregister   remove every simulated server
//   opcsim-register network FILE.json     register the network provider serving FILE's tree
//   opcsim-register network /unregister   remove the network provider
//   opcsim-register browser on|off        register or remove the OPC server browser
//   opcsim-register reset                 the prefix default: browser on, no servers, no network
//   opcsim-register shutdown PROGID [REASON]
//                                         running servers of that class send ShutdownRequest
// Paths may be Windows paths or, under Wine, Unix paths.
#include "config.h"
#include "registration.h"

#include "net_registration.h"
#include "network_tree.h"
#include "opcsimctl.h"

#include <shellapi.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring ModuleDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.find_last_of(L"\\/") + 1);
}

// Under Wine a Unix path is turned into its DOS form, so the registry holds paths that every
// Windows program of the prefix can open.
std::wstring WindowsPath(const std::wstring& path) {
    if (!path.empty() && path[0] == L'/') {
        using ToDos = LPWSTR(CDECL*)(LPCSTR);
        auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
        if (toDos) {
            if (LPWSTR dos = toDos(opcsim::Narrow(path).c_str())) {
                std::wstring out = dos;
                HeapFree(GetProcessHeap(), 0, dos);
                return out;
            }
        }
    }
    wchar_t full[MAX_PATH] = {};
    if (GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr))
        return full;
    return path;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "opcsim-register: %s\n", text.c_str());
    return 1;
}

bool SetBrowser(bool on) {
    const std::wstring dll = ModuleDirectory() + L"opcbrowser.dll";
    HMODULE module = LoadLibraryW(dll.c_str());
    if (!module)
        return false;
    using Entry = HRESULT(WINAPI*)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(
        GetProcAddress(module, on ? "DllRegisterServer" : "DllUnregisterServer")));
    const bool ok = entry && SUCCEEDED(entry());
    FreeLibrary(module);
    return ok;
}

int Servers(const std::wstring& argument, const std::wstring& option) {
    if (option == L"/unregister") {
        opcsim::UnregisterWorld(WindowsPath(argument));
        return 0;
    }
    if (argument == L"/unregister") {
        opcsim::UnregisterAllWorlds();
        return 0;
    }
    const std::wstring file = WindowsPath(argument);
    std::string error;
    auto world = opcsim::LoadWorldFile(file, error);
    if (!world)
        return Fail(error);
    opcsim::Binaries binaries{ModuleDirectory() + L"opcsim.dll",
                              ModuleDirectory() + L"opcsimsrv.exe"};
    if (!opcsim::RegisterWorld(*world, file, binaries, error))
        return Fail(error);
    return 0;
}

int Network(const std::wstring& argument) {
    if (argument == L"/unregister") {
        netprovider::UnregisterNetwork();
        return 0;
    }
    const std::wstring file = WindowsPath(argument);
    std::string error;
    if (!netprovider::LoadTreeFile(file, error))
        return Fail(error);
    if (!netprovider::RegisterNetwork(file, ModuleDirectory() + L"netprovider.dll", error))
        return Fail(error);
    return 0;
}

int Shutdown(const std::wstring& progId, const std::wstring& reason) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progId.c_str(), &clsid)))
        return Fail("unknown ProgID " + opcsim::Narrow(progId));
    // A new object of the class reaches the running server process; it asks every server
    // object of the class there.
    IOpcSimControl* control = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOpcSimControl,
                                  reinterpret_cast<void**>(&control));
    if (FAILED(hr))
        return Fail("cannot reach a running server of that class");
    hr = control->RequestShutdown(reason.c_str(), TRUE);
    control->Release();
    return SUCCEEDED(hr) ? 0 : Fail("RequestShutdown failed");
}

int Usage() {
    std::fprintf(stderr,
                 "usage: opcsim-register servers FILE.json [/unregister] | servers /unregister\n"
                 "       opcsim-register network FILE.json | network /unregister\n"
                 "       opcsim-register browser on|off\n"
                 "       opcsim-register reset\n"
                 "       opcsim-register shutdown PROGID [REASON]\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return Usage();
    const std::wstring command = argv[1];
    if (command == L"servers" && (argc == 3 || argc == 4))
        return Servers(argv[2], argc == 4 ? argv[3] : L"");
    if (command == L"network" && argc == 3)
        return Network(argv[2]);
    if (command == L"browser" && argc == 3) {
        const std::wstring state = argv[2];
        if (state != L"on" && state != L"off")
            return Usage();
        return SetBrowser(state == L"on") ? 0 : Fail("cannot (un)register opcbrowser.dll");
    }
    if (command == L"reset" && argc == 2) {
        opcsim::UnregisterAllWorlds();
        netprovider::UnregisterNetwork();
        return SetBrowser(true) ? 0 : Fail("cannot register opcbrowser.dll");
    }
    if (command == L"shutdown" && (argc == 3 || argc == 4)) {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
            return 1;
        const int rc = Shutdown(argv[2], argc == 4 ? argv[3] : L"Shutdown requested.");
        CoUninitialize();
        return rc;
    }
    return Usage();
}
