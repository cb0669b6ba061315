#include "dialog_controls.h"

#include <new>

#include "fw/dialog.h"
#include "fw/events.h"

namespace fw {

std::unique_ptr<DialogControls> DialogControls::Prepare(const void* dialogTemplate, size_t size) {
    std::unique_ptr<DialogControls> controls(new (std::nothrow) DialogControls);
    try {
        if (controls &&
            SplitDialogTemplate(dialogTemplate, size, controls->stripped_, controls->places_))
            return controls;
    } catch (...) {
        // Out of memory: the dialog manager then fails on the control's class, and DoModal too.
    }
    return nullptr;
}

DialogControls::~DialogControls() {
    Destroy();
}

bool DialogControls::Create(HWND dialog) {
    try {
        return CreateAll(dialog);
    } catch (...) {
        Destroy(); // out of memory inside the dialog procedure: the dialog fails instead
        return false;
    }
}

bool DialogControls::CreateAll(HWND dialog) {
    // The dialog manager made the other items in template order; each control goes right after
    // the item that precedes it in the template, so that the tab order is the template's.
    std::vector<HWND> kept;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        kept.push_back(child);
    HWND after = nullptr;
    int afterKept = -1;
    for (const ControlPlace& place : places_) {
        if (place.keptBefore != afterKept) {
            afterKept = place.keptBefore;
            after = afterKept > 0 && static_cast<size_t>(afterKept) <= kept.size()
                        ? kept[static_cast<size_t>(afterKept) - 1]
                        : nullptr;
        }
        RECT rect = place.units;
        MapDialogRect(dialog, &rect);
        HostedControl* control = CreateHostedControl(dialog, place.clsid, rect, place.id);
        if (!control) {
            Destroy();
            return false;
        }
        controls_.push_back(control);
        HWND window = HostedControlWindow(control);
        SetWindowPos(window, after ? after : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
        SetWindowLongPtrW(window, GWL_STYLE,
                          (style & ~static_cast<LONG_PTR>(WS_TABSTOP | WS_GROUP)) |
                              (place.style & (WS_TABSTOP | WS_GROUP)));
        if (!(place.style & WS_VISIBLE))
            ShowWindow(window, SW_HIDE);
        if (place.style & WS_DISABLED)
            EnableWindow(window, FALSE);
        after = window;
    }
    return true;
}

void DialogControls::Destroy() {
    while (!controls_.empty()) {
        DestroyHostedControl(controls_.back());
        controls_.pop_back();
    }
}

HRESULT DialogControls::DispatchEvent(HWND container, UINT id, DISPID dispid, DISPPARAMS& params) {
    auto* dialog = static_cast<Dialog*>(GetPropW(container, Dialog::WindowPropertyName()));
    if (!dialog)
        return S_FALSE;
    DialogCall table{DialogCall::kEventTable};
    if (!dialog->Enter(table))
        return DISP_E_EXCEPTION;
    for (const EventEntry* entry = table.events; entry && entry->invoker; ++entry) {
        if (entry->id == id && entry->dispid == dispid) {
            // The invoker runs the handler in the dialog's module and catches what it throws.
            const HRESULT hr = entry->invoker(*dialog, params);
            if (hr == DISP_E_EXCEPTION)
                dialog->ReportUnexpected();
            return hr;
        }
    }
    return S_FALSE;
}

} // namespace fw
