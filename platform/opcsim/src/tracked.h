// Reference counting shared by the simulator's COM objects: every change is reported to the
// server's Stats, and every live object holds the module. Every call of a method goes through
// Enter, which counts it and plays the server's timing faults (a late answer, a process that
// dies in the middle of the call).
#pragma once

#include "config.h"
#include "module.h"
#include "stats.h"

#include <ole2.h>
#include <windows.h>

#include <memory>
#include <new>
#include <string>

namespace opcsim {

class Tracked {
public:
    Tracked(const Tracked&) = delete;
    Tracked& operator=(const Tracked&) = delete;

    // A new reference to the object, unless it is already on its way out (count 0).
    IUnknown* TryAcquire() const {
        for (LONG count = references_; count > 0; count = references_)
            if (InterlockedCompareExchange(&references_, count + 1, count) == count)
                return const_cast<Tracked*>(this)->Identity();
        return nullptr;
    }

protected:
    Tracked(std::shared_ptr<Stats> stats, std::shared_ptr<const ServerConfig> config,
            const std::wstring& name)
        : stats_(std::move(stats)), config_(std::move(config)) {
        ModuleLock();
        stats_->ObjectCreated(this, name);
    }
    virtual ~Tracked() {
        stats_->ObjectDestroyed(this);
        ModuleUnlock();
    }

    // The object's IUnknown.
    virtual IUnknown* Identity() = 0;
    // Counts a call of the method ("IOPCServer::AddGroup") and plays the faults the world
    // sets for it: the process ends here, the answer comes late, or the server calls its
    // clients back before it answers ("during").
    void Enter(const wchar_t* method);

    ULONG AddRefTracked() {
        const LONG count = InterlockedIncrement(&references_);
        stats_->ReferencesChanged(this, count);
        return static_cast<ULONG>(count);
    }
    ULONG ReleaseTracked() {
        const LONG count = InterlockedDecrement(&references_);
        if (count == 0) {
            delete this;
            return 0;
        }
        stats_->ReferencesChanged(this, count);
        return static_cast<ULONG>(count);
    }

    std::shared_ptr<Stats> stats_;
    std::shared_ptr<const ServerConfig> config_;

private:
    mutable LONG references_ = 0;
};

// Ends this process at once, as a crash would, when it is a local server's process of our own;
// elsewhere (a client that loaded the servers in process) it does nothing.
void DieAbruptly();

// Runs a COM method body; no exception leaves it.
template <class Body> HRESULT Guarded(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// A copy of a string in task memory, as out-parameters hand them to the caller.
inline LPWSTR TaskString(const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (copy)
        memcpy(copy, text.c_str(), bytes);
    return copy;
}

} // namespace opcsim
