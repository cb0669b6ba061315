#include "sim_world.h"

#include <objbase.h>

#include <cstdio>

namespace simtest {
namespace {

std::wstring BinDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring bin = path;
    return bin.erase(bin.find_last_of(L"\\/") + 1);
}

// Runs the simulator's registration tool and waits for it; true when it succeeded.
bool RunRegister(const std::wstring& arguments) {
    std::wstring command = L"\"" + BinDirectory() + L"opcsim-register.exe\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code == 0;
}

} // namespace

SimServer::SimServer(const std::string& members, const std::string& activation) {
    if (FAILED(CoCreateGuid(&clsid_)))
        return;
    wchar_t text[40] = {};
    StringFromGUID2(clsid_, text, 40);
    const std::string id(text, text + wcslen(text));
    progId_ = "ItemLinkTest." + id.substr(1, 8);
    const std::string json = "{\"servers\": [{\"progId\": \"" + progId_ + "\", \"clsid\": \"" + id +
                             "\", \"activation\": \"" + activation + "\", " + members + "}]}";
    static int serial = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    file_ = std::wstring(temp) + L"itemlink-world-" + std::to_wstring(GetCurrentProcessId()) +
            L"-" + std::to_wstring(++serial) + L".json";
    FILE* out = _wfopen(file_.c_str(), L"wb");
    const bool written = out && std::fwrite(json.data(), 1, json.size(), out) == json.size();
    if (out)
        std::fclose(out);
    ready_ = written && RunRegister(L"servers \"" + file_ + L"\"");
}

SimServer::~SimServer() {
    RunRegister(L"servers \"" + file_ + L"\" /unregister");
    DeleteFileW(file_.c_str());
}

HRESULT SimServer::Create(Microsoft::WRL::ComPtr<IOPCServer>& server,
                          Microsoft::WRL::ComPtr<IOpcSimStats>& stats) const {
    HRESULT hr = CoCreateInstance(clsid_, nullptr, CLSCTX_ALL, IID_IOPCServer,
                                  reinterpret_cast<void**>(server.ReleaseAndGetAddressOf()));
    if (FAILED(hr))
        return hr;
    Microsoft::WRL::ComPtr<IOpcSimControl> control;
    hr = server->QueryInterface(IID_IOpcSimControl,
                                reinterpret_cast<void**>(control.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    return control->GetStats(stats.ReleaseAndGetAddressOf());
}

long Calls(IOpcSimStats* stats, const wchar_t* method) {
    LONG count = -1;
    if (stats)
        stats->GetCallCount(method, &count);
    return count;
}

} // namespace simtest
