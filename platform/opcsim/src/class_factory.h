// The class object of one simulated server class.
#pragma once

#include "config.h"

#include <unknwn.h>

#include <functional>
#include <memory>

namespace opcsim {

// Finds the configuration to create an object with, at each creation; null refuses it.
using ConfigResolver = std::function<std::shared_ptr<const ServerConfig>()>;

// holdsModule: the DLL's class objects keep it loaded while they live; the EXE's are held by
// COM for the whole run and must not keep it running.
HRESULT CreateClassFactory(std::shared_ptr<const ServerConfig> config, bool holdsModule,
                           REFIID riid, void** object);
HRESULT CreateClassFactory(ConfigResolver resolve, bool holdsModule, REFIID riid, void** object);

} // namespace opcsim
