// Work a simulated server does on its own clock rather than because a client called: a group's
// notifications at its update rate, a shutdown request, the late call of a kept sink, the end of
// a dying process. A server bound to its apartment does it from a thread timer of the thread
// that asked for it, so it happens whenever that thread dispatches messages (as with any
// single-threaded server, also while that thread waits in an outgoing COM call); a server with
// threads of its own does it on a thread of the multithreaded apartment, whatever its clients
// are doing meanwhile.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

namespace opcsim {

class Ticker {
public:
    // Returns whether to go on.
    using Job = std::function<bool()>;

    // Runs the job every periodMs (the first time periodMs from now) until it answers false or
    // the ticker is stopped. Null when no timer or thread could be had. The module stays
    // loaded while a ticker runs.
    static std::shared_ptr<Ticker> Start(bool ownThread, DWORD periodMs, Job job);
    // Runs the job once, afterMs from now; false when it cannot be scheduled.
    static bool Once(bool ownThread, DWORD afterMs, std::function<void()> job);

    ~Ticker();
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

    void SetPeriod(DWORD periodMs);
    // No run starts after this returns; a run in progress on another thread finishes.
    void Stop();

private:
    Ticker(bool ownThread, DWORD periodMs, Job job);
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD);
    static DWORD WINAPI ThreadMain(void* parameter);
    bool RunJob();
    void Forget(); // the apartment timer is killed and its registration dropped

    const bool ownThread_;
    std::atomic<DWORD> period_;
    std::atomic<bool> stopped_{false};
    Job job_;
    // Apartment timer: the thread that owns it, its id and the period it was set with.
    DWORD owner_ = 0;
    UINT_PTR timer_ = 0;
    DWORD timerPeriod_ = 0;
    bool running_ = false;
    // Own thread: woken early to stop or to take a new period.
    HANDLE wake_ = nullptr;
};

// Whether the calling thread is in the multithreaded apartment.
bool InMultithreadedApartment();

} // namespace opcsim
