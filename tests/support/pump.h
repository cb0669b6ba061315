// Waiting as a dialog's loop waits: this thread's messages are dispatched meanwhile, so that COM
// delivers calls into its apartment.
#pragma once

#include <windows.h>

#include <functional>

namespace simtest {

// Long enough for a local server's first start under load; a condition that holds comes sooner.
constexpr DWORD kPatienceMs = 10000;

// Dispatches messages until the condition holds (true) or the time is up (false).
bool PumpUntil(const std::function<bool()>& condition, DWORD milliseconds = kPatienceMs);

// Dispatches messages for that long.
void PumpFor(DWORD milliseconds);

} // namespace simtest
