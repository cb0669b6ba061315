#include "session/shutdown_sink.h"

#include "session/ansi_text.h"

namespace pelorin {

STDMETHODIMP ShutdownSink::ShutdownRequest(LPCWSTR reason) {
    try {
        reason_ = WideToAnsi(reason); // a null reason reads as empty
    } catch (...) {
        // Out of memory: the earlier reason stays. The server is told nothing either way.
    }
    return S_OK;
}

} // namespace pelorin
