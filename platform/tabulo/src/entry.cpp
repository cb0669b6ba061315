// Load-time set-up of the library and its one export.
#include <windows.h>

#include <new>

#include "database.h"
#include "fw/resources.h"

namespace {

fw::ExtensionModule gExtension;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        // The data-source dialog and the texts are found through the framework's resource chain.
        if (!fw::InitExtensionModule(gExtension, instance))
            return FALSE;
        fw::AddResourceModule(gExtension);
    } else if (reason == DLL_PROCESS_DETACH) {
        fw::TermExtensionModule(gExtension);
    }
    return TRUE;
}

// One database object for the process: every caller gets the same one, so a data source stays
// chosen between dialogs and there is never more than one connection. It is never freed (its
// callers may hold it to the end); an open connection ends with the process.
extern "C" tabulo::Database* __cdecl CreateTabulo() {
    try {
        static tabulo::TabuloDatabase* database = new (std::nothrow) tabulo::TabuloDatabase();
        return database;
    } catch (...) {
        return nullptr;
    }
}
