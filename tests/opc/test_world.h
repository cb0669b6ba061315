// The world of the conformance tests: world.json registered in the prefix while any test
// process of this program runs (ctest runs each case as its own process, some in parallel),
// and COM initialised (single-threaded apartment) for the test thread.
#pragma once

#include <string>

namespace opctest {

// The DOS form of a Unix path of the build machine.
std::wstring DosPath(const std::string& unixPath);

// One server of the test's own, with a fresh class id and ProgID, registered while the object
// lives: for servers whose process dies or stalls, which must not share world.json's local
// server process with other tests. `members` are more JSON members of the server
// ("activation", "faults", ...).
class PrivateServer {
public:
    explicit PrivateServer(const std::string& members);
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    bool Ready() const { return ready_; }
    const std::wstring& ProgId() const { return progId_; }

private:
    bool ready_ = false;
    std::wstring file_;
    std::wstring progId_;
};

} // namespace opctest
