// Loading pelorin.dll the way the host does: COM in a single-threaded apartment is the
// plug-in's condition for loading.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

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

}  // namespace
