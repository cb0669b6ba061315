#include "sim_world.h"

#include <objbase.h>

#include <cstdio>

#include "config.h"
#include "registration.h"

namespace simtest {

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.find_last_of(L"\\/") + 1);
}

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

std::unique_ptr<SimWorld> SimWorld::FromFile(const std::string& unixPath) {
    std::unique_ptr<SimWorld> world(new SimWorld);
    world->file_ = DosPath(unixPath);
    world->Register();
    return world;
}

std::unique_ptr<SimWorld> SimWorld::FromText(const std::string& json) {
    static int serial = 0;
    std::unique_ptr<SimWorld> world(new SimWorld);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    world->file_ = std::wstring(temp) + L"opcsim-world-" + std::to_wstring(GetCurrentProcessId()) +
                   L"-" + std::to_wstring(++serial) + L".json";
    world->temporary_ = true;
    FILE* out = _wfopen(world->file_.c_str(), L"wb");
    const bool written = out && std::fwrite(json.data(), 1, json.size(), out) == json.size();
    if (out)
        std::fclose(out);
    if (written)
        world->Register();
    else
        world->error_ = "cannot write " + opcsim::Narrow(world->file_);
    return world;
}

std::unique_ptr<SimWorld> SimWorld::Shared(const std::string& unixPath) {
    std::unique_ptr<SimWorld> world(new SimWorld);
    const std::wstring file = DosPath(unixPath);
    // The processes of one world find each other by its path (a kernel object's name holds no
    // backslash).
    std::wstring name = L"OpcSimWorld:" + file;
    for (wchar_t& c : name)
        if (c == L'\\')
            c = L'/';
    world->lock_ = CreateMutexW(nullptr, FALSE, (name + L"Lock").c_str());
    if (!world->lock_) {
        // Without the lock the world is neither registered nor removed here: others may use it.
        world->error_ = "cannot create the world's lock";
        return world;
    }
    world->file_ = file;
    WaitForSingleObject(world->lock_, INFINITE);
    world->usersName_ = name + L"Users";
    if (HANDLE other = OpenEventW(SYNCHRONIZE, FALSE, world->usersName_.c_str())) {
        CloseHandle(other); // registered by a process that still runs
        world->ready_ = true;
    } else {
        world->Register();
    }
    world->users_ = CreateEventW(nullptr, TRUE, FALSE, world->usersName_.c_str());
    ReleaseMutex(world->lock_);
    return world;
}

void SimWorld::Register() {
    auto world = opcsim::LoadWorldFile(file_, error_);
    if (!world)
        return;
    const opcsim::Binaries binaries{ProgramDirectory() + L"opcsim.dll",
                                    ProgramDirectory() + L"opcsimsrv.exe"};
    ready_ = opcsim::RegisterWorld(*world, file_, binaries, error_);
}

SimWorld::~SimWorld() {
    if (lock_) {
        // The world stays while another process holds it; the last one to go removes it,
        // whichever process registered it.
        WaitForSingleObject(lock_, INFINITE);
        if (users_)
            CloseHandle(users_);
        if (HANDLE other = OpenEventW(SYNCHRONIZE, FALSE, usersName_.c_str()))
            CloseHandle(other);
        else
            opcsim::UnregisterWorld(file_);
        ReleaseMutex(lock_);
        CloseHandle(lock_);
        return;
    }
    if (!file_.empty())
        opcsim::UnregisterWorld(file_); // also what a failed registration left
    if (temporary_)
        DeleteFileW(file_.c_str());
}

PrivateServer::PrivateServer(const std::string& prefix, const std::string& members) {
    if (FAILED(CoCreateGuid(&clsid_)))
        return;
    const std::string id = opcsim::Narrow(opcsim::GuidText(clsid_));
    progId_ = opcsim::Widen(prefix + "." + id.substr(1, 8));
    world_ = SimWorld::FromText("{\"servers\": [{\"progId\": \"" + opcsim::Narrow(progId_) +
                                "\", \"clsid\": \"" + id + "\", " + members + "}]}");
}

} // namespace simtest
