#include "session/data_callback_sink.h"

#include "session/item_value_record.h"

namespace pelorin {

STDMETHODIMP DataCallbackSink::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOPCDataCallback) {
        *object = static_cast<IOPCDataCallback*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) DataCallbackSink::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

STDMETHODIMP_(ULONG) DataCallbackSink::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP DataCallbackSink::OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count,
                                            OPCHANDLE* clientHandles, VARIANT* values,
                                            WORD* qualities, FILETIME* timestamps,
                                            HRESULT* errors) {
    StoreItems(count, clientHandles, values, qualities, timestamps, errors);
    return S_OK;
}

STDMETHODIMP DataCallbackSink::OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count,
                                              OPCHANDLE* clientHandles, VARIANT* values,
                                              WORD* qualities, FILETIME* timestamps,
                                              HRESULT* errors) {
    StoreItems(count, clientHandles, values, qualities, timestamps, errors);
    return S_OK;
}

void DataCallbackSink::StoreItems(DWORD count, const OPCHANDLE* clientHandles,
                                  const VARIANT* values, const WORD* qualities,
                                  const FILETIME* timestamps, const HRESULT* errors) {
    // An in-process server calls us without a marshaller checking its arrays.
    if (count == 0 || !clientHandles || !values || !qualities || !timestamps || !errors)
        return;
    for (DWORD i = 0; i < count; ++i) {
        if (FAILED(errors[i]))
            continue;
        StoreItemCopy(clientHandles[i], values[i], qualities[i], timestamps[i]);
    }
}

} // namespace pelorin
