#include "session/stream_advise_sink.h"

#include "session/data_time_stream.h"
#include "session/item_value_record.h"

namespace pelorin {

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
    try {
        StoreStreamItems(static_cast<const BYTE*>(stream), GlobalSize(medium->hGlobal));
    } catch (...) {
        // Out of memory half-way: the items stored so far stay, the rest keep their values.
    }
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
