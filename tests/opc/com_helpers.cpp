#include "com_helpers.h"

#include <cstring>

namespace opctest {

STDMETHODIMP ShutdownSink::ShutdownRequest(LPCWSTR text) {
    ++calls;
    reason = text ? text : L"(null)";
    thread = GetCurrentThreadId();
    return S_OK;
}

CallbackSink::~CallbackSink() {
    for (ReceivedValue& value : values)
        VariantClear(&value.value);
}

STDMETHODIMP CallbackSink::OnDataChange(DWORD, OPCHANDLE group, HRESULT, HRESULT, DWORD count,
                                        OPCHANDLE* handles, VARIANT* values_, WORD* qualities,
                                        FILETIME*, HRESULT* errors) {
    ++dataChanges;
    counts.push_back(count);
    thread = GetCurrentThreadId();
    if (thread != home)
        ++foreignThreadCalls;
    lastGroup = group;
    for (ReceivedValue& value : values)
        VariantClear(&value.value);
    values.assign(count, ReceivedValue{});
    for (DWORD i = 0; i < count; ++i) {
        values[i].handle = handles[i];
        VariantInit(&values[i].value);
        VariantCopy(&values[i].value, &values_[i]);
        values[i].quality = qualities[i];
        values[i].error = errors[i];
    }
    return S_OK;
}

STDMETHODIMP CallbackSink::OnReadComplete(DWORD transaction, OPCHANDLE group, HRESULT masterQuality,
                                          HRESULT masterError, DWORD count, OPCHANDLE* handles,
                                          VARIANT* values_, WORD* qualities, FILETIME* times,
                                          HRESULT* errors) {
    return OnDataChange(transaction, group, masterQuality, masterError, count, handles, values_,
                        qualities, times, errors);
}

STDMETHODIMP CallbackSink::OnWriteComplete(DWORD, OPCHANDLE group, HRESULT, DWORD count, OPCHANDLE*,
                                           HRESULT* errors) {
    ++writeCompletes;
    lastGroup = group;
    writeErrors.assign(errors, errors + count);
    return S_OK;
}

STDMETHODIMP CallbackSink::OnCancelComplete(DWORD, OPCHANDLE) {
    return S_OK;
}

STDMETHODIMP_(void) StreamSink::OnDataChange(FORMATETC* format, STGMEDIUM* medium) {
    Stream stream;
    stream.format = format ? format->cfFormat : 0;
    if (medium && medium->tymed == TYMED_HGLOBAL && medium->hGlobal) {
        const SIZE_T size = GlobalSize(medium->hGlobal);
        if (const void* data = GlobalLock(medium->hGlobal)) {
            stream.bytes.assign(static_cast<const BYTE*>(data),
                                static_cast<const BYTE*>(data) + size);
            GlobalUnlock(medium->hGlobal);
        }
    }
    received.push_back(stream);
}

CLIPFORMAT Format(const char* name) {
    return static_cast<CLIPFORMAT>(RegisterClipboardFormatA(name));
}

} // namespace opctest
