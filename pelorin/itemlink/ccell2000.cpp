#include "itemlink/ccell2000.h"

namespace pelorin {
namespace {

// {5168A2D2-0D15-4F2D-84E9-28E7117C83AA}
const CLSID kGridClassId = {
    0x5168A2D2, 0x0D15, 0x4F2D, {0x84, 0xE9, 0x28, 0xE7, 0x11, 0x7C, 0x83, 0xAA}};

enum : DISPID {
    kSetColumnCount = 37,
    kSetRowCount = 39,
    kGetRowCount = 40,
    kSetCellText = 47,
    kGetCellText = 49,
    kSetColumnWidth = 98,
    kGetActiveColumn = 107,
    kGetActiveRow = 108,
    kSetupOption = 255,
};

} // namespace

const CLSID& CCell2000::ClassId() {
    return kGridClassId;
}

bool CCell2000::Create(HWND parent, const RECT& rect, UINT id, HRESULT* result) {
    HRESULT hr = E_FAIL;
    const bool created = CreateControl(kGridClassId, parent, rect, id, &hr);
    Keep(hr);
    if (result)
        *result = hr;
    return created;
}

HRESULT CCell2000::SetColumnCount(long count, long sheet) {
    return Keep(InvokeHelper(kSetColumnCount, DISPATCH_METHOD, VT_EMPTY, nullptr, count, sheet));
}

HRESULT CCell2000::SetRowCount(long count, long sheet) {
    return Keep(InvokeHelper(kSetRowCount, DISPATCH_METHOD, VT_EMPTY, nullptr, count, sheet));
}

long CCell2000::GetRowCount(long sheet) {
    long rows = 0;
    if (FAILED(Keep(InvokeHelper(kGetRowCount, DISPATCH_METHOD, VT_I4, &rows, sheet))))
        return 0;
    return rows;
}

HRESULT CCell2000::SetCellText(long column, long row, long sheet, const char* text) {
    return Keep(InvokeHelper(kSetCellText, DISPATCH_METHOD, VT_EMPTY, nullptr, column, row, sheet,
                             text ? text : ""));
}

HRESULT CCell2000::SetCellTextW(long column, long row, long sheet, const wchar_t* text) {
    return Keep(InvokeHelper(kSetCellText, DISPATCH_METHOD, VT_EMPTY, nullptr, column, row, sheet,
                             text ? text : L""));
}

fw::String CCell2000::GetCellText(long column, long row, long sheet) {
    fw::String text;
    if (FAILED(
            Keep(InvokeHelper(kGetCellText, DISPATCH_METHOD, VT_BSTR, &text, column, row, sheet))))
        return fw::String();
    return text;
}

HRESULT CCell2000::SetColumnWidth(long count, long width, long column, long sheet) {
    return Keep(InvokeHelper(kSetColumnWidth, DISPATCH_METHOD, VT_EMPTY, nullptr, count, width,
                             column, sheet));
}

long CCell2000::GetActiveColumn() {
    long column = 0;
    if (FAILED(Keep(InvokeHelper(kGetActiveColumn, DISPATCH_METHOD, VT_I4, &column))))
        return 0;
    return column;
}

long CCell2000::GetActiveRow() {
    long row = 0;
    if (FAILED(Keep(InvokeHelper(kGetActiveRow, DISPATCH_METHOD, VT_I4, &row))))
        return 0;
    return row;
}

HRESULT CCell2000::SetupOption(long option, long value) {
    return Keep(InvokeHelper(kSetupOption, DISPATCH_METHOD, VT_EMPTY, nullptr, option, value));
}

} // namespace pelorin
