#include "ticker.h"

#include "module.h"

#include <ole2.h>

#include <map>
#include <mutex>

namespace opcsim {
namespace {

// Apartment timers by id; each entry holds its ticker until the timer is killed.
std::mutex g_timersMutex;
std::map<UINT_PTR, std::shared_ptr<Ticker>> g_timers;

struct ThreadStart {
    std::shared_ptr<Ticker> ticker;
    HMODULE pinned; // this module, kept loaded until the thread has left its code
};

} // namespace

bool InMultithreadedApartment() {
    APTTYPE type = APTTYPE_STA;
    APTTYPEQUALIFIER qualifier;
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && type == APTTYPE_MTA;
}

Ticker::Ticker(bool ownThread, DWORD periodMs, Job job)
    : ownThread_(ownThread), period_(periodMs), job_(std::move(job)) {}

Ticker::~Ticker() {
    if (wake_)
        CloseHandle(wake_);
}

std::shared_ptr<Ticker> Ticker::Start(bool ownThread, DWORD periodMs, Job job) {
    std::shared_ptr<Ticker> ticker(new Ticker(ownThread, periodMs, std::move(job)));
    ModuleLock(); // given back when the timer is killed or the thread ends
    if (!ownThread) {
        ticker->owner_ = GetCurrentThreadId();
        ticker->timerPeriod_ = periodMs;
        std::lock_guard<std::mutex> lock(g_timersMutex);
        ticker->timer_ = SetTimer(nullptr, 0, periodMs, OnTimer);
        if (!ticker->timer_) {
            ModuleUnlock();
            return nullptr;
        }
        g_timers[ticker->timer_] = ticker;
        return ticker;
    }
    ticker->wake_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HMODULE pinned = nullptr;
    if (!ticker->wake_ ||
        !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&Ticker::ThreadMain), &pinned)) {
        ModuleUnlock();
        return nullptr;
    }
    auto* start = new ThreadStart{ticker, pinned};
    HANDLE thread = CreateThread(nullptr, 0, ThreadMain, start, 0, nullptr);
    if (!thread) {
        delete start;
        FreeLibrary(pinned);
        ModuleUnlock();
        return nullptr;
    }
    CloseHandle(thread);
    return ticker;
}

bool Ticker::Once(bool ownThread, DWORD afterMs, std::function<void()> job) {
    return Start(ownThread, afterMs, [job]() {
               job();
               return false;
           }) != nullptr;
}

void Ticker::SetPeriod(DWORD periodMs) {
    period_ = periodMs;
    if (wake_)
        SetEvent(wake_);
}

void Ticker::Stop() {
    stopped_ = true;
    if (wake_)
        SetEvent(wake_);
    else if (GetCurrentThreadId() == owner_ && !running_)
        Forget();
    // Otherwise the timer finds the ticker stopped the next time it fires.
}

bool Ticker::RunJob() {
    try {
        return job_();
    } catch (...) {
        return false;
    }
}

void Ticker::Forget() {
    std::shared_ptr<Ticker> self;
    {
        std::lock_guard<std::mutex> lock(g_timersMutex);
        auto found = g_timers.find(timer_);
        if (found == g_timers.end())
            return;
        self = found->second;
        g_timers.erase(found);
    }
    KillTimer(nullptr, timer_);
    ModuleUnlock();
    // `self` may hold the last reference: nothing of this object is used after here.
}

void CALLBACK Ticker::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    std::shared_ptr<Ticker> ticker;
    {
        std::lock_guard<std::mutex> lock(g_timersMutex);
        auto found = g_timers.find(id);
        if (found != g_timers.end())
            ticker = found->second;
    }
    if (!ticker) {
        KillTimer(nullptr, id);
        return;
    }
    // A job that calls a client waits in a modal loop, where the timer can fire again.
    if (ticker->running_)
        return;
    bool more = false;
    if (!ticker->stopped_) {
        ticker->running_ = true;
        more = ticker->RunJob();
        ticker->running_ = false;
    }
    if (!more || ticker->stopped_) {
        ticker->Forget();
        return;
    }
    const DWORD period = ticker->period_;
    if (period != ticker->timerPeriod_) {
        std::lock_guard<std::mutex> lock(g_timersMutex);
        const UINT_PTR renewed = SetTimer(nullptr, 0, period, OnTimer);
        if (renewed) {
            KillTimer(nullptr, ticker->timer_);
            g_timers.erase(ticker->timer_);
            ticker->timer_ = renewed;
            ticker->timerPeriod_ = period;
            g_timers[renewed] = ticker;
        }
    }
}

DWORD WINAPI Ticker::ThreadMain(void* parameter) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
    const HMODULE pinned = start->pinned;
    {
        std::shared_ptr<Ticker> ticker = std::move(start->ticker);
        start.reset();
        const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        while (!ticker->stopped_) {
            const DWORD woken = WaitForSingleObject(ticker->wake_, ticker->period_);
            if (ticker->stopped_)
                break;
            if (woken == WAIT_OBJECT_0) { // a new period: wait it from now
                ResetEvent(ticker->wake_);
                continue;
            }
            if (!ticker->RunJob())
                break;
        }
        if (com)
            CoUninitialize();
    }
    ModuleUnlock();
    FreeLibraryAndExitThread(pinned, 0);
}

} // namespace opcsim
