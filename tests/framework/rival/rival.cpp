// A second plug-in for the resource tests: it gives the test program's ids to resources of its
// own and, like every plug-in, puts itself in front of the resource chain when it is loaded.
#include <windows.h>

#include <string>

#include "fw/app.h"
#include "fw/dialog.h"
#include "fw/resources.h"
#include "test_ids.h"

namespace {

fw::ExtensionModule gExtension;

// Reads what it was given, shows the greeting with itself as owner and ends at once.
class RivalDialog : public fw::Dialog {
public:
    RivalDialog() : Dialog(IDD_EXCHANGE) {}

    wchar_t caption[64] = {};
    std::wstring greeting;

protected:
    BOOL OnInitDialog() override {
        fw::Dialog::OnInitDialog();
        GetWindowTextW(Handle(), caption, 64);
        LoadText(IDS_GREETING, greeting);
        fw::ShowMessageId(Handle(), IDS_GREETING, MB_OK);
        EndDialog(IDOK);
        return TRUE;
    }
};

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        if (!fw::InitExtensionModule(gExtension, instance) || !fw::AddResourceModule(gExtension))
            return FALSE;
    } else if (reason == DLL_PROCESS_DETACH) {
        fw::TermExtensionModule(gExtension);
    }
    return TRUE;
}

// Runs the rival's dialog; its caption and the greeting it loaded go into the buffers.
extern "C" __declspec(dllexport) int __cdecl RunRivalDialog(wchar_t* caption, int captionSize,
                                                            wchar_t* greeting, int greetingSize) {
    try {
        RivalDialog dialog;
        const INT_PTR result = dialog.DoModal();
        lstrcpynW(caption, dialog.caption, captionSize);
        lstrcpynW(greeting, dialog.greeting.c_str(), greetingSize);
        return static_cast<int>(result);
    } catch (...) {
        return -1;
    }
}
