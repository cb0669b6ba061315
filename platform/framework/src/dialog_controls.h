// Inside the framework: the COM controls of one dialog, from its template to their end.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "fw/control_host.h"

namespace fw {

// One COM control item of a dialog template.
struct ControlPlace {
    CLSID clsid;
    UINT id;
    DWORD style;
    RECT units;     // dialog units: left, top, right, bottom
    int keptBefore; // how many items the dialog manager creates before this one
};

// Copies a dialog template (classic or extended) without its COM control items, which it lists
// in template order. False when the template is malformed or names no COM control.
bool SplitDialogTemplate(const void* data, size_t size, std::vector<BYTE>& stripped,
                         std::vector<ControlPlace>& places);

class DialogControls {
public:
    // Null when the template has no COM control; then the dialog uses its template as it is.
    static std::unique_ptr<DialogControls> Prepare(const void* dialogTemplate, size_t size);
    ~DialogControls();

    const DLGTEMPLATE* Template() const {
        return reinterpret_cast<const DLGTEMPLATE*>(stripped_.data());
    }
    // Creates every control in its place; false (all undone) when one cannot be created.
    bool Create(HWND dialog);
    // Ends every control; called while the dialog's windows still exist.
    void Destroy();

    // Runs the handler that the container's dialog names for this event. S_FALSE when the
    // container is no framework dialog or its table has no row for the event; DISP_E_EXCEPTION
    // when the dialog's code threw (the standard message is shown by then).
    static HRESULT DispatchEvent(HWND container, UINT id, DISPID dispid, DISPPARAMS& params);

private:
    bool CreateAll(HWND dialog);

    std::vector<BYTE> stripped_;
    std::vector<ControlPlace> places_;
    std::vector<HostedControl*> controls_;
};

} // namespace fw
