// Receives the server's shutdown request (IOPCShutdown) and keeps its reason. The session goes
// on as before: the request is only remembered.
#pragma once

#include <windows.h>

#include <string>

#include "entry/com_object.h"
#include "opcda.h"

namespace pelorin {

class ShutdownSink final : public ComObject<IOPCShutdown> {
public:
    ShutdownSink() = default; // made by MakeComObject

    STDMETHODIMP ShutdownRequest(LPCWSTR reason) override;

    // The last reason received, in the ANSI code page; empty until a request came.
    const std::string& Reason() const { return reason_; }

private:
    ~ShutdownSink() override = default; // only Release destroys it

    std::string reason_;
};

} // namespace pelorin
