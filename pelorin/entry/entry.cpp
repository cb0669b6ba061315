// The export the host calls, and what the plug-in does when it is loaded and unloaded.
#include <windows.h>
#include <ole2.h>

#include "config/server_config_dialog.h"
#include "entry/device_record.h"
#include "entry/module_keep_alive.h"
#include "entry/module_state.h"
#include "entry/server_settings.h"
#include "fw/resources.h"

namespace pelorin {
namespace {

fw::ExtensionModule gExtension;

int RunServerConfig(DeviceRecord* device) {
    ServerSettings settings = ReadRecord(*device);
    ApplyEntryDefaults(settings);
    ServerConfigDialog dialog(device, settings);
    const INT_PTR result = dialog.DoModal();
    if (result == IDOK)
        return 0;
    return result == ServerConfigDialog::kBackResult ? 1 : -1;
}

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
    int result = -1;
    try {
        if (record)
            result = RunServerConfig(static_cast<DeviceRecord*>(record));
    } catch (...) {
        result = -1;  // nothing may leave an export; the host sees a cancelled step
    }
    // The dialogs of this call are gone. Their COM objects are gone too, unless a server kept
    // one; while the host's own reference still maps us, the module reference of those objects
    // can be given back safely.
    ThisModule().ReleaseIfIdle();
    return result;
}
