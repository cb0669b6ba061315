// The worlds this process has read, by file, so that every activation of a class finds its
// configuration without parsing the file again (unless the file changed).
#pragma once

#include "config.h"

#include <memory>

namespace opcsim {

// The configuration of a registered simulated class, or null.
std::shared_ptr<const ServerConfig> FindRegisteredServer(const CLSID& clsid);
// A world by file, read once per change of the file.
std::shared_ptr<const World> CachedWorld(const std::wstring& file, std::string& error);

} // namespace opcsim
