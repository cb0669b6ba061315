#include "session/stream_advise_sink.h"

#include "session/data_time_stream.h"
#include "session/item_value_record.h"

namespace pelorin {

STDMETHODIMP StreamAdviseSink::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IAdviseSink) {
        *object = static_cast<IAdviseSink*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) StreamAdviseSink::AddRef() {
    return ++references_;
}

STDMETHODIMP_(ULONG) StreamAdviseSink::Release() {
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP_(void) StreamAdviseSink::OnDataChange(FORMATETC* format, STGMEDIUM* medium) {
    if (!format || !medium || format->tymed != TYMED_HGLOBAL)
        return;
    // The handle is read from the medium's union only when the medium says it holds one.
    if (medium->tymed != TYMED_HGLOBAL || !medium->hGlobal)
        return;
    if (format->cfFormat != static_cast<CLIPFORMAT>(dataTimeFormat_))
        return;
    const void* stream = GlobalLock(medium->hGlobal);
    if (!stream)
        return;
    // The medium stays the caller's; only what the lock gave is read.
    StoreStreamItems(static_cast<const BYTE*>(stream), GlobalSize(medium->hGlobal));
    GlobalUnlock(medium->hGlobal);
}

size_t StreamAdviseSink::StoreStreamItems(const BYTE* data, size_t size) {
    const DataTimeStream stream(data, size);
    size_t stored = 0;
    const size_t count = stream.ItemCount();
    for (size_t i = 0; i < count; ++i) {
        const StreamItemHeader header = stream.Header(i);
        ItemValueRecord* record = FindItemValueRecord(header.client);
        if (!record)
            continue;
        VARIANT value;
        if (stream.ReadValue(header, value) != ValueCheck::Ok)
            continue; // a refused item leaves its record alone; the others still count
        record->Store(value, header.quality, header.timestamp);
        ++stored;
    }
    return stored;
}

} // namespace pelorin
