// Lifetime of the module that serves the simulated objects: a count of live objects and server
// locks. The DLL answers DllCanUnloadNow from it; the local-server EXE quits when it drops to 0.
#pragma once

namespace opcsim {

void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();
// Called (on the thread that dropped the last lock) when the count returns to 0.
void SetModuleIdleCallback(void (*callback)());

// The local-server EXE is a process of our own: a server may end it. It sets how it is asked to
// leave at once (from any thread); the DLL, a guest in its client's process, sets none.
void SetProcessQuitCallback(void (*callback)());
bool OwnProcess();
// Asks our own process to leave now; nothing in a client's process.
void QuitOwnProcess();
// What our own process does just before it ends abruptly (from any thread; it may not return).
void SetProcessDeathCallback(void (*callback)());
void BeforeOwnProcessDies();

} // namespace opcsim
