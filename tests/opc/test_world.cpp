#include "test_world.h"

#include "config.h"
#include "registration.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <windows.h>

#include <cstdio>

namespace opctest {
namespace {

// Every test process holds this event while it runs; the last one to go removes the world.
const wchar_t kUsers[] = L"OpcSimConformanceWorldUsers";
const wchar_t kLock[] = L"OpcSimConformanceWorldLock";

std::wstring ModuleDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.find_last_of(L"\\/") + 1);
}

class WorldEnvironment : public testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        file_ = DosPath(OPC_TEST_WORLD);
        lock_ = CreateMutexW(nullptr, FALSE, kLock);
        ASSERT_NE(lock_, nullptr);
        WaitForSingleObject(lock_, INFINITE);
        HANDLE other = OpenEventW(SYNCHRONIZE, FALSE, kUsers);
        if (other) {
            CloseHandle(other); // registered by a test process that still runs
        } else {
            std::string error;
            auto world = opcsim::LoadWorldFile(file_, error);
            EXPECT_TRUE(world) << error;
            if (world) {
                const opcsim::Binaries binaries{ModuleDirectory() + L"opcsim.dll",
                                                ModuleDirectory() + L"opcsimsrv.exe"};
                EXPECT_TRUE(opcsim::RegisterWorld(*world, file_, binaries, error)) << error;
            }
        }
        users_ = CreateEventW(nullptr, TRUE, FALSE, kUsers);
        ReleaseMutex(lock_);
    }

    void TearDown() override {
        WaitForSingleObject(lock_, INFINITE);
        CloseHandle(users_);
        HANDLE other = OpenEventW(SYNCHRONIZE, FALSE, kUsers);
        if (other)
            CloseHandle(other);
        else
            opcsim::UnregisterWorld(file_);
        ReleaseMutex(lock_);
        CloseHandle(lock_);
        CoUninitialize();
    }

private:
    std::wstring file_;
    HANDLE lock_ = nullptr;
    HANDLE users_ = nullptr;
};

testing::Environment* const g_world = testing::AddGlobalTestEnvironment(new WorldEnvironment);

} // namespace

std::wstring DosPath(const std::string& unixPath) {
    using ToDos = LPWSTR(CDECL*)(LPCSTR);
    auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos) {
        if (LPWSTR dos = toDos(unixPath.c_str())) {
            std::wstring out = dos;
            HeapFree(GetProcessHeap(), 0, dos);
            return out;
        }
    }
    return opcsim::Widen(unixPath);
}

PrivateServer::PrivateServer(const std::string& members) {
    static int serial = 0;
    CLSID clsid;
    if (FAILED(CoCreateGuid(&clsid)))
        return;
    const std::wstring id = opcsim::GuidText(clsid);
    progId_ = L"OpcSim.Private." + id.substr(1, 8);
    const std::string json =
        "{\"spaces\": {\"small\": [{\"branch\": \"Area\", \"children\": [{\"item\": "
        "\"Temperature\", \"type\": \"R4\"}, {\"item\": \"Pressure\", \"type\": \"R4\"}]},"
        " {\"item\": \"Status\", \"type\": \"I4\"}]},"
        " \"servers\": [{\"progId\": \"" +
        opcsim::Narrow(progId_) + "\", \"clsid\": \"" + opcsim::Narrow(id) +
        "\", \"space\": \"small\", " + members + "}]}";
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    file_ = std::wstring(temp) + L"opc-private-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++serial) + L".json";
    FILE* out = _wfopen(file_.c_str(), L"wb");
    if (!out)
        return;
    const bool written = std::fwrite(json.data(), 1, json.size(), out) == json.size();
    std::fclose(out);
    std::string error;
    auto world = written ? opcsim::ParseWorld(json, error) : nullptr;
    EXPECT_TRUE(world) << error;
    if (!world)
        return;
    const opcsim::Binaries binaries{ModuleDirectory() + L"opcsim.dll",
                                    ModuleDirectory() + L"opcsimsrv.exe"};
    ready_ = opcsim::RegisterWorld(*world, file_, binaries, error);
    EXPECT_TRUE(ready_) << error;
}

PrivateServer::~PrivateServer() {
    if (!file_.empty()) {
        opcsim::UnregisterWorld(file_);
        DeleteFileW(file_.c_str());
    }
}

} // namespace opctest
