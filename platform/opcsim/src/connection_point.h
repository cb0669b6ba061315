// A connection point of a server (IOPCShutdown) or a group (IOPCDataCallback). Each
// FindConnectionPoint hands out a new one that holds its container and shares the container's
// sink list, so there is no reference cycle between them. Its container says what else it
// checks and does (ConnectionHooks).
#pragma once

#include "config.h"
#include "sink_list.h"
#include "tracked.h"

#include <ocidl.h>

#include <functional>
#include <memory>
#include <string>

namespace opcsim {

struct ConnectionHooks {
    std::function<HRESULT()> admit;      // refuses a new sink with a failure code
    std::function<void(DWORD)> onAdvise; // after a sink was taken, with its cookie
    SinkList::Call lateCall;             // the call a kept sink gets (faults.keepSinks)
};

class ConnectionPoint final : public IConnectionPoint, private Tracked {
public:
    // interfaceName names the sink interface in counters and forced results ("Advise:<name>").
    static ConnectionPoint* Create(std::shared_ptr<Stats> stats,
                                   std::shared_ptr<const ServerConfig> config,
                                   IConnectionPointContainer* container, REFIID iid,
                                   const std::wstring& interfaceName,
                                   std::shared_ptr<SinkList> sinks, ConnectionHooks hooks = {});

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefTracked(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseTracked(); }
    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

private:
    ConnectionPoint(std::shared_ptr<Stats> stats, std::shared_ptr<const ServerConfig> config,
                    IConnectionPointContainer* container, REFIID iid,
                    const std::wstring& interfaceName, std::shared_ptr<SinkList> sinks,
                    ConnectionHooks hooks);
    ~ConnectionPoint() override;
    IUnknown* Identity() override { return static_cast<IConnectionPoint*>(this); }

    IConnectionPointContainer* container_; // one reference
    const IID iid_;
    const std::wstring interfaceName_;
    std::shared_ptr<SinkList> sinks_;
    ConnectionHooks hooks_;
};

} // namespace opcsim
