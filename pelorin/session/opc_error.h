// Texts of failed COM and OPC calls: the caller's prefix, a blank, and the best description at
// hand: the system's text for the code, else the server's own (IOPCServer::GetErrorString),
// else a fixed one.
#pragma once

#include <windows.h>

#include <string>

#include "opcda.h"

namespace pelorin {

// The system's message text for a code (FormatMessageA, at most 260 bytes); empty when the
// system has none.
std::string SystemErrorText(HRESULT code);

// The prefix, a blank and the system's text for the code, or "Unknown Error.".
std::string FormatComError(const std::string& prefix, HRESULT code);

// As FormatComError, but a code the system does not know is described by the server (`server`
// may be null: no server held).
std::string FormatOpcError(IOPCServer* server, const std::string& prefix, HRESULT error);

} // namespace pelorin
