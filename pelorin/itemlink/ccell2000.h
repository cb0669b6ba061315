// The tag grid of the item link dialog: a wrapper around the grid control that calls its
// methods by dispatch id. Cells are (column, row, sheet); sheet 0 is the only one, row 0 holds
// the titles.
//
// Every call checks the control's HRESULT. Setters return it; getters return a neutral value
// when the call failed (0 rows, column and row 0, empty text), which the dialog's logic treats
// as "nothing there", and keep the failure in LastResult().
#pragma once

#include <windows.h>

#include "fw/control_host.h"
#include "fw/string.h"

namespace pelorin {

class CCell2000 : public fw::ControlWrapper {
public:
    // The grid control's class id.
    static const CLSID& ClassId();

    // Creates the control by its class id in `rect` (client pixels of `parent`), with `id`.
    bool Create(HWND parent, const RECT& rect, UINT id, HRESULT* result = nullptr);
    // Refers to the control that a dialog created from its template.
    bool Bind(HWND dialog, UINT id) { return Attach(dialog, id); }

    HRESULT SetColumnCount(long count, long sheet);
    HRESULT SetRowCount(long count, long sheet);
    long GetRowCount(long sheet);
    HRESULT SetCellText(long column, long row, long sheet, const char* text);
    // The same with a UTF-16 text (texts from the resources, which the ANSI code page may not
    // hold).
    HRESULT SetCellTextW(long column, long row, long sheet, const wchar_t* text);
    fw::String GetCellText(long column, long row, long sheet);
    // `count` columns from `column` get `width`.
    HRESULT SetColumnWidth(long count, long width, long column, long sheet);
    long GetActiveColumn();
    long GetActiveRow();
    HRESULT SetupOption(long option, long value);

    HRESULT LastResult() const { return last_; }

private:
    HRESULT Keep(HRESULT hr) {
        last_ = hr;
        return hr;
    }

    HRESULT last_ = S_OK;
};

} // namespace pelorin
