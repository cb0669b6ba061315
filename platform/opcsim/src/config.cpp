#include "config.h"

#include "address_space.h"

#include <opcerror.h>

#include <olectl.h>

#include <cstdio>
#include <cstdlib>

#include <nlohmann/json.hpp>

namespace opcsim {
namespace {

using nlohmann::json;

struct ParseError {
    std::string text;
};

[[noreturn]] void Fail(const std::string& text) {
    throw ParseError{text};
}

std::wstring Text(const json& value, const char* what) {
    if (!value.is_string())
        Fail(std::string(what) + " must be a string");
    return Widen(value.get<std::string>());
}

std::wstring TextOr(const json& object, const char* key, const std::wstring& fallback) {
    auto found = object.find(key);
    return found == object.end() ? fallback : Text(*found, key);
}

bool BoolOr(const json& object, const char* key, bool fallback) {
    auto found = object.find(key);
    if (found == object.end())
        return fallback;
    if (!found->is_boolean())
        Fail(std::string(key) + " must be true or false");
    return found->get<bool>();
}

HRESULT Hresult(const json& value, const std::string& what) {
    HRESULT result = S_OK;
    if (value.is_number_integer())
        return static_cast<HRESULT>(value.get<long long>());
    if (!value.is_string() || !ParseHresult(value.get<std::string>(), result))
        Fail(what + ": unknown result code " + value.dump());
    return result;
}

DWORD Count(const json& value, const std::string& what) {
    if (!value.is_number_unsigned() || value.get<unsigned long long>() > 0xFFFFFFFFull)
        Fail(what + " must be a count");
    return value.get<DWORD>();
}

DWORD CountOr(const json& object, const char* key, DWORD fallback) {
    auto found = object.find(key);
    return found == object.end() ? fallback : Count(*found, key);
}

// A number written as an integer or as "0x..." text.
DWORD Number(const json& value, const std::string& what) {
    if (value.is_string()) {
        HRESULT code;
        if (value.get<std::string>().rfind("0x", 0) == 0 &&
            ParseHresult(value.get<std::string>(), code))
            return static_cast<DWORD>(code);
        Fail(what + ": " + value.dump() + " is no number");
    }
    return Count(value, what);
}

const json& ObjectAt(const json& object, const char* key) {
    const json& found = object.at(key);
    if (!found.is_object())
        Fail(std::string(key) + " must be an object");
    return found;
}

std::set<std::wstring> TextSet(const json& object, const char* key) {
    std::set<std::wstring> out;
    auto found = object.find(key);
    if (found == object.end())
        return out;
    if (!found->is_array())
        Fail(std::string(key) + " must be a list of strings");
    for (const json& entry : *found)
        out.insert(Text(entry, key));
    return out;
}

VARTYPE TypeOf(const json& entry) {
    static const std::map<std::string, VARTYPE> kTypes = {
        {"EMPTY", VT_EMPTY}, {"I1", VT_I1},          {"UI1", VT_UI1},   {"I2", VT_I2},
        {"UI2", VT_UI2},     {"I4", VT_I4},          {"UI4", VT_UI4},   {"R4", VT_R4},
        {"R8", VT_R8},       {"CY", VT_CY},          {"DATE", VT_DATE}, {"BSTR", VT_BSTR},
        {"BOOL", VT_BOOL},   {"VARIANT", VT_VARIANT}};
    auto found = entry.find("type");
    if (found == entry.end())
        return VT_R8;
    if (!found->is_string() || !kTypes.count(found->get<std::string>()))
        Fail("unknown item type " + found->dump());
    return kTypes.at(found->get<std::string>());
}

DWORD RightsOf(const json& entry) {
    const std::wstring rights = TextOr(entry, "rights", L"rw");
    DWORD out = 0;
    for (wchar_t c : rights) {
        if (c == L'r')
            out |= OPC_READABLE;
        else if (c == L'w')
            out |= OPC_WRITEABLE;
        else
            Fail("rights are made of r and w");
    }
    return out;
}

std::wstring Expand(const std::wstring& pattern, long index) {
    std::wstring out = pattern;
    const std::wstring number = std::to_wstring(index);
    for (size_t at = out.find(L"{n}"); at != std::wstring::npos; at = out.find(L"{n}", at))
        out.replace(at, 3, number), at += number.size();
    return out;
}

void AddEntries(AddressSpace& space, NodeIndex parent, const json& entries, int depth);

// One entry of an address space, repeated count times ("{n}" counting from 1; a single entry
// is not numbered). The entry is read once, however often it repeats.
void AddEntry(AddressSpace& space, NodeIndex parent, const json& entry, long count, int depth) {
    const bool branch = entry.contains("branch");
    if (!branch && !entry.contains("item"))
        Fail("an address-space entry needs \"branch\" or \"item\": " + entry.dump());
    const std::wstring name = Text(entry[branch ? "branch" : "item"], branch ? "branch" : "item");
    const std::wstring id = TextOr(entry, "id", L"");
    const VARTYPE type = branch ? VARTYPE(VT_EMPTY) : TypeOf(entry);
    const DWORD rights = branch ? 0 : RightsOf(entry);
    auto children = entry.find("children");
    std::map<std::wstring, HRESULT> results;
    if (entry.contains("results")) {
        static const std::set<std::wstring> kMethods = {
            L"ChangeBrowsePosition",    L"BrowseOPCItemIDs",      L"BrowseOPCItemIDs:branches",
            L"BrowseOPCItemIDs:leaves", L"BrowseOPCItemIDs:flat", L"GetItemID"};
        const json& forced = ObjectAt(entry, "results");
        for (auto it = forced.begin(); it != forced.end(); ++it) {
            if (!kMethods.count(Widen(it.key())))
                Fail("an entry's results know ChangeBrowsePosition, BrowseOPCItemIDs[:branches|"
                     ":leaves|:flat] and GetItemID, not " +
                     it.key());
            results[Widen(it.key())] = Hresult(it.value(), it.key());
        }
    }
    const bool numbered = count > 0;
    for (long n = numbered ? 1 : 0; n <= (numbered ? count : 0); ++n) {
        const std::wstring thisName = numbered ? Expand(name, n) : name;
        const std::wstring thisId = numbered && !id.empty() ? Expand(id, n) : id;
        const NodeIndex added = branch ? space.AddBranch(parent, thisName, thisId)
                                       : space.AddItem(parent, thisName, thisId, type, rights);
        if (!results.empty())
            space.SetResults(added, results);
        if (children != entry.end())
            AddEntries(space, added, *children, depth + 1);
    }
}

void AddEntries(AddressSpace& space, NodeIndex parent, const json& entries, int depth) {
    if (depth > 64)
        Fail("the address space is nested more than 64 levels deep");
    if (!entries.is_array())
        Fail("an address space (and \"children\") must be a list");
    for (const json& entry : entries) {
        if (!entry.is_object())
            Fail("an address-space entry must be an object");
        auto repeat = entry.find("repeat");
        if (repeat == entry.end()) {
            AddEntry(space, parent, entry, 0, depth);
            continue;
        }
        if (!repeat->is_number_integer() || repeat->get<long>() < 0)
            Fail("repeat must be a count");
        if (repeat->get<long>() > 0)
            AddEntry(space, parent, entry, repeat->get<long>(), depth);
    }
}

void ParseNotify(const json& object, const AddressSpace& space, NotifyConfig& notify) {
    notify.enabled = BoolOr(object, "enabled", true);
    notify.keepAlive = BoolOr(object, "keepAlive", true);
    notify.every = CountOr(object, "every", 1);
    if (notify.every == 0)
        Fail("notify: every counts ticks from 1");
    notify.ticks = CountOr(object, "ticks", 0);
    if (object.contains("handleBase"))
        notify.handleBase = Number(object["handleBase"], "handleBase");
    if (!object.contains("items"))
        return;
    if (!object["items"].is_array())
        Fail("notify: items must be a list of item ids");
    for (const json& id : object["items"]) {
        const std::wstring itemId = Text(id, "notify items");
        const NodeIndex item = space.FindItemById(itemId);
        if (item == kNoNode)
            Fail("notify: no item with the id " + id.dump());
        notify.itemIds.push_back(itemId);
        notify.itemTypes.push_back(space.At(item).type);
    }
}

void ParseDuring(const json& list, std::vector<DuringCall>& during) {
    if (!list.is_array())
        Fail("during must be a list of {\"at\", \"call\", \"send\"}");
    for (const json& entry : list) {
        if (!entry.is_object())
            Fail("an entry of during must be an object");
        DuringCall call;
        call.at = TextOr(entry, "at", L"");
        if (call.at.empty())
            Fail("an entry of during needs \"at\", a counted method");
        call.call = CountOr(entry, "call", 0);
        call.reason = TextOr(entry, "reason", call.reason);
        const std::set<std::wstring> send = TextSet(entry, "send");
        if (send.empty())
            Fail("an entry of during needs \"send\": shutdown, dataChange, malformed or "
                 "disconnect");
        for (const std::wstring& what : send) {
            if (what == L"shutdown")
                call.shutdown = true;
            else if (what == L"dataChange")
                call.dataChange = true;
            else if (what == L"malformed")
                call.malformed = true;
            else if (what == L"disconnect")
                call.disconnect = true;
            else
                Fail("during sends shutdown, dataChange, malformed or disconnect, not " +
                     Narrow(what));
        }
        during.push_back(call);
    }
}

std::shared_ptr<ServerConfig> ParseServer(const json& object, const json& spaces) {
    if (!object.is_object())
        Fail("a server must be an object");
    auto server = std::make_shared<ServerConfig>();
    server->progId = TextOr(object, "progId", L"");
    if (server->progId.empty())
        Fail("a server needs a progId");
    server->name = TextOr(object, "name", server->progId);
    const std::wstring clsid = TextOr(object, "clsid", L"");
    if (FAILED(CLSIDFromString(clsid.c_str(), &server->clsid)))
        Fail("server " + Narrow(server->progId) + " needs a clsid like {xxxxxxxx-...}");
    const std::wstring activation = TextOr(object, "activation", L"inproc");
    if (activation == L"inproc")
        server->activation = Activation::InProcess;
    else if (activation == L"local")
        server->activation = Activation::LocalServer;
    else
        Fail("activation is inproc or local");
    server->threading = TextOr(object, "threading", L"Apartment");
    if (server->threading != L"Apartment" && server->threading != L"Both" &&
        server->threading != L"Free")
        Fail("threading is Apartment, Both or Free");
    if (object.contains("categories")) {
        const std::set<std::wstring> categories = TextSet(object, "categories");
        server->da1 = categories.count(L"DA1") != 0;
        server->da2 = categories.count(L"DA2") != 0;
    }
    server->progIdKey = BoolOr(object, "progIdKey", true);
    server->progIdKeyName = TextOr(object, "progIdKeyName", server->progId);
    server->opcKey = BoolOr(object, "opcKey", true);
    server->progIdClsid = TextOr(object, "progIdClsid", L"valid");
    if (server->progIdClsid != L"valid" && server->progIdClsid != L"invalid" &&
        server->progIdClsid != L"missing")
        Fail("progIdClsid is valid, invalid or missing");
    server->clsidProgId = BoolOr(object, "clsidProgId", true);
    server->vendor = TextOr(object, "vendor", L"OpcSim simulated server");
    const std::wstring organization = TextOr(object, "organization", L"hierarchical");
    if (organization != L"hierarchical" && organization != L"flat")
        Fail("organization is hierarchical or flat");
    server->flat = organization == L"flat";
    server->separator = TextOr(object, "separator", L".");

    auto space = std::make_shared<AddressSpace>();
    space->SetSeparator(server->separator);
    if (object.contains("space")) {
        const json& entries = object["space"];
        // A name refers to an address space of the file's "spaces", shared by several servers.
        if (entries.is_string()) {
            auto named = spaces.find(entries.get<std::string>());
            if (named == spaces.end())
                Fail("no address space named " + entries.dump() + " in \"spaces\"");
            AddEntries(*space, space->Root(), *named, 0);
        } else {
            AddEntries(*space, space->Root(), entries, 0);
        }
    }
    server->space = space;

    if (object.contains("errors")) {
        const json& errors = object["errors"];
        if (!errors.is_object())
            Fail("errors must map result codes to texts");
        for (auto it = errors.begin(); it != errors.end(); ++it)
            server->errorTexts[Hresult(json(it.key()), "errors")] = Text(it.value(), "errors");
    }

    if (object.contains("locales")) {
        if (!object["locales"].is_array())
            Fail("locales must be a list of locale ids");
        server->locales.clear();
        for (const json& locale : object["locales"])
            server->locales.push_back(Number(locale, "locales"));
    }
    if (object.contains("rates")) {
        if (!object["rates"].is_array() || object["rates"].empty())
            Fail("rates must be a list of update rates in milliseconds");
        for (const json& rate : object["rates"]) {
            const DWORD ms = Count(rate, "rates");
            if (ms == 0)
                Fail("an update rate must be at least 1 ms");
            server->rates.push_back(ms);
        }
    }
    if (object.contains("notify"))
        ParseNotify(ObjectAt(object, "notify"), *space, server->notify);

    auto faultsAt = object.find("faults");
    if (faultsAt != object.end()) {
        const json& faults = *faultsAt;
        if (!faults.is_object())
            Fail("faults must be an object");
        Faults& f = server->faults;
        if (faults.contains("create"))
            f.createResult = Hresult(faults["create"], "create");
        f.missing = TextSet(faults, "missing");
        if (faults.contains("results")) {
            const json& results = faults["results"];
            if (!results.is_object())
                Fail("results must map method names to result codes");
            for (auto it = results.begin(); it != results.end(); ++it)
                f.results[Widen(it.key())] = Hresult(it.value(), it.key());
        }
        f.nullOut = TextSet(faults, "nullOut");
        f.getItemIdFails = TextSet(faults, "getItemIdFails");
        f.refuseDown = TextSet(faults, "refuseDown");
        if (faults.contains("nextExtra")) {
            if (!faults["nextExtra"].is_number_unsigned())
                Fail("nextExtra must be a count");
            f.nextExtra = faults["nextExtra"].get<unsigned>();
        }
        f.nullNames = BoolOr(faults, "nullNames", false);
        f.hugeNames = BoolOr(faults, "hugeNames", false);
        f.bottomless = BoolOr(faults, "bottomless", false);
        if (faults.contains("shutdown")) {
            const json& shutdown = ObjectAt(faults, "shutdown");
            if (!shutdown.contains("afterMs"))
                Fail("shutdown needs afterMs");
            f.shutdownAfterMs = Count(shutdown["afterMs"], "afterMs");
            f.shutdownReason = TextOr(shutdown, "reason", f.shutdownReason);
            f.shutdownDisconnect = BoolOr(shutdown, "disconnect", false);
            f.shutdownGraceMs = CountOr(shutdown, "graceMs", 0);
        }
        if (faults.contains("delays")) {
            const json& delays = ObjectAt(faults, "delays");
            for (auto it = delays.begin(); it != delays.end(); ++it)
                f.delays[Widen(it.key())] = Count(it.value(), "delays");
        }
        if (faults.contains("die")) {
            if (server->activation != Activation::LocalServer)
                Fail("only a local server can die: its process ends");
            const json& die = ObjectAt(faults, "die");
            f.dieAt = TextOr(die, "at", L"");
            f.dieCall = CountOr(die, "call", 1);
            f.dieAfterMs = CountOr(die, "afterMs", 0);
            if (f.dieAt.empty() == (f.dieAfterMs == 0) || f.dieCall == 0)
                Fail("die needs either \"at\" (a method, with \"call\" from 1) or \"afterMs\"");
        }
        if (faults.contains("keepSinks")) {
            const json& keep = ObjectAt(faults, "keepSinks");
            f.keepSinkCallAfterMs = CountOr(keep, "callAfterMs", 0);
            if (f.keepSinkCallAfterMs == 0)
                Fail("keepSinks needs callAfterMs");
        }
        if (faults.contains("during"))
            ParseDuring(faults["during"], f.during);
    }
    return server;
}

} // namespace

DWORD Faults::DelayOf(const std::wstring& method) const {
    auto found = delays.find(method);
    if (found == delays.end())
        found = delays.find(L"*");
    return found == delays.end() ? 0 : found->second;
}

DWORD ServerConfig::ReviseRate(DWORD requested) const {
    // The fastest rate the simulator offers by default is 100 ms.
    if (rates.empty())
        return requested < 100 ? 100 : requested;
    // The closest rate it has; between two, the slower one.
    DWORD best = rates.front();
    for (DWORD rate : rates) {
        const DWORD distance = rate > requested ? rate - requested : requested - rate;
        const DWORD bestDistance = best > requested ? best - requested : requested - best;
        if (distance < bestDistance || (distance == bestDistance && rate > best))
            best = rate;
    }
    return best;
}

bool ServerConfig::AcceptsLocale(LCID lcid) const {
    if (lcid == LOCALE_SYSTEM_DEFAULT || lcid == LOCALE_USER_DEFAULT || lcid == LOCALE_NEUTRAL)
        return true;
    for (LCID offered : locales)
        if (offered == lcid)
            return true;
    return false;
}

HRESULT Faults::Forced(const std::wstring& method) const {
    auto found = results.find(method);
    return found == results.end() ? S_OK : found->second;
}

std::shared_ptr<const ServerConfig> World::Find(const CLSID& clsid) const {
    for (const auto& server : servers)
        if (IsEqualCLSID(server->clsid, clsid))
            return server;
    return nullptr;
}

std::shared_ptr<World> ParseWorld(const std::string& text, std::string& error) {
    try {
        json document = json::parse(text);
        if (!document.is_object())
            Fail("the file must hold one JSON object");
        auto world = std::make_shared<World>();
        if (document.contains("servers")) {
            if (!document["servers"].is_array())
                Fail("servers must be a list");
            const json spaces = document.value("spaces", json::object());
            if (!spaces.is_object())
                Fail("spaces must map names to address spaces");
            for (const json& server : document["servers"])
                world->servers.push_back(ParseServer(server, spaces));
        }
        if (document.contains("browser")) {
            const json& browser = document["browser"];
            if (browser.contains("enumResult"))
                world->browser.enumResult = Hresult(browser["enumResult"], "enumResult");
        }
        return world;
    } catch (const ParseError& e) {
        error = e.text;
    } catch (const std::exception& e) {
        error = e.what();
    }
    return nullptr;
}

std::shared_ptr<World> LoadWorldFile(const std::wstring& path, std::string& error) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) {
        error = "cannot open " + Narrow(path);
        return nullptr;
    }
    std::string text;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    std::fclose(file);
    auto world = ParseWorld(text, error);
    if (world)
        world->file = path;
    else
        error = Narrow(path) + ": " + error;
    return world;
}

bool ParseHresult(const std::string& text, HRESULT& result) {
    static const std::map<std::string, HRESULT> kNames = {
        {"S_OK", S_OK},
        {"S_FALSE", S_FALSE},
        {"E_FAIL", E_FAIL},
        {"E_NOTIMPL", E_NOTIMPL},
        {"E_NOINTERFACE", E_NOINTERFACE},
        {"E_INVALIDARG", E_INVALIDARG},
        {"E_OUTOFMEMORY", E_OUTOFMEMORY},
        {"E_POINTER", E_POINTER},
        {"E_UNEXPECTED", E_UNEXPECTED},
        {"E_ACCESSDENIED", E_ACCESSDENIED},
        {"CLASS_E_NOAGGREGATION", CLASS_E_NOAGGREGATION},
        {"CLASS_E_CLASSNOTAVAILABLE", CLASS_E_CLASSNOTAVAILABLE},
        {"REGDB_E_CLASSNOTREG", REGDB_E_CLASSNOTREG},
        {"CO_E_SERVER_EXEC_FAILURE", CO_E_SERVER_EXEC_FAILURE},
        {"CONNECT_E_CANNOTCONNECT", CONNECT_E_CANNOTCONNECT},
        {"CONNECT_E_ADVISELIMIT", CONNECT_E_ADVISELIMIT},
        {"CONNECT_E_NOCONNECTION", CONNECT_E_NOCONNECTION},
        {"DV_E_FORMATETC", DV_E_FORMATETC},
        {"DV_E_TYMED", DV_E_TYMED},
        {"DV_E_DVASPECT", DV_E_DVASPECT},
        {"DV_E_LINDEX", DV_E_LINDEX},
        {"OLE_E_NOCONNECTION", OLE_E_NOCONNECTION},
        {"RPC_E_DISCONNECTED", RPC_E_DISCONNECTED},
        {"RPC_E_SERVERFAULT", RPC_E_SERVERFAULT},
        {"RPC_S_SERVER_UNAVAILABLE", HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)},
        {"OLE_E_ADVISENOTSUPPORTED", OLE_E_ADVISENOTSUPPORTED},
        {"OPC_E_INVALIDHANDLE", OPC_E_INVALIDHANDLE},
        {"OPC_E_BADTYPE", OPC_E_BADTYPE},
        {"OPC_E_UNKNOWNITEMID", OPC_E_UNKNOWNITEMID},
        {"OPC_E_INVALIDITEMID", OPC_E_INVALIDITEMID},
        {"OPC_E_INVALIDFILTER", OPC_E_INVALIDFILTER},
        {"OPC_E_UNKNOWNPATH", OPC_E_UNKNOWNPATH},
        {"OPC_E_DUPLICATENAME", OPC_E_DUPLICATENAME},
        {"OPC_E_NOTFOUND", OPC_E_NOTFOUND},
        {"OPC_S_UNSUPPORTEDRATE", OPC_S_UNSUPPORTEDRATE},
        {"OPC_S_INUSE", OPC_S_INUSE},
    };
    auto found = kNames.find(text);
    if (found != kNames.end()) {
        result = found->second;
        return true;
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(text.c_str() + 2, &end, 16);
        if (*end == '\0' && text.size() <= 10) {
            result = static_cast<HRESULT>(value);
            return true;
        }
    }
    return false;
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty())
        return std::wstring();
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], length);
    return out;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], length,
                        nullptr, nullptr);
    return out;
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

} // namespace opcsim
