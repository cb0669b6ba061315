#include "module.h"

#include <windows.h>

namespace opcsim {
namespace {
volatile LONG g_locks = 0;
void (*volatile g_idle)() = nullptr;
void (*volatile g_quit)() = nullptr;
void (*volatile g_death)() = nullptr;
} // namespace

void ModuleLock() {
    InterlockedIncrement(&g_locks);
}

void ModuleUnlock() {
    if (InterlockedDecrement(&g_locks) == 0 && g_idle)
        g_idle();
}

long ModuleLockCount() {
    return g_locks;
}

void SetModuleIdleCallback(void (*callback)()) {
    g_idle = callback;
}

void SetProcessQuitCallback(void (*callback)()) {
    g_quit = callback;
}

bool OwnProcess() {
    return g_quit != nullptr;
}

void QuitOwnProcess() {
    if (void (*quit)() = g_quit)
        quit();
}

void SetProcessDeathCallback(void (*callback)()) {
    g_death = callback;
}

void BeforeOwnProcessDies() {
    if (void (*death)() = g_death)
        death();
}

} // namespace opcsim
