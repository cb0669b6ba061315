#include "server.h"

#include "connection_point.h"
#include "enum_string.h"
#include "group.h"
#include "notifier.h"
#include "stats_object.h"
#include "ticker.h"

#include <opcerror.h>

#include <olectl.h>

#include <atomic>
#include <set>
#include <vector>

namespace opcsim {
namespace {

// Every live server object of this process, for RequestShutdown(allOfClass).
std::mutex g_liveMutex;
std::set<Server*> g_live;

void DeliverShutdown(SinkList& sinks, const std::wstring& reason, Stats& stats) {
    sinks.Deliver([&](IUnknown* sink, const SinkEntry&) {
        stats.Count(L"IOPCShutdown::ShutdownRequest (sent)");
        static_cast<IOPCShutdown*>(sink)->ShutdownRequest(reason.c_str());
    });
}

// A server that leaves: its clients' sinks go first (while the clients still answer), then every
// object of it is cut off from its clients, whose next call through a proxy fails
// (RPC_E_DISCONNECTED; under Wine RPC_S_UNKNOWN_IF); a local server's process then ends. Clients in
// its own apartment call it directly and cannot be cut off.
void DisconnectEverything(Server::Held& held, Stats& stats) {
    std::vector<std::shared_ptr<Subscriptions>> groups;
    std::shared_ptr<SinkList> shutdownSinks;
    {
        std::lock_guard<std::mutex> lock(held.mutex);
        shutdownSinks = held.shutdownSinks;
        for (const auto& weak : held.groups)
            if (auto group = weak.lock())
                groups.push_back(group);
    }
    if (shutdownSinks)
        shutdownSinks->Clear();
    for (const auto& group : groups)
        group->Clear();
    stats.Count(L"CoDisconnectObject");
    for (IUnknown* object : stats.AcquireLive()) {
        CoDisconnectObject(object, 0);
        object->Release();
    }
    QuitOwnProcess();
}

// What the server sends from inside one of its own calls ("during"), to the sinks it holds then.
void SendDuringCall(const std::shared_ptr<Server::Held>& heldShared, const ServerConfig& config,
                    const std::shared_ptr<Stats>& statsShared, const DuringCall& during,
                    unsigned tick) {
    Server::Held& held = *heldShared;
    Stats& stats = *statsShared;
    std::shared_ptr<SinkList> shutdownSinks;
    std::vector<std::shared_ptr<Subscriptions>> groups;
    {
        std::lock_guard<std::mutex> lock(held.mutex);
        shutdownSinks = held.shutdownSinks;
        for (const auto& weak : held.groups)
            if (auto group = weak.lock())
                groups.push_back(group);
    }
    if (during.shutdown && shutdownSinks)
        DeliverShutdown(*shutdownSinks, during.reason, stats);
    for (const auto& group : groups) {
        if (!group->Active())
            continue; // an inactive group is silent
        if (during.dataChange)
            SendItemChange(config.notify, *group, tick);
        if (during.malformed)
            group->SendMalformed(config.notify.handleBase);
    }
    if (during.disconnect) {
        // After the answer, in the apartment of the server's objects, as a timed shutdown does.
        std::weak_ptr<Server::Held> weakHeld = heldShared;
        std::shared_ptr<Stats> keep = statsShared;
        Ticker::Once(InMultithreadedApartment(), 0, [weakHeld, keep]() {
            if (std::shared_ptr<Server::Held> alive = weakHeld.lock())
                DisconnectEverything(*alive, *keep);
        });
    }
}

const wchar_t* StandardText(HRESULT error) {
    switch (error) {
    case OPC_E_INVALIDHANDLE:
        return L"The value of the handle is invalid.";
    case OPC_E_BADTYPE:
        return L"The server cannot convert the data between the requested data type and the "
               L"canonical data type.";
    case OPC_E_PUBLIC:
        return L"The requested operation cannot be done on a public group.";
    case OPC_E_BADRIGHTS:
        return L"The item's access rights do not allow the operation.";
    case OPC_E_UNKNOWNITEMID:
        return L"The item is no longer available in the server address space.";
    case OPC_E_INVALIDITEMID:
        return L"The item definition does not conform to the server's syntax.";
    case OPC_E_INVALIDFILTER:
        return L"The filter string is not valid.";
    case OPC_E_UNKNOWNPATH:
        return L"The item's access path is not known to the server.";
    case OPC_E_RANGE:
        return L"The value was out of range.";
    case OPC_E_DUPLICATENAME:
        return L"Duplicate name not allowed.";
    case OPC_S_UNSUPPORTEDRATE:
        return L"The server does not support the requested data rate but will use the closest "
               L"available rate.";
    case OPC_S_CLAMP:
        return L"A value passed to write was accepted but the output was clamped.";
    case OPC_S_INUSE:
        return L"The operation cannot be completed because the object still has references.";
    case OPC_E_INVALIDCONFIGFILE:
        return L"The server's configuration file is an invalid format.";
    case OPC_E_NOTFOUND:
        return L"The requested object was not found.";
    default:
        return nullptr;
    }
}

} // namespace

Server* Server::Create(std::shared_ptr<const ServerConfig> config) {
    return new Server(std::move(config));
}

Server::Server(std::shared_ptr<const ServerConfig> config)
    : Tracked(std::make_shared<Stats>(config->progId), config, L"Server " + config->progId),
      cursor_(config->space, *config) {
    GetSystemTimeAsFileTime(&startTime_);
    shutdownSinks_ = std::make_shared<SinkList>(IID_IOPCShutdown, config_->OwnThreads(), stats_,
                                                L"IOPCShutdown");
    held_ = std::make_shared<Held>();
    held_->shutdownSinks = shutdownSinks_;
    if (!config_->faults.during.empty()) {
        std::weak_ptr<Held> weakHeld = held_;
        std::weak_ptr<Stats> weakStats = stats_;
        std::shared_ptr<const ServerConfig> config = config_;
        auto ticks = std::make_shared<std::atomic<unsigned>>(0);
        stats_->SetDuringHook([weakHeld, weakStats, config, ticks](const DuringCall& during) {
            std::shared_ptr<Held> held = weakHeld.lock();
            std::shared_ptr<Stats> stats = weakStats.lock();
            if (held && stats)
                SendDuringCall(held, *config, stats, during, ++*ticks);
        });
    }
    // A process that dies on its own clock: counted from its first server object.
    static LONG dying = 0;
    if (config_->faults.dieAfterMs && OwnProcess() && InterlockedExchange(&dying, 1) == 0)
        Ticker::Once(true, config_->faults.dieAfterMs, DieAbruptly);
    std::lock_guard<std::mutex> lock(g_liveMutex);
    g_live.insert(this);
}

Server::~Server() {
    {
        std::lock_guard<std::mutex> lock(g_liveMutex);
        g_live.erase(this);
    }
    // Groups the client did not remove go with the server; sinks it did not withdraw too.
    for (auto& entry : groups_)
        entry.second->Release();
    groups_.clear();
    shutdownSinks_->Clear();
}

STDMETHODIMP Server::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    const Faults& faults = config_->faults;
    if (IsEqualIID(riid, IID_IUnknown))
        *object = static_cast<IOPCServer*>(this);
    else if (IsEqualIID(riid, IID_IOPCServer) && !faults.Lacks(L"IOPCServer"))
        *object = static_cast<IOPCServer*>(this);
    else if (IsEqualIID(riid, IID_IOPCCommon) && !faults.Lacks(L"IOPCCommon"))
        *object = static_cast<IOPCCommon*>(this);
    else if (IsEqualIID(riid, IID_IOPCBrowseServerAddressSpace) &&
             !faults.Lacks(L"IOPCBrowseServerAddressSpace"))
        *object = static_cast<IOPCBrowseServerAddressSpace*>(this);
    else if (IsEqualIID(riid, IID_IConnectionPointContainer) &&
             !faults.Lacks(L"IConnectionPointContainer"))
        *object = static_cast<IConnectionPointContainer*>(this);
    else if (IsEqualIID(riid, IID_IOpcSimControl))
        *object = static_cast<IOpcSimControl*>(this);
    if (!*object)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

// ---------------------------------------------------------------- IOPCServer

STDMETHODIMP Server::AddGroup(LPCWSTR name, BOOL active, DWORD requestedRate, OPCHANDLE clientGroup,
                              LONG* timeBias, FLOAT* deadband, DWORD lcid, OPCHANDLE* serverGroup,
                              DWORD* revisedRate, REFIID riid, LPUNKNOWN* group) {
    Enter(L"IOPCServer::AddGroup");
    return Guarded([&]() -> HRESULT {
        if (group)
            *group = nullptr;
        const HRESULT forced = config_->faults.Forced(L"AddGroup");
        if (FAILED(forced))
            return forced;
        if (!serverGroup || !revisedRate || !group)
            return E_POINTER;
        if (deadband && (*deadband < 0.0f || *deadband > 100.0f))
            return E_INVALIDARG;
        GroupState state;
        state.active = active;
        state.clientHandle = clientGroup;
        state.deadband = deadband ? *deadband : 0.0f;
        state.lcid = lcid;
        state.timeBias = timeBias ? *timeBias : 0;
        state.updateRate = config_->ReviseRate(requestedRate);
        Group* created;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            state.serverHandle = nextGroupHandle_++;
            state.name = name && *name ? name : L"Group_" + std::to_wstring(state.serverHandle);
            for (const auto& entry : groups_)
                if (entry.second->Name() == state.name)
                    return OPC_E_DUPLICATENAME;
            created = Group::Create(stats_, config_, state);
            created->AddRef(); // the server's own reference, until RemoveGroup
            groups_[state.serverHandle] = created;
        }
        {
            std::lock_guard<std::mutex> lock(held_->mutex);
            held_->groups.push_back(created->SubscriptionsShared());
        }
        *serverGroup = state.serverHandle;
        *revisedRate = state.updateRate;
        if (config_->faults.NullOut(L"AddGroup"))
            return S_OK;
        if (FAILED(created->QueryInterface(riid, reinterpret_cast<void**>(group)))) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                groups_.erase(state.serverHandle);
            }
            created->Release();
            return E_NOINTERFACE;
        }
        if (forced != S_OK)
            return forced;
        return state.updateRate != requestedRate ? OPC_S_UNSUPPORTEDRATE : S_OK;
    });
}

HRESULT Server::ErrorText(HRESULT error, LPWSTR* text) {
    if (!text)
        return E_POINTER;
    *text = nullptr;
    const HRESULT forced = config_->faults.Forced(L"GetErrorString");
    if (FAILED(forced))
        return forced;
    if (config_->faults.NullOut(L"GetErrorString"))
        return S_OK;
    std::wstring found;
    auto own = config_->errorTexts.find(error);
    if (own != config_->errorTexts.end()) {
        found = own->second;
    } else if (const wchar_t* standard = StandardText(error)) {
        found = standard;
    } else {
        wchar_t buffer[512] = {};
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(error), 0, buffer, 512, nullptr);
        if (length == 0)
            return E_INVALIDARG;
        found.assign(buffer, length);
    }
    *text = TaskString(found);
    return *text ? forced : E_OUTOFMEMORY;
}

STDMETHODIMP Server::GetErrorString(HRESULT error, LCID locale, LPWSTR* text) {
    Enter(L"IOPCServer::GetErrorString");
    return Guarded([&]() -> HRESULT {
        if (!config_->AcceptsLocale(locale)) {
            if (text)
                *text = nullptr;
            return E_INVALIDARG;
        }
        return ErrorText(error, text);
    });
}

STDMETHODIMP Server::GetGroupByName(LPCWSTR name, REFIID riid, LPUNKNOWN* group) {
    Enter(L"IOPCServer::GetGroupByName");
    return Guarded([&]() -> HRESULT {
        if (!group)
            return E_POINTER;
        *group = nullptr;
        if (!name)
            return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : groups_)
            if (entry.second->Name() == name)
                return entry.second->QueryInterface(riid, reinterpret_cast<void**>(group));
        return E_INVALIDARG;
    });
}

STDMETHODIMP Server::GetStatus(OPCSERVERSTATUS** status) {
    Enter(L"IOPCServer::GetStatus");
    return Guarded([&]() -> HRESULT {
        if (!status)
            return E_POINTER;
        *status = nullptr;
        const HRESULT forced = config_->faults.Forced(L"GetStatus");
        if (FAILED(forced))
            return forced;
        if (config_->faults.NullOut(L"GetStatus"))
            return S_OK;
        auto* out = static_cast<OPCSERVERSTATUS*>(CoTaskMemAlloc(sizeof(OPCSERVERSTATUS)));
        if (!out)
            return E_OUTOFMEMORY;
        ZeroMemory(out, sizeof *out);
        out->ftStartTime = startTime_;
        GetSystemTimeAsFileTime(&out->ftCurrentTime);
        out->ftLastUpdateTime = out->ftCurrentTime;
        out->dwServerState = OPC_STATUS_RUNNING;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            out->dwGroupCount = static_cast<DWORD>(groups_.size());
        }
        out->dwBandWidth = 0xFFFFFFFF;
        out->wMajorVersion = 2;
        out->wMinorVersion = 5;
        out->wBuildNumber = 1;
        out->szVendorInfo = TaskString(config_->vendor);
        *status = out;
        return forced;
    });
}

STDMETHODIMP Server::RemoveGroup(OPCHANDLE serverGroup, BOOL force) {
    Enter(L"IOPCServer::RemoveGroup");
    return Guarded([&]() -> HRESULT {
        const HRESULT forced = config_->faults.Forced(L"RemoveGroup");
        if (FAILED(forced))
            return forced;
        Group* removed = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto found = groups_.find(serverGroup);
            if (found == groups_.end())
                return E_INVALIDARG;
            removed = found->second;
            groups_.erase(found);
        }
        const ULONG left = removed->Release();
        // Still referenced by the client: it goes when the client lets it go.
        if (left > 0 && !force)
            return OPC_S_INUSE;
        return forced;
    });
}

STDMETHODIMP Server::CreateGroupEnumerator(OPCENUMSCOPE scope, REFIID riid, LPUNKNOWN* groups) {
    Enter(L"IOPCServer::CreateGroupEnumerator");
    return Guarded([&]() -> HRESULT {
        if (!groups)
            return E_POINTER;
        *groups = nullptr;
        if (scope < OPC_ENUM_PRIVATE_CONNECTIONS || scope > OPC_ENUM_ALL)
            return E_INVALIDARG;
        if (!IsEqualIID(riid, IID_IEnumString))
            return E_NOINTERFACE;
        auto names = std::make_shared<std::vector<std::wstring>>();
        if (scope != OPC_ENUM_PUBLIC && scope != OPC_ENUM_PUBLIC_CONNECTIONS) {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const auto& entry : groups_)
                names->push_back(entry.second->Name());
        }
        const bool empty = names->empty();
        EnumString* created = EnumString::Create(stats_, std::move(names), config_);
        created->QueryInterface(IID_IEnumString, reinterpret_cast<void**>(groups));
        return empty ? S_FALSE : S_OK;
    });
}

// ---------------------------------------------------------------- IOPCCommon

STDMETHODIMP Server::SetLocaleID(LCID lcid) {
    Enter(L"IOPCCommon::SetLocaleID");
    if (!config_->AcceptsLocale(lcid))
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(mutex_);
    lcid_ = lcid;
    return S_OK;
}

STDMETHODIMP Server::GetLocaleID(LCID* lcid) {
    Enter(L"IOPCCommon::GetLocaleID");
    if (!lcid)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *lcid = lcid_;
    return S_OK;
}

STDMETHODIMP Server::QueryAvailableLocaleIDs(DWORD* count, LCID** lcids) {
    Enter(L"IOPCCommon::QueryAvailableLocaleIDs");
    if (!count || !lcids)
        return E_POINTER;
    *count = 0;
    *lcids = nullptr;
    return Guarded([&]() -> HRESULT {
        std::vector<LCID> locales = {LOCALE_SYSTEM_DEFAULT, LOCALE_USER_DEFAULT};
        locales.insert(locales.end(), config_->locales.begin(), config_->locales.end());
        *lcids = static_cast<LCID*>(CoTaskMemAlloc(locales.size() * sizeof(LCID)));
        if (!*lcids)
            return E_OUTOFMEMORY;
        memcpy(*lcids, locales.data(), locales.size() * sizeof(LCID));
        *count = static_cast<DWORD>(locales.size());
        return S_OK;
    });
}

STDMETHODIMP Server::GetErrorString(HRESULT error, LPWSTR* text) {
    Enter(L"IOPCCommon::GetErrorString");
    return Guarded([&]() -> HRESULT { return ErrorText(error, text); });
}

STDMETHODIMP Server::SetClientName(LPCWSTR name) {
    Enter(L"IOPCCommon::SetClientName");
    return Guarded([&]() -> HRESULT {
        if (!name)
            return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(mutex_);
        clientName_ = name;
        return S_OK;
    });
}

// ---------------------------------------------------------------- IOPCBrowseServerAddressSpace

STDMETHODIMP Server::QueryOrganization(OPCNAMESPACETYPE* type) {
    Enter(L"IOPCBrowseServerAddressSpace::QueryOrganization");
    const HRESULT forced = config_->faults.Forced(L"QueryOrganization");
    if (FAILED(forced))
        return forced;
    if (!type)
        return E_POINTER;
    *type = config_->flat ? OPC_NS_FLAT : OPC_NS_HIERARCHIAL;
    return forced;
}

STDMETHODIMP Server::ChangeBrowsePosition(OPCBROWSEDIRECTION direction, LPCWSTR target) {
    Enter(L"IOPCBrowseServerAddressSpace::ChangeBrowsePosition");
    return Guarded([&]() -> HRESULT {
        const HRESULT forced = config_->faults.Forced(L"ChangeBrowsePosition");
        if (FAILED(forced))
            return forced;
        std::lock_guard<std::mutex> lock(mutex_);
        const HRESULT hr = cursor_.Move(direction, target ? target : L"");
        return FAILED(hr) || forced == S_OK ? hr : forced;
    });
}

STDMETHODIMP Server::BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE dataType,
                                      DWORD rights, LPENUMSTRING* names) {
    Enter(L"IOPCBrowseServerAddressSpace::BrowseOPCItemIDs");
    return Guarded([&]() -> HRESULT {
        if (names)
            *names = nullptr;
        const HRESULT forced = config_->faults.Forced(L"BrowseOPCItemIDs");
        if (FAILED(forced))
            return forced;
        if (!names)
            return E_POINTER;
        auto list = std::make_shared<std::vector<std::wstring>>();
        HRESULT hr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            hr = cursor_.List(type, filter ? filter : L"", dataType, rights, *list);
        }
        if (FAILED(hr))
            return hr;
        if (config_->faults.NullOut(L"BrowseOPCItemIDs"))
            return S_OK;
        // S_FALSE (nothing matched) still comes with an enumerator, as the standard asks.
        EnumString* created = EnumString::Create(stats_, std::move(list), config_);
        created->QueryInterface(IID_IEnumString, reinterpret_cast<void**>(names));
        return forced == S_OK ? hr : forced;
    });
}

STDMETHODIMP Server::GetItemID(LPWSTR name, LPWSTR* itemId) {
    Enter(L"IOPCBrowseServerAddressSpace::GetItemID");
    return Guarded([&]() -> HRESULT {
        if (itemId)
            *itemId = nullptr;
        const HRESULT forced = config_->faults.Forced(L"GetItemID");
        if (FAILED(forced))
            return forced;
        if (!itemId)
            return E_POINTER;
        std::wstring found;
        HRESULT hr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            hr = cursor_.ItemId(name ? name : L"", found);
        }
        if (FAILED(hr))
            return hr;
        if (config_->faults.NullOut(L"GetItemID"))
            return S_OK;
        *itemId = TaskString(found);
        if (!*itemId)
            return E_OUTOFMEMORY;
        return forced != S_OK ? forced : hr;
    });
}

STDMETHODIMP Server::BrowseAccessPaths(LPCWSTR, LPENUMSTRING* paths) {
    Enter(L"IOPCBrowseServerAddressSpace::BrowseAccessPaths");
    if (paths)
        *paths = nullptr;
    return E_NOTIMPL;
}

// ---------------------------------------------------------------- IConnectionPointContainer

STDMETHODIMP Server::EnumConnectionPoints(IEnumConnectionPoints** points) {
    Enter(L"IConnectionPointContainer::EnumConnectionPoints");
    if (points)
        *points = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Server::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    Enter(L"IConnectionPointContainer::FindConnectionPoint");
    return Guarded([&]() -> HRESULT {
        if (!point)
            return E_POINTER;
        *point = nullptr;
        if (!IsEqualIID(riid, IID_IOPCShutdown) || config_->faults.Lacks(L"IOPCShutdown"))
            return CONNECT_E_NOCONNECTION;
        const HRESULT forced = config_->faults.Forced(L"FindConnectionPoint:IOPCShutdown");
        if (FAILED(forced))
            return forced;
        if (config_->faults.NullOut(L"FindConnectionPoint"))
            return S_OK;
        ConnectionHooks hooks;
        if (config_->faults.shutdownAfterMs)
            hooks.onAdvise = [this](DWORD) { ScheduleShutdown(); };
        std::shared_ptr<Stats> stats = stats_;
        hooks.lateCall = [stats](IUnknown* sink, const SinkEntry&) {
            stats->Count(L"IOPCShutdown::ShutdownRequest (late)");
            static_cast<IOPCShutdown*>(sink)->ShutdownRequest(L"");
        };
        ConnectionPoint* created =
            ConnectionPoint::Create(stats_, config_, static_cast<IConnectionPointContainer*>(this),
                                    IID_IOPCShutdown, L"IOPCShutdown", shutdownSinks_, hooks);
        created->QueryInterface(IID_IConnectionPoint, reinterpret_cast<void**>(point));
        return forced;
    });
}

// The request goes out on the server's own clock; the server holds no reference on itself
// meanwhile, so a client that lets it go first gets nothing. The disconnection comes graceMs
// later, in the apartment the server's objects live in (this call's): only there does
// CoDisconnectObject find them.
void Server::ScheduleShutdown() {
    std::weak_ptr<Held> weakHeld = held_;
    std::shared_ptr<Stats> stats = stats_;
    std::shared_ptr<const ServerConfig> config = config_;
    const Faults& faults = config->faults;
    Ticker::Once(config->OwnThreads(), faults.shutdownAfterMs, [weakHeld, stats, config]() {
        if (std::shared_ptr<Held> held = weakHeld.lock())
            DeliverShutdown(*held->shutdownSinks, config->faults.shutdownReason, *stats);
    });
    if (!faults.shutdownDisconnect)
        return;
    Ticker::Once(InMultithreadedApartment(), faults.shutdownAfterMs + faults.shutdownGraceMs,
                 [weakHeld, stats]() {
                     if (std::shared_ptr<Held> held = weakHeld.lock())
                         DisconnectEverything(*held, *stats);
                 });
}

// ---------------------------------------------------------------- IOpcSimControl

STDMETHODIMP Server::GetStats(IOpcSimStats** stats) {
    return CreateStatsObject(stats_, stats);
}

void Server::SendShutdown(const std::wstring& reason) {
    DeliverShutdown(*shutdownSinks_, reason, *stats_);
}

STDMETHODIMP Server::RequestShutdown(LPCWSTR reason, BOOL allOfClass) {
    return Guarded([&]() -> HRESULT {
        const std::wstring text = reason ? reason : L"";
        if (!allOfClass) {
            SendShutdown(text);
            return S_OK;
        }
        std::vector<Server*> servers;
        {
            std::lock_guard<std::mutex> lock(g_liveMutex);
            for (Server* server : g_live)
                if (IsEqualCLSID(server->config_->clsid, config_->clsid)) {
                    server->AddRef();
                    servers.push_back(server);
                }
        }
        for (Server* server : servers) {
            server->SendShutdown(text);
            server->Release();
        }
        return S_OK;
    });
}

std::vector<Group*> Server::GroupsAddRefed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Group*> out;
    for (const auto& entry : groups_) {
        entry.second->AddRef();
        out.push_back(entry.second);
    }
    return out;
}

STDMETHODIMP Server::SendDataChange(DWORD count, OPCHANDLE* handles, VARIANT* values,
                                    WORD* qualities, HRESULT* errors) {
    return Guarded([&]() -> HRESULT {
        if (count && (!handles || !values))
            return E_POINTER;
        for (Group* group : GroupsAddRefed()) {
            group->Subscribers().SendDataChange(count, handles, values, qualities, errors);
            group->Release();
        }
        return S_OK;
    });
}

STDMETHODIMP Server::SendWriteComplete(DWORD count, OPCHANDLE* handles, HRESULT* errors) {
    return Guarded([&]() -> HRESULT {
        if (count && !handles)
            return E_POINTER;
        for (Group* group : GroupsAddRefed()) {
            group->Subscribers().SendWriteComplete(count, handles, errors);
            group->Release();
        }
        return S_OK;
    });
}

} // namespace opcsim
