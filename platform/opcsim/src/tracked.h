// Reference counting shared by the simulator's COM objects: every change is reported to the
// server's Stats, and every live object holds the module.
#pragma once

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

protected:
    Tracked(std::shared_ptr<Stats> stats, const std::wstring& name) : stats_(std::move(stats)) {
        ModuleLock();
        stats_->ObjectCreated(this, name);
    }
    virtual ~Tracked() {
        stats_->ObjectDestroyed(this);
        ModuleUnlock();
    }

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

private:
    LONG references_ = 0;
};

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
