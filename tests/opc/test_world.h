// The world of the conformance tests: world.json registered in the prefix while any test
// process of this program runs (ctest runs each case as its own process, some in parallel),
// and COM initialised (single-threaded apartment) for the test thread.
#pragma once

#include <string>

namespace opctest {

// The DOS form of a Unix path of the build machine.
std::wstring DosPath(const std::string& unixPath);

} // namespace opctest
