#include "stats_object.h"

#include "module.h"
#include "tracked.h"

namespace opcsim {
namespace {

class StatsObject final : public IOpcSimStats {
public:
    explicit StatsObject(std::shared_ptr<Stats> stats) : stats_(std::move(stats)) { ModuleLock(); }
    StatsObject(const StatsObject&) = delete;
    StatsObject& operator=(const StatsObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOpcSimStats)) {
            *object = static_cast<IOpcSimStats*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&references_);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

    STDMETHODIMP GetCallCount(LPCWSTR method, LONG* count) override {
        if (!method || !count)
            return E_POINTER;
        return Guarded([&]() -> HRESULT {
            *count = stats_->CallCount(method);
            return S_OK;
        });
    }
    STDMETHODIMP GetOutstanding(LONG* objects, LONG* references, LONG* sinks) override {
        if (!objects || !references || !sinks)
            return E_POINTER;
        long o, r, s;
        stats_->Outstanding(o, r, s);
        *objects = o;
        *references = r;
        *sinks = s;
        return S_OK;
    }
    STDMETHODIMP GetObjectReferences(LPCWSTR namePrefix, LONG* references) override {
        if (!namePrefix || !references)
            return E_POINTER;
        return Guarded([&]() -> HRESULT {
            *references = stats_->ObjectReferences(namePrefix);
            return S_OK;
        });
    }
    STDMETHODIMP GetReport(LPWSTR* report) override {
        if (!report)
            return E_POINTER;
        return Guarded([&]() -> HRESULT {
            *report = TaskString(stats_->Report());
            return *report ? S_OK : E_OUTOFMEMORY;
        });
    }

private:
    ~StatsObject() { ModuleUnlock(); }

    std::shared_ptr<Stats> stats_;
    LONG references_ = 0;
};

} // namespace

HRESULT CreateStatsObject(std::shared_ptr<Stats> stats, IOpcSimStats** object) {
    if (!object)
        return E_POINTER;
    return Guarded([&]() -> HRESULT {
        auto* created = new StatsObject(std::move(stats));
        return created->QueryInterface(IID_IOpcSimStats, reinterpret_cast<void**>(object));
    });
}

} // namespace opcsim
