// Lifetime of the module that serves the simulated objects: a count of live objects and server
// locks. The DLL answers DllCanUnloadNow from it; the local-server EXE quits when it drops to 0.
#pragma once

namespace opcsim {

void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();
// Called (on the thread that dropped the last lock) when the count returns to 0.
void SetModuleIdleCallback(void (*callback)());

} // namespace opcsim
