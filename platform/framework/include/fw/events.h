// Event tables: a dialog names, per hosted control and dispatch id, the member function that
// handles the control's event. The handler's parameter types say how the event's arguments are
// read: long (VT_I4 or anything that converts to it), long* (a VT_I4 passed by reference, which
// the handler may write to answer the control), BSTR (VT_BSTR, owned by the caller).
//
// In the dialog class:   FW_DECLARE_EVENTS()
// and in its source file:
//   FW_BEGIN_EVENTS(MyDialog)
//       FW_ON_EVENT(12015, 11, OnCellSelect)   // void OnCellSelect(long, long, long)
//   FW_END_EVENTS()
#pragma once

#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>

#include <cstddef>
#include <tuple>
#include <utility>

namespace fw {

class Dialog;

// Runs one event's handler with the event's arguments. The invokers are instantiated in the
// dialog's module and catch there whatever the handler throws: DISP_E_EXCEPTION then.
using EventInvoker = HRESULT (*)(Dialog& dialog, DISPPARAMS& params);

// One row of a dialog's event table: event `dispid` of the control with id `id`.
struct EventEntry {
    UINT id;
    DISPID dispid;
    EventInvoker invoker;
};

namespace detail {

template <class T> struct EventArg;

template <> struct EventArg<long> {
    long value = 0;
    HRESULT Read(VARIANT& v) {
        if (V_VT(&v) == VT_I4) {
            value = V_I4(&v);
            return S_OK;
        }
        VARIANT converted;
        VariantInit(&converted);
        if (FAILED(VariantChangeType(&converted, &v, 0, VT_I4)))
            return DISP_E_TYPEMISMATCH;
        value = V_I4(&converted);
        return S_OK;
    }
    long Get() const { return value; }
};

template <> struct EventArg<long*> {
    long* value = nullptr;
    HRESULT Read(VARIANT& v) {
        if (V_VT(&v) != (VT_I4 | VT_BYREF) || !V_I4REF(&v))
            return DISP_E_TYPEMISMATCH;
        value = V_I4REF(&v);
        return S_OK;
    }
    long* Get() const { return value; }
};

template <> struct EventArg<BSTR> {
    BSTR value = nullptr;
    HRESULT Read(VARIANT& v) {
        if (V_VT(&v) != VT_BSTR)
            return DISP_E_TYPEMISMATCH;
        value = V_BSTR(&v);
        return S_OK;
    }
    BSTR Get() const { return value; }
};

// One instance per handler: reads the arguments (DISPPARAMS hold them last first) into the
// handler's parameter types and calls it.
template <auto Handler> struct EventThunk;

template <class D, class... A, void (D::*Handler)(A...)> struct EventThunk<Handler> {
    static HRESULT Invoke(Dialog& dialog, DISPPARAMS& params) noexcept {
        try {
            return Call(dialog, params, std::index_sequence_for<A...>());
        } catch (...) {
            return DISP_E_EXCEPTION;
        }
    }

private:
    template <size_t... I>
    static HRESULT Call(Dialog& dialog, DISPPARAMS& params, std::index_sequence<I...>) {
        if (params.cArgs != sizeof...(A))
            return DISP_E_BADPARAMCOUNT;
        std::tuple<EventArg<A>...> args;
        HRESULT hr = S_OK;
        ((hr = SUCCEEDED(hr) ? std::get<I>(args).Read(params.rgvarg[sizeof...(A) - 1 - I]) : hr),
         ...);
        if (FAILED(hr))
            return hr;
        (static_cast<D&>(dialog).*Handler)(std::get<I>(args).Get()...);
        return S_OK;
    }
};

} // namespace detail

} // namespace fw

#define FW_DECLARE_EVENTS()                                                                        \
protected:                                                                                         \
    const fw::EventEntry* GetEventTable() const override;

#define FW_BEGIN_EVENTS(cls)                                                                       \
    const fw::EventEntry* cls::GetEventTable() const {                                             \
        using ThisClass = cls;                                                                     \
        static const fw::EventEntry table[] = {
#define FW_ON_EVENT(id, dispid, handler)                                                           \
    {(id), (dispid), &fw::detail::EventThunk<&ThisClass::handler>::Invoke},
#define FW_END_EVENTS()                                                                            \
    { 0, 0, nullptr }                                                                              \
    }                                                                                              \
    ;                                                                                              \
    return table;                                                                                  \
    }
