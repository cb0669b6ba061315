// One simulated OPC server of a test's own, registered with the simulator's tool for as long as
// the object lives: a class id and ProgID made for it, so that test processes running at the
// same time never share a server, and the address space and faults the test gives.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <string>

#include "opcda.h"
#include "opcsimctl.h"

namespace simtest {

class SimServer {
public:
    // `members`: more JSON members of the server, e.g. "\"space\": [...]" (required) and
    // "\"faults\": {...}".
    explicit SimServer(const std::string& members, const std::string& activation = "inproc");
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    bool Ready() const { return ready_; }
    const CLSID& ClassId() const { return clsid_; }
    const std::string& ProgId() const { return progId_; }

    // A new server object and its statistics (which outlive it).
    HRESULT Create(Microsoft::WRL::ComPtr<IOPCServer>& server,
                   Microsoft::WRL::ComPtr<IOpcSimStats>& stats) const;

private:
    bool ready_ = false;
    CLSID clsid_ = {};
    std::string progId_;
    std::wstring file_;
};

long Calls(IOpcSimStats* stats, const wchar_t* method);

} // namespace simtest
