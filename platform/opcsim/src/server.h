// A simulated OPC DA server object: IOPCServer, IOPCCommon, IOPCBrowseServerAddressSpace, the
// IOPCShutdown connection point and the test side interface IOpcSimControl, all behaving as its
// ServerConfig says (including the faults it is told to show).
#pragma once

#include "browse_cursor.h"
#include "config.h"
#include "sink_list.h"
#include "subscriptions.h"
#include "tracked.h"

#include "opcda.h"
#include "opcsimctl.h"

#include <map>
#include <memory>
#include <mutex>

namespace opcsim {

class Group;

class Server final : public IOPCServer,
                     public IOPCCommon,
                     public IOPCBrowseServerAddressSpace,
                     public IConnectionPointContainer,
                     public IOpcSimControl,
                     private Tracked {
public:
    // Created with no reference.
    static Server* Create(std::shared_ptr<const ServerConfig> config);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefTracked(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseTracked(); }
    // IOPCServer
    STDMETHODIMP AddGroup(LPCWSTR name, BOOL active, DWORD requestedRate, OPCHANDLE clientGroup,
                          LONG* timeBias, FLOAT* deadband, DWORD lcid, OPCHANDLE* serverGroup,
                          DWORD* revisedRate, REFIID riid, LPUNKNOWN* group) override;
    STDMETHODIMP GetErrorString(HRESULT error, LCID locale, LPWSTR* text) override;
    STDMETHODIMP GetGroupByName(LPCWSTR name, REFIID riid, LPUNKNOWN* group) override;
    STDMETHODIMP GetStatus(OPCSERVERSTATUS** status) override;
    STDMETHODIMP RemoveGroup(OPCHANDLE serverGroup, BOOL force) override;
    STDMETHODIMP CreateGroupEnumerator(OPCENUMSCOPE scope, REFIID riid, LPUNKNOWN* groups) override;
    // IOPCCommon
    STDMETHODIMP SetLocaleID(LCID lcid) override;
    STDMETHODIMP GetLocaleID(LCID* lcid) override;
    STDMETHODIMP QueryAvailableLocaleIDs(DWORD* count, LCID** lcids) override;
    STDMETHODIMP GetErrorString(HRESULT error, LPWSTR* text) override;
    STDMETHODIMP SetClientName(LPCWSTR name) override;
    // IOPCBrowseServerAddressSpace
    STDMETHODIMP QueryOrganization(OPCNAMESPACETYPE* type) override;
    STDMETHODIMP ChangeBrowsePosition(OPCBROWSEDIRECTION direction, LPCWSTR target) override;
    STDMETHODIMP BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE dataType,
                                  DWORD rights, LPENUMSTRING* names) override;
    STDMETHODIMP GetItemID(LPWSTR name, LPWSTR* itemId) override;
    STDMETHODIMP BrowseAccessPaths(LPCWSTR itemId, LPENUMSTRING* paths) override;
    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;
    // IOpcSimControl
    STDMETHODIMP GetStats(IOpcSimStats** stats) override;
    STDMETHODIMP RequestShutdown(LPCWSTR reason, BOOL allOfClass) override;
    STDMETHODIMP SendDataChange(DWORD count, OPCHANDLE* handles, VARIANT* values, WORD* qualities,
                                HRESULT* errors) override;
    STDMETHODIMP SendWriteComplete(DWORD count, OPCHANDLE* handles, HRESULT* errors) override;

    // What outlives the server object for the work it does on its own clock: its clients'
    // sinks, to let them go when it disconnects them.
    struct Held {
        std::mutex mutex;
        std::shared_ptr<SinkList> shutdownSinks;
        std::vector<std::weak_ptr<Subscriptions>> groups;
    };

private:
    explicit Server(std::shared_ptr<const ServerConfig> config);
    ~Server() override;
    IUnknown* Identity() override { return static_cast<IOPCServer*>(this); }

    HRESULT ErrorText(HRESULT error, LPWSTR* text);
    void SendShutdown(const std::wstring& reason);
    void ScheduleShutdown();
    std::vector<Group*> GroupsAddRefed() const;

    mutable std::mutex mutex_;
    BrowseCursor cursor_;
    std::map<OPCHANDLE, Group*> groups_; // one reference each, until RemoveGroup
    OPCHANDLE nextGroupHandle_ = 1;
    LCID lcid_ = LOCALE_SYSTEM_DEFAULT;
    std::wstring clientName_;
    FILETIME startTime_ = {};
    std::shared_ptr<SinkList> shutdownSinks_;
    std::shared_ptr<Held> held_;
};

} // namespace opcsim
