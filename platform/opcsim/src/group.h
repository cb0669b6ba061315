// An OPC group of a simulated server: IOPCGroupStateMgt, the IOPCDataCallback connection point
// (OPC DA 2.0) and IDataObject with the DA 1.0 stream subscriptions. No items: it sends the
// notifications a test asks for (IOpcSimControl), the ADVF_PRIMEFIRST one, and, when its world
// makes it lively, its own at its update rate (notifier.h). Strict as real DA 2.0 servers are:
// one IOPCDataCallback connection, the DA 1.0 and 2.0 mechanisms not mixed on one group, one
// stream subscription per format, and the whole FORMATETC checked.
#pragma once

#include "config.h"
#include "subscriptions.h"
#include "ticker.h"
#include "tracked.h"

#include "opcda.h"

#include <mutex>
#include <string>

namespace opcsim {

struct GroupState {
    std::wstring name;
    BOOL active = TRUE;
    DWORD updateRate = 1000;
    OPCHANDLE clientHandle = 0;
    OPCHANDLE serverHandle = 0;
    LONG timeBias = 0;
    FLOAT deadband = 0.0f;
    DWORD lcid = 0;
};

class Group final : public IOPCGroupStateMgt,
                    public IConnectionPointContainer,
                    public IDataObject,
                    private Tracked {
public:
    static Group* Create(std::shared_ptr<Stats> stats, std::shared_ptr<const ServerConfig> config,
                         const GroupState& state);

    std::wstring Name() const;
    OPCHANDLE ServerHandle() const { return serverHandle_; }
    // Notifications a test asks for.
    Subscriptions& Subscribers() { return *subscriptions_; }
    std::shared_ptr<Subscriptions> SubscriptionsShared() const { return subscriptions_; }
    // The server lets the clients' sinks go (before it disconnects them).
    void DropSinks() { subscriptions_->Clear(); }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefTracked(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseTracked(); }
    // IOPCGroupStateMgt
    STDMETHODIMP GetState(DWORD* updateRate, BOOL* active, LPWSTR* name, LONG* timeBias,
                          FLOAT* deadband, DWORD* lcid, OPCHANDLE* clientGroup,
                          OPCHANDLE* serverGroup) override;
    STDMETHODIMP SetState(DWORD* requestedRate, DWORD* revisedRate, BOOL* active, LONG* timeBias,
                          FLOAT* deadband, DWORD* lcid, OPCHANDLE* clientGroup) override;
    STDMETHODIMP SetName(LPCWSTR name) override;
    STDMETHODIMP CloneGroup(LPCWSTR name, REFIID riid, LPUNKNOWN* group) override;
    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;
    // IDataObject
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
    STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                         DWORD* connection) override;
    STDMETHODIMP DUnadvise(DWORD connection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** advises) override;

private:
    Group(std::shared_ptr<Stats> stats, std::shared_ptr<const ServerConfig> config,
          const GroupState& state);
    ~Group() override;
    IUnknown* Identity() override { return static_cast<IOPCGroupStateMgt*>(this); }

    const OPCHANDLE serverHandle_;
    mutable std::mutex mutex_;
    GroupState state_;
    std::shared_ptr<Subscriptions> subscriptions_;
    std::shared_ptr<Ticker> notifier_; // null unless the world makes the server lively
};

} // namespace opcsim
