#include "fw/resources.h"

#include <algorithm>
#include <vector>

namespace fw {
namespace {

// Registered modules, newest first. The framework itself is searched after them.
std::vector<HMODULE>& Chain() {
    static std::vector<HMODULE> chain;
    return chain;
}

HMODULE FrameworkModule() {
    return ThisModule();
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

// Calls `visit` for `first`, every module of the chain and the framework, each once, until it
// answers true.
template <class Visit> bool ForEachModule(HMODULE first, Visit visit) {
    const HMODULE framework = FrameworkModule();
    if (first && visit(first))
        return true;
    for (HMODULE module : Chain())
        if (module != first && visit(module))
            return true;
    return framework != first && visit(framework);
}

// The entry `id` of one module's string table (blocks of 16 counted UTF-16 texts, block id
// id / 16 + 1), checked against the block's size.
bool FindStringIn(HMODULE module, UINT id, const wchar_t*& text, size_t& length) {
    LANGID language = 0;
    HRSRC found = FindInModule(module, reinterpret_cast<LPCWSTR>(RT_STRING), id / 16 + 1, language);
    if (!found)
        return false;
    const auto* p = static_cast<const WCHAR*>(LockResource(LoadResource(module, found)));
    if (!p)
        return false;
    const WCHAR* end = p + SizeofResource(module, found) / sizeof(WCHAR);
    for (UINT i = 0; i < id % 16 && p < end; ++i)
        p += 1 + static_cast<size_t>(*p);
    if (p >= end || *p == 0 || static_cast<size_t>(end - p - 1) < *p)
        return false;
    text = p + 1;
    length = *p;
    return true;
}

} // namespace

LANGID PreferredLanguage() noexcept {
    return GetUserDefaultUILanguage();
}

bool InitExtensionModule(ExtensionModule& ext, HMODULE module) noexcept {
    if (!module || ext.initialized)
        return false;
    ext.module = module;
    ext.initialized = true;
    return true;
}

bool AddResourceModule(ExtensionModule& ext) noexcept {
    if (!ext.initialized || ext.inChain)
        return false;
    try {
        Chain().insert(Chain().begin(), ext.module);
    } catch (...) {
        return false; // out of memory: the chain is as it was
    }
    ext.inChain = true;
    return true;
}

void TermExtensionModule(ExtensionModule& ext) noexcept {
    if (ext.inChain) {
        auto& chain = Chain();
        chain.erase(std::remove(chain.begin(), chain.end(), ext.module), chain.end());
    }
    ext = ExtensionModule();
}

FoundResource FindChainResource(const wchar_t* type, UINT id, HMODULE first) noexcept {
    FoundResource result;
    ForEachModule(first, [&](HMODULE module) {
        LANGID language = 0;
        HRSRC found = FindInModule(module, type, id, language);
        if (!found)
            return false;
        result.module = module;
        result.resource = found;
        result.language = language;
        return true;
    });
    return result;
}

bool FindChainString(UINT id, const wchar_t*& text, size_t& length, HMODULE first) noexcept {
    return ForEachModule(first,
                         [&](HMODULE module) { return FindStringIn(module, id, text, length); });
}

} // namespace fw
