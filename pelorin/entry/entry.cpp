// The export the host calls, and what the plug-in does when it is loaded and unloaded.
#include <windows.h>
#include <ole2.h>

#include "config/server_config_dialog.h"
#include "entry/device_record.h"
#include "entry/module_state.h"
#include "entry/server_settings.h"
#include "fw/resources.h"

namespace pelorin {
namespace {

fw::ExtensionModule gExtension;

constexpr INT_PTR kBackResult = 100;

}  // namespace

}  // namespace pelorin

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    using namespace pelorin;
    if (reason == DLL_PROCESS_ATTACH) {
        RecordModuleInstance(instance);
        // COM in a single-threaded apartment for the host's UI thread; it stays initialised
        // after unload, as the host's thread may use it.
        if (FAILED(OleInitialize(nullptr)))
            return FALSE;
        if (!fw::InitExtensionModule(gExtension, instance))
            return FALSE;
        fw::AddResourceModule(gExtension);
        RegisterStreamFormats();
    } else if (reason == DLL_PROCESS_DETACH) {
        fw::TermExtensionModule(gExtension);
    }
    return TRUE;
}

// first: the host's value, not used. record: the host's DeviceRecord, edited in place by the
// dialog (at OK and at BatchItem). Returns 0 finished, 1 back one step, -1 cancelled.
extern "C" int __cdecl OnCfgIoDev(int first, void* record) {
    using namespace pelorin;
    (void)first;
    if (!record)
        return -1;
    try {
        auto* device = static_cast<DeviceRecord*>(record);
        ServerSettings settings = ReadRecord(*device);
        ApplyEntryDefaults(settings);
        ServerConfigDialog dialog(device, settings);
        const INT_PTR result = dialog.DoModal();
        if (result == IDOK)
            return 0;
        return result == kBackResult ? 1 : -1;
    } catch (...) {
        return -1;
    }
}
