// Discovery of nodes and OPC servers for the server configuration step: the Windows network,
// the OPC server browser and the class registry of this or another computer. Plain logic: it
// returns what it found and tells its failures to a reporter; the dialog shows both.
#pragma once

#include <windows.h>
#include <winnetwk.h>

#include <memory>
#include <string>
#include <vector>

#include "config/server_entry.h"

namespace pelorin {

// Where discovery failures go: the dialog shows each text in a message box and waits.
class DiscoveryReporter {
public:
    virtual void Report(const std::string& text) = 0;

protected:
    ~DiscoveryReporter() = default;
};

// The node name of a network entry: its remote name without everything before the first
// backslash and without the two characters that start there ("\\PC1" gives "PC1"); a name
// without a backslash is used whole. Double-byte characters are kept whole, so the second byte
// of one (0x5C in code page 936) is never taken for the backslash.
std::string NodeFromRemoteName(const char* remote);

// One step of a server listing. The dialog adds `added` to its server box in order; after a
// registry walk that reached its registry it takes the box's selection again.
struct ServerPass {
    enum class Kind {
        Browser,          // the server browser's servers of the category
        RegistryFallback, // OPC 1.0 without a usable browser: the class registry instead
        Registry,         // the class registry, always last
    };
    Kind kind = Kind::Browser;
    int result = 0; // browser: 1 answered, 0 failed; registry: 1 walked, 0 not reached
    std::vector<const ServerEntry*> added; // entries whose ProgID was not listed yet
    bool EndsWithSelection() const { return kind != Kind::Browser && result == 1; }
};

class ServerDiscovery {
public:
    explicit ServerDiscovery(DiscoveryReporter& reporter) : reporter_(reporter) {}
    ServerDiscovery(const ServerDiscovery&) = delete;
    ServerDiscovery& operator=(const ServerDiscovery&) = delete;

    // Appends the node names of the servers found below `container` (null: the whole network)
    // to `nodes`, in enumeration order and without a test for duplicates. Failures are silent;
    // false when the enumeration could not be opened or closed.
    bool EnumerateNetworkNodes(const NETRESOURCEA* container, std::vector<std::string>& nodes);

    // Starts rebuilding the server list of `node` (null: this computer; for the browser an
    // empty text is this computer too, for the registry a node to connect to) for `category`.
    // The list is emptied at once; NextPass then runs the steps one by one, so that the dialog
    // can show each step's servers (and take its selection) before the next step reports.
    void BeginListing(const char* node, const GUID& category);
    // Runs the next step: the browser, the registry as the browser's fallback (OPC 1.0 only,
    // after a browser failure) and the registry. False when the listing is complete.
    bool NextPass(ServerPass& pass);

    // Every pass of a listing in one call (each pass's entries stay valid while the list lives).
    std::vector<ServerPass> ListServers(const char* node, const GUID& category);

    // The servers found since the last BeginListing, in the order found. No two share a ProgID.
    const std::vector<std::unique_ptr<ServerEntry>>& Servers() const { return servers_; }

    // Removes every server.
    void Clear() { servers_.clear(); }

private:
    enum class Step { Browser, Fallback, Registry, Done };

    int EnumerateBrowserServers(const char* node, const GUID& category,
                                std::vector<const ServerEntry*>& added);
    int EnumerateRegistryServers(const char* node, std::vector<const ServerEntry*>& added);
    const ServerEntry* AddServerEntry(const wchar_t* progId, const GUID& clsid);
    void ReportComError(const std::string& prefix, HRESULT code);

    DiscoveryReporter& reporter_;
    std::vector<std::unique_ptr<ServerEntry>> servers_;
    Step step_ = Step::Done;
    bool hasNode_ = false; // a node was given (it may be empty)
    std::string node_;
    GUID category_ = {};
};

} // namespace pelorin
