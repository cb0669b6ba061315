#include "session/data_callback_sink.h"

#include "session/item_value_record.h"

namespace pelorin {

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

// The server hears S_OK whatever happens here: a value we cannot keep is our problem, not its.
void DataCallbackSink::StoreItems(DWORD count, const OPCHANDLE* clientHandles,
                                  const VARIANT* values, const WORD* qualities,
                                  const FILETIME* timestamps, const HRESULT* errors) {
    // An in-process server calls us without a marshaller checking its arrays.
    if (count == 0 || !clientHandles || !values || !qualities || !timestamps || !errors)
        return;
    for (DWORD i = 0; i < count; ++i) {
        if (FAILED(errors[i]))
            continue;
        try {
            StoreItemCopy(clientHandles[i], values[i], qualities[i], timestamps[i]);
        } catch (...) {
            // The record keeps its old value; the next items are still stored.
        }
    }
}

} // namespace pelorin
