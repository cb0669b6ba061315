// The export the host calls, and load-time registration of our resources.
#include <windows.h>

#include <cstring>

#include "address_pair.h"
#include "address_step_dialog.h"
#include "fw/resources.h"

namespace {

fw::ExtensionModule gExtension;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        // Without our resources the step cannot show anything: refuse to load.
        if (!fw::InitExtensionModule(gExtension, instance))
            return FALSE;
        fw::AddResourceModule(gExtension);
    } else if (reason == DLL_PROCESS_DETACH) {
        fw::TermExtensionModule(gExtension);
    }
    return TRUE;
}

// first: the host's value, not used. record: the host's AddressPair, written only at a
// successful finish. Returns 0 finished, 1 back one step, -1 cancelled. Nothing leaves as an
// exception: the host has a runtime of its own and could not catch it.
extern "C" int __cdecl OnCfgIoDev(int first, void* record) {
    (void)first;
    try {
        if (!record)
            return -1;
        auto* pair = static_cast<marvesk::AddressPair*>(record);
        marvesk::AddressStepDialog dialog;
        std::memcpy(&dialog.source, &pair->source, sizeof dialog.source);
        std::memcpy(&dialog.target, &pair->target, sizeof dialog.target);
        const INT_PTR result = dialog.DoModal();
        if (result == IDOK) {
            std::memcpy(&pair->source, &dialog.source, sizeof dialog.source);
            std::memcpy(&pair->target, &dialog.target, sizeof dialog.target);
            return 0;
        }
        return result == marvesk::AddressStepDialog::kBackResult ? 1 : -1;
    } catch (...) {
        return -1;
    }
}
