#include "sim_server.h"

namespace simtest {

namespace {
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

ComPtr<IOpcSimControl> ControlOf(IUnknown* server) {
    ComPtr<IOpcSimControl> control;
    if (server)
        server->QueryInterface(IID_PPV_ARGS(&control));
    return control;
}

ComPtr<IOpcSimStats> StatsOf(IUnknown* server) {
    ComPtr<IOpcSimStats> stats;
    if (ComPtr<IOpcSimControl> control = ControlOf(server))
        control->GetStats(&stats);
    return stats;
}

long CallsOf(IOpcSimStats* stats, const wchar_t* method) {
    LONG count = -1;
    if (stats)
        stats->GetCallCount(method, &count);
    return count;
}

Outstanding OutstandingOf(IOpcSimStats* stats) {
    Outstanding out;
    LONG objects, references, sinks;
    if (stats && SUCCEEDED(stats->GetOutstanding(&objects, &references, &sinks)))
        out = Outstanding{objects, references, sinks};
    return out;
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

} // namespace simtest
