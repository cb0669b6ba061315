// The world of the conformance tests: world.json registered in the prefix while any test
// process of this program runs (ctest runs each case as its own process, some in parallel),
// and COM initialised (single-threaded apartment) for the test thread.
#pragma once

#include <string>

#include "sim_world.h"

namespace opctest {

// One server of the test's own, with a fresh class id and ProgID and a small address space,
// registered while the object lives: for servers whose process dies or stalls, which must not
// share world.json's local server process with other tests. `members` are more JSON members of
// the server ("activation", "faults", ...).
class PrivateServer : public simtest::PrivateServer {
public:
    explicit PrivateServer(const std::string& members);
};

} // namespace opctest
