#include "com_helpers.h"

#include <cstring>

namespace opctest {

namespace {
// The contexts our OPC client allows: in process, handler, local and remote (0x17).
const DWORD kContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
} // namespace

HRESULT CreateServer(const std::wstring& progId, REFIID riid, void** object) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr))
        return hr;
    // A local server that quits just as we reach it fails the activation in one of these
    // ways; the next attempt starts a new one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        hr = CoCreateInstance(clsid, nullptr, kContexts, riid, object);
        if (hr != RPC_E_DISCONNECTED && hr != HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) &&
            hr != CO_E_SERVER_STOPPING && hr != RPC_E_SERVER_DIED_DNE &&
            hr != REGDB_E_CLASSNOTREG && hr != CO_E_SERVER_EXEC_FAILURE)
            break;
    }
    return hr;
}

ComPtr<IOpcSimStats> StatsOf(IUnknown* server) {
    ComPtr<IOpcSimControl> control;
    ComPtr<IOpcSimStats> stats;
    if (server && SUCCEEDED(server->QueryInterface(IID_PPV_ARGS(&control))))
        control->GetStats(&stats);
    return stats;
}

Outstanding OutstandingOf(IOpcSimStats* stats) {
    Outstanding out;
    LONG objects, references, sinks;
    if (stats && SUCCEEDED(stats->GetOutstanding(&objects, &references, &sinks)))
        out = Outstanding{objects, references, sinks};
    return out;
}

long CallsOf(IOpcSimStats* stats, const wchar_t* method) {
    LONG count = -1;
    if (stats)
        stats->GetCallCount(method, &count);
    return count;
}

std::wstring ReportOf(IOpcSimStats* stats) {
    LPWSTR text = nullptr;
    if (!stats || FAILED(stats->GetReport(&text)) || !text)
        return L"(no report)";
    TaskString owned(text);
    return owned.get();
}

std::vector<std::wstring> ReadAll(IEnumString* names, ULONG batch, std::vector<ULONG>* batchSizes) {
    std::vector<std::wstring> out;
    std::vector<LPOLESTR> buffer(batch);
    for (;;) {
        ULONG fetched = 0;
        const HRESULT hr = names->Next(batch, buffer.data(), &fetched);
        if (FAILED(hr))
            break;
        if (batchSizes)
            batchSizes->push_back(fetched);
        for (ULONG i = 0; i < fetched && i < batch; ++i) {
            TaskString name(buffer[i]);
            out.push_back(name ? name.get() : L"(null)");
        }
        if (hr != S_OK)
            break;
    }
    return out;
}

std::vector<std::wstring> Browse(IOPCBrowseServerAddressSpace* browse, OPCBROWSETYPE type,
                                 const wchar_t* filter, HRESULT* result) {
    ComPtr<IEnumString> names;
    const HRESULT hr = browse->BrowseOPCItemIDs(type, filter, VT_EMPTY, 0, &names);
    if (result)
        *result = hr;
    if (FAILED(hr) || !names)
        return {};
    return ReadAll(names.Get(), 100);
}

bool PumpUntil(const std::function<bool()>& condition, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (condition())
            return true;
        const DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds)
            return false;
        // Conditions that change without a message (another thread, another process) are
        // looked at again soon.
        const DWORD left = milliseconds - spent;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 10 ? left : 10, QS_ALLINPUT);
    }
}

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
