// Resource lookup through the chain of registered modules. A plug-in registers itself as an
// extension module when it is loaded, so that its dialogs, strings and bitmaps are found.
#pragma once

#include <windows.h>

#include <string>

#include "fw/export.h"

namespace fw {

struct ExtensionModule {
    HMODULE module = nullptr;
    bool initialized = false;
    bool inChain = false;
};

// Records the module; fails for a null handle or a module already initialised.
FW_API bool InitExtensionModule(ExtensionModule& ext, HMODULE module);
// Puts the module at the front of the resource chain (searched before older entries).
FW_API bool AddResourceModule(ExtensionModule& ext);
// Leaves the chain and forgets the module.
FW_API void TermExtensionModule(ExtensionModule& ext);

struct FoundResource {
    HMODULE module = nullptr;
    HRSRC resource = nullptr;
    LANGID language = 0;
};

// Finds a resource by integer id in the chain, preferring the user's UI language, then neutral,
// then English, then whatever language the module has.
FW_API FoundResource FindChainResource(const wchar_t* type, UINT id);
// String table entry in the preferred language; false when no module has it.
FW_API bool LoadChainString(UINT id, std::wstring& text);
// The user's UI language that the lookups prefer.
FW_API LANGID PreferredLanguage();

} // namespace fw
