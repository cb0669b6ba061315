// Resource lookup through the chain of registered modules. A plug-in registers itself as an
// extension module when it is loaded, so that its dialogs, strings and bitmaps are found.
//
// Several plug-ins may be loaded at once and use the same ids, so a lookup names the module it
// comes from: that module is searched first, then the chain (newest registration first), then
// the framework itself. The default is the module whose code makes the call.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "fw/export.h"

// Provided by the linker in every module: the module's own base address.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace fw {

// The module this code is compiled into (a default argument evaluates it at the call site).
inline HMODULE ThisModule() {
    return reinterpret_cast<HMODULE>(&__ImageBase);
}

struct ExtensionModule {
    HMODULE module = nullptr;
    bool initialized = false;
    bool inChain = false;
};

// Records the module; fails for a null handle or a module already initialised.
FW_API bool InitExtensionModule(ExtensionModule& ext, HMODULE module) noexcept;
// Puts the module at the front of the resource chain (searched before older entries); false
// when it is not initialised, already in the chain, or memory ran out.
FW_API bool AddResourceModule(ExtensionModule& ext) noexcept;
// Leaves the chain and forgets the module.
FW_API void TermExtensionModule(ExtensionModule& ext) noexcept;

struct FoundResource {
    HMODULE module = nullptr;
    HRSRC resource = nullptr;
    LANGID language = 0;
};

// Finds a resource by integer id in `first` (when not null), then in the chain, preferring the
// user's UI language, then neutral, then English, then whatever language the module has.
FW_API FoundResource FindChainResource(const wchar_t* type, UINT id,
                                       HMODULE first = ThisModule()) noexcept;
// String table entry `id` in the preferred language, searched like FindChainResource: `text`
// points into the resource's own memory (valid while its module is loaded, not terminated) and
// `length` counts its UTF-16 units. False when no module has a non-empty entry.
FW_API bool FindChainString(UINT id, const wchar_t*& text, size_t& length,
                            HMODULE first = ThisModule()) noexcept;
// The user's UI language that the lookups prefer.
FW_API LANGID PreferredLanguage() noexcept;

// The entry as a string of the caller's; false (text unchanged) when no module has it.
inline bool LoadChainString(UINT id, std::wstring& text, HMODULE first = ThisModule()) {
    const wchar_t* found = nullptr;
    size_t length = 0;
    if (!FindChainString(id, found, length, first))
        return false;
    text.assign(found, length);
    return true;
}

} // namespace fw
