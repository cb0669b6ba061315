// Hosting of windowed COM controls: a control is created by class id as a child of a container
// window, activated in place, driven through IDispatch by dispatch id, and its events go to the
// event table of the fw::Dialog that contains it (fw/events.h).
//
// Dialog templates name such a control by its class id in braces as the window class, e.g.
//   CONTROL "", 12015, "{5168A2D2-0D15-4F2D-84E9-28E7117C83AA}", WS_TABSTOP, 13, 13, 244, 255
// fw::Dialog creates the dialog without those items and then each control in its place, with
// its id and tab position. A dialog whose control cannot be created ends at once with -1.
#pragma once

#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>

#include <string>

#include "fw/export.h"
#include "fw/string.h"

namespace fw {

class HostedControl;

// Creates the control (COM must be initialised on this thread) in `rect`, client pixels of
// `container`. Null on failure, with the reason in `result` when given.
FW_API HostedControl* CreateHostedControl(HWND container, REFCLSID clsid, const RECT& rect, UINT id,
                                          HRESULT* result = nullptr) noexcept;
// Disconnects the events, closes the object (which destroys its window) and frees the site.
FW_API void DestroyHostedControl(HostedControl* control) noexcept;
// The hosted control whose window this is, or null.
FW_API HostedControl* FindHostedControl(HWND window) noexcept;
FW_API HWND HostedControlWindow(const HostedControl* control) noexcept;
// IDispatch::Invoke with the arguments in call order. `args` are left as they were (the caller
// clears them); `result` may be null.
FW_API HRESULT InvokeHostedControl(HostedControl* control, DISPID id, WORD flags, VARIANT* args,
                                   UINT count, VARIANT* result) noexcept;

// The base of a typed wrapper for one hosted control: it either refers to a control that a dialog
// created from its template (Attach) or creates and owns one (Create). Calls go by dispatch id;
// every call returns the control's HRESULT, never throws.
class ControlWrapper {
public:
    ControlWrapper() = default;
    virtual ~ControlWrapper() { DestroyWindow(); }
    ControlWrapper(const ControlWrapper&) = delete;
    ControlWrapper& operator=(const ControlWrapper&) = delete;

    // Refers to the control with `id` in `dialog`; false when there is no hosted control there.
    bool Attach(HWND dialog, UINT id) {
        DestroyWindow();
        window_ = GetDlgItem(dialog, static_cast<int>(id));
        return FindHostedControl(window_) != nullptr;
    }
    bool CreateControl(REFCLSID clsid, HWND parent, const RECT& rect, UINT id,
                       HRESULT* result = nullptr) {
        DestroyWindow();
        owned_ = CreateHostedControl(parent, clsid, rect, id, result);
        window_ = owned_ ? HostedControlWindow(owned_) : nullptr;
        return owned_ != nullptr;
    }
    // Ends a control this wrapper created; forgets an attached one.
    void DestroyWindow() {
        if (owned_)
            DestroyHostedControl(owned_);
        owned_ = nullptr;
        window_ = nullptr;
    }
    HWND Handle() const { return window_; }

    // Calls method `id` with the given arguments (long, int, const char* in the ANSI code page,
    // const wchar_t*, long* by reference) and puts the result, converted to `resultType`, into
    // `result` (VT_EMPTY: none; VT_I4: long*; VT_BSTR: fw::String* in the ANSI code page).
    template <class... Args>
    HRESULT InvokeHelper(DISPID id, WORD flags, VARTYPE resultType, void* result,
                         const Args&... args) {
        VARIANT list[sizeof...(Args) + 1];
        UINT count = 0;
        (Put(list[count++], args), ...);
        VARIANT answer;
        VariantInit(&answer);
        HostedControl* control = owned_ ? owned_ : FindHostedControl(window_);
        HRESULT hr = control ? InvokeHostedControl(control, id, flags, list, count,
                                                   resultType == VT_EMPTY ? nullptr : &answer)
                             : E_HANDLE;
        for (UINT i = 0; i < count; ++i)
            VariantClear(&list[i]);
        if (SUCCEEDED(hr) && resultType != VT_EMPTY)
            hr = TakeResult(answer, resultType, result);
        VariantClear(&answer);
        return hr;
    }

private:
    static void Put(VARIANT& v, long value) {
        VariantInit(&v);
        V_VT(&v) = VT_I4;
        V_I4(&v) = value;
    }
    static void Put(VARIANT& v, int value) { Put(v, static_cast<long>(value)); }
    static void Put(VARIANT& v, long* value) {
        VariantInit(&v);
        V_VT(&v) = VT_I4 | VT_BYREF;
        V_I4REF(&v) = value;
    }
    static void Put(VARIANT& v, const wchar_t* text) {
        VariantInit(&v);
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(text ? text : L"");
    }
    static void Put(VARIANT& v, const char* text) { Put(v, ToWide(text).c_str()); }
    static void Put(VARIANT& v, const String& text) { Put(v, text.c_str()); }

    static HRESULT TakeResult(VARIANT& answer, VARTYPE type, void* result) {
        if (!result)
            return S_OK;
        HRESULT hr = VariantChangeType(&answer, &answer, 0, type);
        if (FAILED(hr))
            return hr;
        if (type == VT_I4)
            *static_cast<long*>(result) = V_I4(&answer);
        else if (type == VT_BSTR) {
            const BSTR text = V_BSTR(&answer);
            const std::wstring wide = text ? std::wstring(text, SysStringLen(text)) : L"";
            *static_cast<String*>(result) = ToAnsi(wide.c_str());
        } else
            return DISP_E_TYPEMISMATCH;
        return S_OK;
    }

    HWND window_ = nullptr;
    HostedControl* owned_ = nullptr;
};

} // namespace fw
