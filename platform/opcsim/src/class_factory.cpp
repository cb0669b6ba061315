#include "class_factory.h"

#include "module.h"
#include "server.h"
#include "single_interface.h"
#include "tracked.h"

namespace opcsim {
namespace {

class ClassFactory final : public SingleInterface<IClassFactory, IID_IClassFactory> {
public:
    ClassFactory(ConfigResolver resolve, bool holdsModule)
        : resolve_(std::move(resolve)), holdsModule_(holdsModule) {
        if (holdsModule_)
            ModuleLock();
    }


    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return Guarded([&]() -> HRESULT {
            std::shared_ptr<const ServerConfig> config = resolve_();
            if (!config)
                return CO_E_SERVER_STOPPING;
            if (FAILED(config->faults.createResult))
                return config->faults.createResult;
            Server* server = Server::Create(config);
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

    ConfigResolver resolve_;
    const bool holdsModule_;
};

} // namespace

HRESULT CreateClassFactory(std::shared_ptr<const ServerConfig> config, bool holdsModule,
                           REFIID riid, void** object) {
    return CreateClassFactory([config]() { return config; }, holdsModule, riid, object);
}

HRESULT CreateClassFactory(ConfigResolver resolve, bool holdsModule, REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    return Guarded([&]() -> HRESULT {
        auto* factory = new ClassFactory(std::move(resolve), holdsModule);
        factory->AddRef();
        const HRESULT hr = factory->QueryInterface(riid, object);
        factory->Release();
        return hr;
    });
}

} // namespace opcsim
