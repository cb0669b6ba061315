// Texts of failed OPC calls: the caller's prefix, a blank, and the best description at hand —
// the system's text for the code, else the server's own (IOPCServer::GetErrorString), else a
// fixed one.
#pragma once

#include <windows.h>

#include <string>

#include "opcda.h"

namespace pelorin {

// `server` may be null (no server held).
std::string FormatOpcError(IOPCServer* server, const std::string& prefix, HRESULT error);

} // namespace pelorin
