#include "itemlink/address_space_browser.h"

#include <objbase.h>

#include <algorithm>
#include <array>
#include <memory>

namespace pelorin {
namespace {

struct TaskMemFree {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};
using TaskString = std::unique_ptr<wchar_t, TaskMemFree>;

// A listing stops growing here: a server that never ends its enumeration, or hands out huge
// names without end, must not take all our memory. Far more than any address space shows.
constexpr size_t kMaxListedChars = 32u * 1024u * 1024u;

} // namespace

HRESULT AddressSpaceBrowser::Attach(IOPCServer* server) {
    browse_.Reset();
    if (!server)
        return E_POINTER;
    const HRESULT hr = server->QueryInterface(IID_IOPCBrowseServerAddressSpace,
                                              reinterpret_cast<void**>(browse_.GetAddressOf()));
    if (FAILED(hr)) {
        browse_.Reset();
        return hr;
    }
    return browse_ ? S_OK : E_NOINTERFACE;
}

HRESULT AddressSpaceBrowser::QueryOrganization(OPCNAMESPACETYPE& type) {
    if (!browse_)
        return E_FAIL;
    return browse_->QueryOrganization(&type);
}

HRESULT AddressSpaceBrowser::Browse(OPCBROWSETYPE type, const std::wstring& filter,
                                    VARTYPE dataType, std::vector<std::wstring>& names) {
    names.clear();
    if (!browse_)
        return E_FAIL;
    Microsoft::WRL::ComPtr<IEnumString> list;
    const HRESULT hr =
        browse_->BrowseOPCItemIDs(type, filter.c_str(), dataType, 0, list.GetAddressOf());
    if (FAILED(hr) || !list)
        return hr; // a server that answered success without a list has nothing to list
    size_t chars = 0;
    for (;;) {
        LPOLESTR batch[kBatch] = {};
        ULONG fetched = 0;
        const HRESULT next = list->Next(kBatch, batch, &fetched);
        // Every string handed out is ours to free, also those we do not keep. A server may
        // claim more names than fit; only the array's own slots can hold any.
        std::array<TaskString, kBatch> owned;
        const ULONG got = FAILED(next) ? 0 : std::min(fetched, kBatch);
        for (ULONG i = 0; i < kBatch; ++i)
            owned[i].reset(i < got ? batch[i] : nullptr);
        for (ULONG i = 0; i < got; ++i) {
            if (!owned[i])
                continue; // a hole in the server's answer
            names.emplace_back(owned[i].get());
            chars += names.back().size();
        }
        if (next != S_OK || got == 0 || chars > kMaxListedChars)
            break;
    }
    return hr;
}

HRESULT AddressSpaceBrowser::MoveDown(const std::wstring& branch) {
    if (!browse_)
        return E_FAIL;
    return browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, branch.c_str());
}

HRESULT AddressSpaceBrowser::MoveUp() {
    if (!browse_)
        return E_FAIL;
    return browse_->ChangeBrowsePosition(OPC_BROWSE_UP, L"");
}

HRESULT AddressSpaceBrowser::GetItemId(const std::wstring& name, std::wstring& itemId) {
    itemId.clear();
    if (!browse_)
        return E_FAIL;
    std::wstring argument = name; // the interface takes a writable string
    LPWSTR answer = nullptr;
    const HRESULT hr = browse_->GetItemID(&argument[0], &answer);
    const TaskString owned(answer);
    if (FAILED(hr))
        return hr;
    if (!owned)
        return E_POINTER; // success without an id is no id
    itemId = owned.get();
    return hr;
}

BrowseWalk::BrowseWalk(AddressSpaceBrowser& browser, const std::vector<std::wstring>& path)
    : browser_(browser) {
    if (!browser_.Available()) {
        result_ = E_FAIL;
        return;
    }
    for (const std::wstring& branch : path) {
        result_ = browser_.MoveDown(branch);
        if (FAILED(result_))
            return;
        ++levels_;
    }
    result_ = S_OK;
}

BrowseWalk::~BrowseWalk() {
    // Exactly the levels entered: a server refusing to go up cannot keep us here either.
    for (size_t level = 0; level < levels_; ++level)
        if (FAILED(browser_.MoveUp()))
            return;
}

} // namespace pelorin
