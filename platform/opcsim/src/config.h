// A test set's simulated world, read from one JSON file: the servers with their address spaces,
// registration details and faults, and the behaviour of the server browser.
// The format is described in platform/opcsim/README.md.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace opcsim {

class AddressSpace;

// What a server sends its clients from inside one of its own calls, before it answers: the
// client meets it while it waits in that call.
struct DuringCall {
    std::wstring at;         // the counted method ("IOPCServer::RemoveGroup")
    unsigned call = 0;       // only its n-th call; 0: every call
    bool shutdown = false;   // IOPCShutdown::ShutdownRequest with `reason`
    bool dataChange = false; // a data change of the `notify` items to every group's subscribers
    bool malformed = false;  // streams that break the format, callbacks whose counts or handles
                             // do not fit (subscriptions.h)
    bool disconnect = false; // once the call is answered, the server leaves as "shutdown" with
                             // "disconnect" does
    std::wstring reason = L"The simulated server is shutting down.";
};

// What a server does wrong on purpose.
struct Faults {
    HRESULT createResult = S_OK;             // IClassFactory::CreateInstance refuses with this
    std::set<std::wstring> missing;          // interfaces and connection points it lacks
    std::map<std::wstring, HRESULT> results; // forced results by method ("AddGroup", ...)
    std::set<std::wstring> nullOut;          // methods answering S_OK with NULL out-pointers
    std::set<std::wstring> getItemIdFails;   // browse names (or ids) GetItemID refuses
    std::set<std::wstring> refuseDown;       // names a move down refuses although they are branches
    // Hostile enumerators and address spaces.
    unsigned nextExtra = 0;  // Next reports this many more names than it was asked for
    bool nullNames = false;  // Next hands out NULL for every second name
    bool hugeNames = false;  // Next hands out names of 65536 characters
    bool bottomless = false; // every move down succeeds
    // A shutdown request sent by the server itself after a client subscribed to it; then,
    // when told, the server lets its clients' sinks go, disconnects its objects from their
    // clients (CoDisconnectObject) and, as a local server, its process ends.
    DWORD shutdownAfterMs = 0;
    std::wstring shutdownReason = L"The simulated server is shutting down.";
    bool shutdownDisconnect = false;
    DWORD shutdownGraceMs = 0; // between the request and the disconnection
    // Calls answered late: milliseconds by counted method name ("IOPCServer::AddGroup"), "*"
    // for every method without a delay of its own.
    std::map<std::wstring, DWORD> delays;
    // A local server process that ends abruptly: at the dieCall-th call of dieAt (before it is
    // answered), or dieAfterMs after its first server object was created.
    std::wstring dieAt;
    unsigned dieCall = 1;
    DWORD dieAfterMs = 0;
    // A sink whose withdrawal fails (a forced failure of Unadvise or DUnadvise) is kept, called
    // once this long afterwards and then released; 0 keeps it until its group or server goes.
    DWORD keepSinkCallAfterMs = 0;
    std::vector<DuringCall> during;

    bool Lacks(const wchar_t* name) const { return missing.count(name) != 0; }
    bool NullOut(const wchar_t* method) const { return nullOut.count(method) != 0; }
    // The forced result of a method, or S_OK when none is set.
    HRESULT Forced(const std::wstring& method) const;
    bool HasForced(const std::wstring& method) const { return results.count(method) != 0; }
    DWORD DelayOf(const std::wstring& method) const;
};

// Notifications an active group sends on its own at its update rate, as a plant's server does.
// The client adds no items, so they carry items it never asked for (handles it never gave out)
// or nothing at all.
struct NotifyConfig {
    bool enabled = false;
    bool keepAlive = true;             // a tick without changed items still calls, with none
    std::vector<std::wstring> itemIds; // items whose values change
    std::vector<VARTYPE> itemTypes;    // their canonical types
    unsigned every = 1;                // the items change on every n-th tick
    DWORD handleBase = 0xF0E00001;     // client handle of the first item; the others count up
    unsigned ticks = 0;                // the group falls silent after this many; 0: never
};

enum class Activation { InProcess, LocalServer };

struct ServerConfig {
    std::wstring progId;
    std::wstring name; // user type name
    CLSID clsid = {};
    Activation activation = Activation::InProcess;
    std::wstring threading = L"Apartment"; // InprocServer32 ThreadingModel
    bool da1 = true, da2 = true;           // Implemented Categories
    bool progIdKey = true;                 // HKCR\<ProgID> exists
    std::wstring progIdKeyName;            // its name, when it differs from the ProgID
    bool opcKey = true;                    // HKCR\<ProgID>\OPC exists
    std::wstring progIdClsid = L"valid";   // HKCR\<ProgID>\CLSID: valid, invalid or missing
    bool clsidProgId = true;               // HKCR\CLSID\{clsid}\ProgID exists
    std::wstring vendor = L"OpcSim";
    bool flat = false;
    std::wstring separator = L".";
    std::shared_ptr<const AddressSpace> space;
    std::map<HRESULT, std::wstring> errorTexts;
    std::vector<LCID> locales = {0x0409, 0x0804}; // besides the system's and user's default
    std::vector<DWORD> rates; // update rates it offers; empty: any from 100 ms on
    NotifyConfig notify;
    Faults faults;

    // The update rate a group gets when it asks for `requested`.
    DWORD ReviseRate(DWORD requested) const;
    bool AcceptsLocale(LCID lcid) const;

    // Servers whose objects are not bound to the creating apartment call their clients back
    // from threads of their own, through marshaled sink references.
    bool OwnThreads() const { return threading != L"Apartment"; }
};

struct BrowserSettings {
    HRESULT enumResult = S_OK; // forced result of EnumClassesOfCategories
};

struct World {
    std::wstring file; // the file it was read from
    std::vector<std::shared_ptr<const ServerConfig>> servers;
    BrowserSettings browser;

    std::shared_ptr<const ServerConfig> Find(const CLSID& clsid) const;
};

// Reads a world; on failure returns null and describes the problem in error.
std::shared_ptr<World> LoadWorldFile(const std::wstring& path, std::string& error);
std::shared_ptr<World> ParseWorld(const std::string& json, std::string& error);

// "E_FAIL", "S_FALSE", "OPC_E_UNKNOWNITEMID", "0x80004005", ... ; false when unknown.
bool ParseHresult(const std::string& text, HRESULT& result);

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);
std::wstring GuidText(const GUID& guid);

} // namespace opcsim
