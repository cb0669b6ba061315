#include "tracked.h"

namespace opcsim {

void DieAbruptly() {
    if (!OwnProcess())
        return;
    BeforeOwnProcessDies();
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
    for (const DuringCall& during : faults.during) {
        if (during.at != method || (during.call != 0 && calls != static_cast<long>(during.call)))
            continue;
        try {
            stats_->RunDuringHook(during);
        } catch (...) {
            // Out of memory on the way to a client: the call goes on as if nothing was sent.
        }
    }
}

} // namespace opcsim
