#include "stats_object.h"

#include "module.h"
#include "single_interface.h"
#include "tracked.h"

namespace opcsim {
namespace {

class StatsObject final : public SingleInterface<IOpcSimStats, IID_IOpcSimStats> {
public:
    explicit StatsObject(std::shared_ptr<Stats> stats) : stats_(std::move(stats)) { ModuleLock(); }


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
