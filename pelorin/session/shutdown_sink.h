// Receives the server's shutdown request (IOPCShutdown) and keeps its reason. The session goes
// on as before: the request is only remembered.
#pragma once

#include <windows.h>

#include <string>

#include "opcda.h"

namespace pelorin {

class ShutdownSink final : public IOPCShutdown {
public:
    ShutdownSink() = default; // no reference yet; the creator takes the first
    ShutdownSink(const ShutdownSink&) = delete;
    ShutdownSink& operator=(const ShutdownSink&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP ShutdownRequest(LPCWSTR reason) override;

    // The last reason received, in the ANSI code page; empty until a request came.
    const std::string& Reason() const { return reason_; }

private:
    ~ShutdownSink() = default; // only Release destroys it

    LONG references_ = 0; // changed only atomically
    std::string reason_;
};

} // namespace pelorin
