// The grid's methods as IDispatch offers them: by dispatch id, arguments checked and converted,
// results as VARIANTs.
#include <cstring>
#include <cwchar>

#include "grid_api.h"
#include "grid_control.h"

namespace grid {
namespace {

// Argument kinds in call order: 'l' a long (VT_I4 or anything that converts), 's' a text.
struct MethodSpec {
    DISPID id;
    const wchar_t* name;
    const char* args;
};

const MethodSpec kMethods[] = {
    {kSetColumnCount, L"SetColumnCount", "ll"}, {kSetRowCount, L"SetRowCount", "ll"},
    {kGetRowCount, L"GetRowCount", "l"},        {kSetCellText, L"SetCellText", "llls"},
    {kGetCellText, L"GetCellText", "lll"},      {kSetColumnWidth, L"SetColumnWidth", "llll"},
    {kGetActiveColumn, L"GetActiveColumn", ""}, {kGetActiveRow, L"GetActiveRow", ""},
    {kSetupOption, L"SetupOption", "ll"},
};

const MethodSpec* FindMethod(DISPID id) {
    for (const MethodSpec& method : kMethods)
        if (method.id == id)
            return &method;
    return nullptr;
}

void SetLong(VARIANT* result, long value) {
    if (!result)
        return;
    VariantInit(result);
    V_VT(result) = VT_I4;
    V_I4(result) = value;
}

} // namespace

STDMETHODIMP GridControl::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP GridControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP GridControl::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                        DISPID* ids) {
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids)
        return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        // Only the method name can be resolved; the methods have no named arguments.
        if (i > 0 || !names[i]) {
            hr = DISP_E_UNKNOWNNAME;
            continue;
        }
        for (const MethodSpec& method : kMethods)
            if (_wcsicmp(method.name, names[i]) == 0)
                ids[i] = method.id;
        if (ids[i] == DISPID_UNKNOWN)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

STDMETHODIMP GridControl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO*, UINT* badArgument) {
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (!params || (params->cArgs && !params->rgvarg))
        return E_POINTER;
    const MethodSpec* method = FindMethod(id);
    if (!method || !(flags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs)
        return DISP_E_NONAMEDARGS;
    const UINT count = static_cast<UINT>(std::strlen(method->args));
    if (params->cArgs != count)
        return DISP_E_BADPARAMCOUNT;

    long numbers[4] = {};
    VARIANT text;
    VariantInit(&text);
    HRESULT hr = S_OK;
    UINT n = 0;
    for (UINT i = 0; i < count && SUCCEEDED(hr); ++i) {
        // rgvarg holds the arguments last first.
        VARIANT& arg = params->rgvarg[count - 1 - i];
        VARIANT converted;
        VariantInit(&converted);
        const VARTYPE wanted = method->args[i] == 's' ? VT_BSTR : VT_I4;
        hr = VariantChangeType(&converted, &arg, 0, wanted);
        if (FAILED(hr)) {
            if (badArgument)
                *badArgument = count - 1 - i;
            hr = DISP_E_TYPEMISMATCH;
        } else if (wanted == VT_BSTR) {
            VariantClear(&text);
            text = converted;
        } else {
            numbers[n++] = V_I4(&converted);
        }
    }
    if (SUCCEEDED(hr)) {
        try {
            hr = CallMethod(id, numbers, V_VT(&text) == VT_BSTR ? V_BSTR(&text) : nullptr, result);
        } catch (...) {
            hr = E_OUTOFMEMORY; // the only thing our methods can throw
        }
    }
    VariantClear(&text);
    return hr;
}

HRESULT GridControl::CallMethod(DISPID id, const long* a, BSTR text, VARIANT* result) {
    // Every method with a sheet argument knows sheet 0 only.
    switch (id) {
    case kSetColumnCount:
        if (a[1] != 0 || !model_.SetColumns(a[0]))
            return E_INVALIDARG;
        window_.ContentChanged();
        return S_OK;
    case kSetRowCount:
        if (a[1] != 0 || !model_.SetRows(a[0]))
            return E_INVALIDARG;
        window_.ContentChanged();
        return S_OK;
    case kGetRowCount:
        if (a[0] != 0)
            return E_INVALIDARG;
        SetLong(result, model_.Rows());
        return S_OK;
    case kSetCellText: {
        const Cell cell = {a[0], a[1]};
        if (a[2] != 0 || !model_.SetText(cell, std::wstring(text, SysStringLen(text))))
            return E_INVALIDARG;
        window_.CellTextChanged(cell);
        return S_OK;
    }
    case kGetCellText: {
        const Cell cell = {a[0], a[1]};
        if (a[2] != 0 || !model_.Contains(cell))
            return E_INVALIDARG;
        if (result) {
            const std::wstring& value = model_.Text(cell);
            VariantInit(result);
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
            if (!V_BSTR(result)) {
                V_VT(result) = VT_EMPTY;
                return E_OUTOFMEMORY;
            }
        }
        return S_OK;
    }
    case kSetColumnWidth:
        if (a[3] != 0 || !model_.SetWidths(a[2], a[0], a[1]))
            return E_INVALIDARG;
        window_.ContentChanged();
        return S_OK;
    case kGetActiveColumn:
        SetLong(result, model_.Active().column);
        return S_OK;
    case kGetActiveRow:
        SetLong(result, model_.Active().row);
        return S_OK;
    case kSetupOption:
        if (a[0] != kOptionRowNumbers)
            return E_INVALIDARG;
        model_.SetRowNumbers(a[1] != 0);
        window_.ContentChanged();
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

} // namespace grid
