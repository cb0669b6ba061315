#include "session/shutdown_sink.h"

#include "session/ansi_text.h"

namespace pelorin {

STDMETHODIMP ShutdownSink::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOPCShutdown) {
        *object = static_cast<IOPCShutdown*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ShutdownSink::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

STDMETHODIMP_(ULONG) ShutdownSink::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP ShutdownSink::ShutdownRequest(LPCWSTR reason) {
    try {
        reason_ = WideToAnsi(reason); // a null reason reads as empty
    } catch (...) {
        // Out of memory: the earlier reason stays. The server is told nothing either way.
    }
    return S_OK;
}

} // namespace pelorin
