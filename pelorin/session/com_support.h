// Small pieces every COM client part of the plug-in shares.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <memory>

namespace pelorin {

// Where a server object may live when this computer creates it: in process, in a handler, in a
// local server or (through the class's registration) on another computer.
constexpr DWORD kAnyServerContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
static_assert(kAnyServerContext == 0x17, "the four contexts together");

struct CoTaskMemDeleter {
    void operator()(void* block) const noexcept { CoTaskMemFree(block); }
};

// A string a server handed out, freed with CoTaskMemFree on every path.
using TaskString = std::unique_ptr<wchar_t, CoTaskMemDeleter>;

} // namespace pelorin
