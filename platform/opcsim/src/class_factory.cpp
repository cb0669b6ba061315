#include "class_factory.h"

#include "module.h"
#include "server.h"
#include "tracked.h"

namespace opcsim {
namespace {

class ClassFactory final : public IClassFactory {
public:
    ClassFactory(std::shared_ptr<const ServerConfig> config, bool holdsModule)
        : config_(std::move(config)), holdsModule_(holdsModule) {
        if (holdsModule_)
            ModuleLock();
    }
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
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

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (FAILED(config_->faults.createResult))
            return config_->faults.createResult;
        return Guarded([&]() -> HRESULT {
            Server* server = Server::Create(config_);
            server->AddRef();
            const HRESULT hr = server->QueryInterface(riid, object);
            server->Release();
            return hr;
        });
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            ModuleLock();
        else
            ModuleUnlock();
        return S_OK;
    }

private:
    ~ClassFactory() {
        if (holdsModule_)
            ModuleUnlock();
    }

    std::shared_ptr<const ServerConfig> config_;
    const bool holdsModule_;
    LONG references_ = 0;
};

} // namespace

HRESULT CreateClassFactory(std::shared_ptr<const ServerConfig> config, bool holdsModule,
                           REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    return Guarded([&]() -> HRESULT {
        auto* factory = new ClassFactory(std::move(config), holdsModule);
        factory->AddRef();
        const HRESULT hr = factory->QueryInterface(riid, object);
        factory->Release();
        return hr;
    });
}

} // namespace opcsim
