#include "world_file.h"

#include <windows.h>

#include <cstdio>

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

SimulatedWorld::SimulatedWorld(const std::string& json) {
    static int serial = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    file_ = std::wstring(temp) + L"session-world-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++serial) + L".json";
    FILE* out = _wfopen(file_.c_str(), L"wb");
    const bool written = out && std::fwrite(json.data(), 1, json.size(), out) == json.size();
    if (out)
        std::fclose(out);
    ready_ = written && RunRegister(L"servers \"" + file_ + L"\"");
}

SimulatedWorld::~SimulatedWorld() {
    RunRegister(L"servers \"" + file_ + L"\" /unregister");
    DeleteFileW(file_.c_str());
}
