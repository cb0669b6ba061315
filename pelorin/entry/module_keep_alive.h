// Keeps a module loaded while COM objects of its own are alive.
//
// A server may keep one of our sinks after a failed Unadvise (the standard allows it) and call
// it, or only release it, after the host has freed the plug-in. So the first live object takes
// a reference on the module, and the host's FreeLibrary can no longer unmap the code that the
// object runs.
//
// Giving that reference back is the delicate part. The last Release runs in this module; had it
// called FreeLibrary on the module, the return from FreeLibrary, from the destructor and from
// Release would run in code that was just unmapped. So the reference is given back only where
// somebody else is known to hold the module: at the end of a call from the host (OnCfgIoDev),
// while the host's own load reference keeps us mapped, and only when no object lives any more.
// If the last object goes after the host has let go, the reference is never given back and the
// module stays loaded until the process ends: a few pages, against a crash.
#pragma once

#include <windows.h>

namespace pelorin {

class ModuleKeepAlive {
public:
    explicit ModuleKeepAlive(HMODULE module) : module_(module) {}
    ModuleKeepAlive(const ModuleKeepAlive&) = delete;
    ModuleKeepAlive& operator=(const ModuleKeepAlive&) = delete;

    // Every COM object of the module calls these from its constructor and destructor. Objects
    // are made on the host's thread; the last Release may come on any thread.
    void ObjectCreated();
    void ObjectDestroyed();

    long LiveObjects() const { return live_; }
    // What DllCanUnloadNow would answer: no object of ours is alive.
    bool CanUnloadNow() const { return live_ == 0; }
    // Whether the module reference of the live objects is held.
    bool HoldsModule() const { return held_ != 0; }

    // Gives the module reference back when no object lives. Call it only while another
    // reference is known to keep the module mapped (on the host's thread, inside its call).
    void ReleaseIfIdle();

private:
    const HMODULE module_;
    volatile LONG live_ = 0;
    volatile LONG held_ = 0;
};

// The keep-alive of the module that holds this code: pelorin.dll in the product, the program
// itself in a test that links the plug-in's logic.
ModuleKeepAlive& ThisModule();

} // namespace pelorin
