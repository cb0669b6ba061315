// Loading pelorin.dll the way the host does: COM in a single-threaded apartment is the
// plug-in's condition for loading.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using Entry = int(__cdecl*)(int, void*);

struct LoadOutcome {
    bool loaded = false;
    bool hasEntry = false;
    int nullRecordResult = 0;
};

// Loads the plug-in on a new thread whose COM apartment is set first (or not at all).
LoadOutcome LoadOnThread(DWORD apartment, bool initialiseCom) {
    struct Args {
        DWORD apartment;
        bool initialiseCom;
        LoadOutcome outcome;
    } args{apartment, initialiseCom, {}};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) WINAPI -> DWORD {
            auto* a = static_cast<Args*>(p);
            if (a->initialiseCom)
                CoInitializeEx(nullptr, a->apartment);
            HMODULE plugin = LoadLibraryW(L"pelorin.dll");
            a->outcome.loaded = plugin != nullptr;
            if (plugin) {
                auto entry = reinterpret_cast<Entry>(
                    reinterpret_cast<void*>(GetProcAddress(plugin, "OnCfgIoDev")));
                a->outcome.hasEntry = entry != nullptr;
                if (entry)
                    a->outcome.nullRecordResult = entry(0, nullptr);
                FreeLibrary(plugin);
            }
            if (a->initialiseCom)
                CoUninitialize();
            return 0;
        },
        &args, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return args.outcome;
}

TEST(PluginLoad, LoadsOnASingleThreadedApartmentAndRefusesANullRecord) {
    const LoadOutcome outcome = LoadOnThread(COINIT_APARTMENTTHREADED, true);
    EXPECT_TRUE(outcome.loaded);
    EXPECT_TRUE(outcome.hasEntry);
    EXPECT_EQ(-1, outcome.nullRecordResult);  // nothing to edit: cancelled, no dialog
}

TEST(PluginLoad, LoadsOnAThreadWithoutComAndInitialisesIt) {
    EXPECT_TRUE(LoadOnThread(0, false).loaded);
}

TEST(PluginLoad, RefusesToLoadWhenTheThreadIsInTheMultithreadedApartment) {
    EXPECT_FALSE(LoadOnThread(COINIT_MULTITHREADED, true).loaded);
}

// The plug-in is linked against the database library: installed without tabulo.dll beside it,
// it does not load.
TEST(PluginLoad, NeedsTheDatabaseLibraryBesideIt) {
    wchar_t path[MAX_PATH] = {}, temp[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring bin = path;
    bin = bin.substr(0, bin.find_last_of(L"\\/") + 1);
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"pelorin-install-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    for (const wchar_t* file : {L"pelorin.dll", L"framework.dll"})
        ASSERT_TRUE(CopyFileW((bin + file).c_str(), (folder + file).c_str(), FALSE));
    // Only the plug-in's own folder and the system's: not the folder of this program.
    const DWORD search = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
    HMODULE plugin = LoadLibraryExW((folder + L"pelorin.dll").c_str(), nullptr, search);
    const DWORD error = GetLastError();
    EXPECT_EQ(nullptr, plugin);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), error);
    if (plugin)
        FreeLibrary(plugin);
    ASSERT_TRUE(CopyFileW((bin + L"tabulo.dll").c_str(), (folder + L"tabulo.dll").c_str(), FALSE));
    plugin = LoadLibraryExW((folder + L"pelorin.dll").c_str(), nullptr, search);
    EXPECT_NE(nullptr, plugin);
    if (plugin)
        FreeLibrary(plugin);
    for (const wchar_t* file : {L"pelorin.dll", L"framework.dll", L"tabulo.dll"})
        DeleteFileW((folder + file).c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
