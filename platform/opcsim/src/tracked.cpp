#include "tracked.h"

namespace opcsim {

void DieAbruptly() {
    if (OwnProcess())
        TerminateProcess(GetCurrentProcess(), 3);
}

void Tracked::Enter(const wchar_t* method) {
    long calls = 0;
    try {
        calls = stats_->Count(method);
    } catch (...) {
        return; // out of memory for a counter: the call goes on uncounted
    }
    const Faults& faults = config_->faults;
    if (!faults.dieAt.empty() && faults.dieAt == method &&
        calls == static_cast<long>(faults.dieCall))
        DieAbruptly();
    if (const DWORD delay = faults.DelayOf(method))
        Sleep(delay); // a server that is busy: nothing of it answers meanwhile on this thread
}

} // namespace opcsim
