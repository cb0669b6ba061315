// Talking to a simulated server as a test does: creating it by ProgID, reaching its control and
// statistics, counting the calls it took and what it still holds of ours, and reading the names
// it hands out.
#pragma once

#include <objbase.h>
#include <windows.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

#include "opcda.h"
#include "opcsimctl.h"

namespace simtest {

using Microsoft::WRL::ComPtr;

struct TaskMemFree {
    void operator()(void* memory) const { CoTaskMemFree(memory); }
};
using TaskString = std::unique_ptr<wchar_t, TaskMemFree>;

// CoCreateInstance of the ProgID's class in the contexts our OPC client allows (in process,
// handler, local and remote: 0x17). A local server that was just quitting when we reached it is
// reached again.
HRESULT CreateServer(const std::wstring& progId, REFIID riid, void** object);

// The simulator's own interfaces of a server object (null when it has none).
ComPtr<IOpcSimControl> ControlOf(IUnknown* server);
// The statistics outlive the server object: they tell what it held after it is gone.
ComPtr<IOpcSimStats> StatsOf(IUnknown* server);

// How often the server took `method` ("Interface::Method"); -1 without statistics.
long CallsOf(IOpcSimStats* stats, const wchar_t* method);

// The server's objects, references and client sinks still held; -1 each when unknown.
struct Outstanding {
    long objects = -1, references = -1, sinks = -1;
    bool None() const { return objects == 0 && references == 0 && sinks == 0; }
};
Outstanding OutstandingOf(IOpcSimStats* stats);

// The counters as text, for the message of a failed check.
std::wstring ReportOf(IOpcSimStats* stats);

// Every name of an enumeration, fetched `batch` at a time, each freed; batchSizes gets what each
// Next gave.
std::vector<std::wstring> ReadAll(IEnumString* names, ULONG batch,
                                  std::vector<ULONG>* batchSizes = nullptr);
// The names BrowseOPCItemIDs lists at the current position (none when it fails).
std::vector<std::wstring> Browse(IOPCBrowseServerAddressSpace* browse, OPCBROWSETYPE type,
                                 const wchar_t* filter = L"*", HRESULT* result = nullptr);

} // namespace simtest
