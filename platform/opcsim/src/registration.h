// Registration of a simulated world in the registry (the test prefix's), and its removal.
// What was written is recorded per world file under HKLM\Software\OpcSim\Worlds, so that its
// removal takes out exactly that; several test sets may have their worlds registered at once.
#pragma once

#include "config.h"

#include <string>

namespace opcsim {

struct Binaries {
    std::wstring inprocDll;   // opcsim.dll
    std::wstring localServer; // opcsimsrv.exe
};

// Replaces what the same file registered before. worldFile is the path the servers read at
// activation.
bool RegisterWorld(const World& world, const std::wstring& worldFile, const Binaries& binaries,
                   std::string& error);
void UnregisterWorld(const std::wstring& worldFile);
void UnregisterAllWorlds();

// Writes a string value, creating the key; false when the registry refuses.
bool SetRegistryString(HKEY root, const std::wstring& path, const wchar_t* name,
                       const std::wstring& value);

// The world file registered for a class (HKCR\CLSID\{clsid}\OpcSim, value Config), if any.
std::wstring RegisteredWorldFile(const CLSID& clsid);
// The forced result of the server browser's EnumClassesOfCategories (S_OK when none).
HRESULT RegisteredBrowserEnumResult();

} // namespace opcsim
