#include "pump.h"

namespace simtest {

bool PumpUntil(const std::function<bool()>& condition, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (condition())
            return true;
        const DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds)
            return false;
        // Conditions that change without a message (another thread, another process) are
        // looked at again soon.
        const DWORD left = milliseconds - spent;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 10 ? left : 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

} // namespace simtest
