// Receives the OPC Data Access 1.0 stream notifications (IAdviseSink) and stores the items of
// "OPCSTMFORMATDATATIME" streams in their ItemValueRecords. Other formats, the write-complete
// stream among them, are ignored.
#pragma once

#include <windows.h>
// after windows.h
#include <objidl.h>

#include "entry/com_object.h"

namespace pelorin {

class StreamAdviseSink final : public ComObject<IAdviseSink> {
public:
    // `dataTimeFormat`: the clipboard format id registered for "OPCSTMFORMATDATATIME".
    // Made by MakeComObject.
    explicit StreamAdviseSink(UINT dataTimeFormat) : dataTimeFormat_(dataTimeFormat) {}

    STDMETHODIMP_(void) OnDataChange(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override {}

    // Stores every item of a locked stream whose handle names a record and whose value passes
    // the stream's checks; returns how many records changed.
    static size_t StoreStreamItems(const BYTE* stream, size_t size);

private:
    ~StreamAdviseSink() override = default; // only Release destroys it

    const UINT dataTimeFormat_;
};

} // namespace pelorin
