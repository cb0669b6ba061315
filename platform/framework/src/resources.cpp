#include "fw/resources.h"

#include <algorithm>
#include <vector>

namespace fw {
namespace {

// Front of the vector is searched first. The framework itself is always last.
std::vector<HMODULE>& Chain() {
    static std::vector<HMODULE> chain;
    return chain;
}

HMODULE FrameworkModule() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&FrameworkModule), &self);
    return self;
}

std::vector<HMODULE> SearchOrder() {
    std::vector<HMODULE> order = Chain();
    order.push_back(FrameworkModule());
    return order;
}

BOOL CALLBACK FirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    *reinterpret_cast<WORD*>(param) = language;
    return FALSE; // the first one is enough
}

HRSRC FindInModule(HMODULE module, const wchar_t* type, UINT id, LANGID& language) {
    const LANGID preferred = PreferredLanguage();
    const LANGID candidates[] = {preferred, MAKELANGID(PRIMARYLANGID(preferred), SUBLANG_NEUTRAL),
                                 MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                 MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)};
    for (LANGID candidate : candidates) {
        if (HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), candidate)) {
            language = candidate;
            return found;
        }
    }
    WORD any = 0xFFFF;
    EnumResourceLanguagesW(module, type, MAKEINTRESOURCEW(id), FirstLanguage,
                           reinterpret_cast<LONG_PTR>(&any));
    if (any != 0xFFFF) {
        language = any;
        return FindResourceExW(module, type, MAKEINTRESOURCEW(id), any);
    }
    return nullptr;
}

} // namespace

LANGID PreferredLanguage() {
    return GetUserDefaultUILanguage();
}

bool InitExtensionModule(ExtensionModule& ext, HMODULE module) {
    if (!module || ext.initialized)
        return false;
    ext.module = module;
    ext.initialized = true;
    return true;
}

bool AddResourceModule(ExtensionModule& ext) {
    if (!ext.initialized || ext.inChain)
        return false;
    Chain().insert(Chain().begin(), ext.module);
    ext.inChain = true;
    return true;
}

void TermExtensionModule(ExtensionModule& ext) {
    if (ext.inChain) {
        auto& chain = Chain();
        chain.erase(std::remove(chain.begin(), chain.end(), ext.module), chain.end());
    }
    ext = ExtensionModule();
}

FoundResource FindChainResource(const wchar_t* type, UINT id) {
    FoundResource result;
    for (HMODULE module : SearchOrder()) {
        LANGID language = 0;
        if (HRSRC found = FindInModule(module, type, id, language)) {
            result.module = module;
            result.resource = found;
            result.language = language;
            return result;
        }
    }
    return result;
}

bool LoadChainString(UINT id, std::wstring& text) {
    // Strings live in blocks of 16; the block id is id / 16 + 1, each entry a counted UTF-16 text.
    const UINT block = id / 16 + 1;
    for (HMODULE module : SearchOrder()) {
        LANGID language = 0;
        HRSRC found = FindInModule(module, reinterpret_cast<LPCWSTR>(RT_STRING), block, language);
        if (!found)
            continue;
        HGLOBAL loaded = LoadResource(module, found);
        const auto* p = static_cast<const WCHAR*>(LockResource(loaded));
        if (!p)
            continue;
        const DWORD size = SizeofResource(module, found) / sizeof(WCHAR);
        const WCHAR* end = p + size;
        for (UINT i = 0; i < id % 16 && p < end; ++i)
            p += 1 + *p;
        if (p < end && *p != 0 && p + 1 + *p <= end) {
            text.assign(p + 1, *p);
            return true;
        }
    }
    return false;
}

} // namespace fw
