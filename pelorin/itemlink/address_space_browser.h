// The server's address space as the browse panel walks it: one owner of the server's
// IOPCBrowseServerAddressSpace, every enumeration read in batches of 100 with each name freed,
// and a walk that moves the server's browse position down a branch path and back.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "opcda.h"

namespace pelorin {

class AddressSpaceBrowser {
public:
    // Names fetched per IEnumString::Next.
    static constexpr ULONG kBatch = 100;

    bool Available() const { return browse_ != nullptr; }
    IOPCBrowseServerAddressSpace* Get() const { return browse_.Get(); }
    // The member that holds the interface: a snapshot reads the pointer through it at every
    // call and keeps no reference of its own.
    const Microsoft::WRL::ComPtr<IOPCBrowseServerAddressSpace>& Holder() const { return browse_; }

    // Asks the server for its browse interface; without one the browser stays unavailable.
    HRESULT Attach(IOPCServer* server);
    void Reset() { browse_.Reset(); }

    HRESULT QueryOrganization(OPCNAMESPACETYPE& type);
    // The names BrowseOPCItemIDs lists at the current position, in the server's order. Returns
    // that call's result; a failure leaves `names` empty.
    HRESULT Browse(OPCBROWSETYPE type, const std::wstring& filter, VARTYPE dataType,
                   std::vector<std::wstring>& names);
    HRESULT MoveDown(const std::wstring& branch);
    HRESULT MoveUp();
    // The fully qualified id of a name listed at the current position.
    HRESULT GetItemId(const std::wstring& name, std::wstring& itemId);

private:
    Microsoft::WRL::ComPtr<IOPCBrowseServerAddressSpace> browse_;
};

// Moves the browse position from the server's root down `path`, one branch a level, and when it
// ends goes back up exactly as many levels as it went down, whatever the server answers. The
// caller makes sure the position is at the root when the walk starts.
class BrowseWalk {
public:
    BrowseWalk(AddressSpaceBrowser& browser, const std::vector<std::wstring>& path);
    ~BrowseWalk();
    BrowseWalk(const BrowseWalk&) = delete;
    BrowseWalk& operator=(const BrowseWalk&) = delete;

    // S_OK when the whole path was entered, else the failing call's result (E_FAIL without a
    // browse interface).
    HRESULT Result() const { return result_; }
    bool Succeeded() const { return SUCCEEDED(result_); }
    size_t Levels() const { return levels_; }

private:
    AddressSpaceBrowser& browser_;
    HRESULT result_ = S_OK;
    size_t levels_ = 0;
};

} // namespace pelorin
