// IOpcSimStats: a test's view of one server's Stats. It holds the module (so a local server
// stays up while a test reads it) but no reference to any simulated object.
#pragma once

#include "stats.h"

#include "opcsimctl.h"

#include <memory>

namespace opcsim {

HRESULT CreateStatsObject(std::shared_ptr<Stats> stats, IOpcSimStats** object);

} // namespace opcsim
