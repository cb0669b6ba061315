#include "entry/module_keep_alive.h"

namespace pelorin {
namespace {

HMODULE ModuleOfThisCode() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleOfThisCode), &module);
    return module;
}

} // namespace

void ModuleKeepAlive::ObjectCreated() {
    InterlockedIncrement(&live_);
    if (InterlockedCompareExchange(&held_, 1, 0) != 0)
        return; // the reference of earlier objects is still held
    // One more load reference on the module, named by an address inside its image.
    HMODULE same = nullptr;
    if (!module_ || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                        reinterpret_cast<LPCWSTR>(module_), &same))
        InterlockedExchange(&held_, 0);
}

void ModuleKeepAlive::ObjectDestroyed() {
    // Never a FreeLibrary here: this runs in the module's own code (see the header).
    InterlockedDecrement(&live_);
}

void ModuleKeepAlive::ReleaseIfIdle() {
    if (live_ != 0)
        return;
    if (InterlockedExchange(&held_, 0) != 0)
        FreeLibrary(module_);
}

ModuleKeepAlive& ThisModule() {
    static ModuleKeepAlive keepAlive(ModuleOfThisCode());
    return keepAlive;
}

} // namespace pelorin
