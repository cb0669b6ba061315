// Receives the OPC Data Access 2.0 callbacks (IOPCDataCallback): data changes and read results
// are stored in the ItemValueRecords their client handles name; the rest is acknowledged.
#pragma once

#include <windows.h>

#include "entry/com_object.h"
#include "opcda.h"

namespace pelorin {

class DataCallbackSink final : public ComObject<IOPCDataCallback> {
public:
    DataCallbackSink() = default; // made by MakeComObject

    STDMETHODIMP OnDataChange(DWORD transaction, OPCHANDLE group, HRESULT masterQuality,
                              HRESULT masterError, DWORD count, OPCHANDLE* clientHandles,
                              VARIANT* values, WORD* qualities, FILETIME* timestamps,
                              HRESULT* errors) override;
    STDMETHODIMP OnReadComplete(DWORD transaction, OPCHANDLE group, HRESULT masterQuality,
                                HRESULT masterError, DWORD count, OPCHANDLE* clientHandles,
                                VARIANT* values, WORD* qualities, FILETIME* timestamps,
                                HRESULT* errors) override;
    STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override {
        return S_OK;
    }
    STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }

private:
    ~DataCallbackSink() override = default; // only Release destroys it
    static void StoreItems(DWORD count, const OPCHANDLE* clientHandles, const VARIANT* values,
                           const WORD* qualities, const FILETIME* timestamps,
                           const HRESULT* errors);
};

} // namespace pelorin
