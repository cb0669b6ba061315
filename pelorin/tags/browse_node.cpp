#include "tags/browse_node.h"

#include <objbase.h>

#include <memory>

#include "session/ansi_text.h"
#include "tags/depth_limit.h"

using Microsoft::WRL::ComPtr;

namespace pelorin {
namespace {

// One batch of names from IEnumString::Next. Every name the batch holds is freed with
// CoTaskMemFree when it is taken and freed or when the batch goes, whatever happened between.
class NameBatch {
public:
    NameBatch() = default;
    ~NameBatch() { FreeRest(); }
    NameBatch(const NameBatch&) = delete;
    NameBatch& operator=(const NameBatch&) = delete;

    // Asks for kBrowseBatch names. A server may claim more than it was asked for: only the
    // entries of this batch are ever read. A failed call hands out nothing.
    HRESULT Fetch(IEnumString* names) {
        FreeRest();
        for (LPOLESTR& name : names_)
            name = nullptr;
        ULONG fetched = 0;
        const HRESULT hr = names->Next(kBrowseBatch, names_, &fetched);
        count_ = FAILED(hr) ? 0 : (fetched < kBrowseBatch ? fetched : kBrowseBatch);
        next_ = 0;
        return hr;
    }
    bool More() const { return next_ < count_; }
    // The next name, null when the server handed out none; the caller frees it.
    LPOLESTR Take() {
        LPOLESTR name = names_[next_];
        names_[next_++] = nullptr;
        return name;
    }

private:
    void FreeRest() {
        for (; next_ < count_; ++next_) {
            CoTaskMemFree(names_[next_]);
            names_[next_] = nullptr;
        }
    }

    LPOLESTR names_[kBrowseBatch] = {};
    ULONG count_ = 0;
    ULONG next_ = 0;
};

// The walk converts every name twice and every item id once: names made of ASCII alone, as most
// are, need no trip through the code page's tables (every ANSI code page extends ASCII).
std::string Narrow(const wchar_t* wide) {
    std::string ansi;
    for (const wchar_t* at = wide; *at; ++at) {
        if (*at >= 0x80)
            return WideToAnsi(wide);
        ansi += static_cast<char>(*at);
    }
    return ansi;
}

std::wstring Widen(const std::string& ansi) {
    std::wstring wide;
    wide.reserve(ansi.size());
    for (const char c : ansi) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return AnsiToWide(ansi);
        wide += static_cast<wchar_t>(c);
    }
    return wide;
}

struct TaskMemFree {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};
using TaskString = std::unique_ptr<wchar_t, TaskMemFree>;

} // namespace

struct BrowseNode::Walk {
    ItemIdMap& map;
    const BrowseInterface& browse;
    int depthLimit;
    size_t namesLeft;
    size_t charsLeft;

    bool Exhausted() const { return namesLeft == 0; }
    // Counts one more node with a name of `chars` characters; false when the walk has made all
    // it may.
    bool Spend(size_t chars) {
        if (namesLeft == 0 || !SpendChars(chars))
            return false;
        --namesLeft;
        return true;
    }
    // Counts characters kept; once they run out the walk is over.
    bool SpendChars(size_t chars) {
        if (chars > charsLeft) {
            namesLeft = 0;
            return false;
        }
        charsLeft -= chars;
        return true;
    }
};

BrowseNode::BrowseNode(ItemIdMap& map, const BrowseInterface& browse, const std::string& name,
                       int depth)
    : name_(name), depth_(depth), browse_(std::addressof(browse)) {
    Walk walk{map, browse, SnapshotDepthLimit(), kMaxSnapshotNames, kMaxSnapshotChars};
    Explore(walk);
}

BrowseNode::BrowseNode(Walk& walk, std::string name, int depth)
    : name_(std::move(name)), depth_(depth), browse_(std::addressof(walk.browse)) {
    Explore(walk);
}

BrowseNode::~BrowseNode() {
    leaves_.clear();
    branches_.clear();
    nested_.clear();
}

void BrowseNode::Explore(Walk& walk) {
    // The deepest level a walk reaches is not entered: its names end up as plain items or
    // empty branches.
    if (depth_ >= kMaxSnapshotDepth)
        return;
    IOPCBrowseServerAddressSpace* browse = browse_->Get();
    if (!browse)
        return;
    const std::wstring wide = Widen(name_);
    if (FAILED(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, wide.c_str())))
        return; // the position did not change
    // One move up for the move down, also when an exception leaves the walk.
    struct MoveUp {
        const BrowseInterface& browse;
        ~MoveUp() {
            if (IOPCBrowseServerAddressSpace* server = browse.Get())
                server->ChangeBrowsePosition(OPC_BROWSE_UP, L"");
        }
    } moveUp{*browse_};

    const bool unbounded = walk.depthLimit < 0;
    if (unbounded || depth_ < walk.depthLimit) {
        if (!TakeBranches(walk))
            return;
    }
    if (unbounded || depth_ >= walk.depthLimit)
        TakeItems(walk);
}

// False when the listing failed (or the walk ran out of names): the node then takes no items.
bool BrowseNode::TakeBranches(Walk& walk) {
    IOPCBrowseServerAddressSpace* browse = browse_->Get();
    if (!browse)
        return false;
    ComPtr<IEnumString> names;
    HRESULT hr = browse->BrowseOPCItemIDs(OPC_BRANCH, kBranchFilter, kDataTypeFilter,
                                          kAccessRightsFilter, names.GetAddressOf());
    // A success without an enumerator is a listing that cannot be read.
    if (FAILED(hr) || !names)
        return false;
    NameBatch batch;
    do {
        hr = batch.Fetch(names.Get());
        while (batch.More() && !walk.Exhausted()) {
            TaskString name(batch.Take());
            if (!name)
                continue; // nothing to go down into
            std::string ansi = Narrow(name.get());
            name.reset();
            if (!walk.Spend(ansi.size()))
                break;
            branches_.push_back(
                std::unique_ptr<BrowseNode>(new BrowseNode(walk, std::move(ansi), depth_ + 1)));
        }
    } while (hr == S_OK && !walk.Exhausted());
    return SUCCEEDED(hr) && !walk.Exhausted();
}

void BrowseNode::TakeItems(Walk& walk) {
    IOPCBrowseServerAddressSpace* browse = browse_->Get();
    if (!browse)
        return;
    ComPtr<IEnumString> names;
    // Only exactly S_OK lists items; S_FALSE (nothing matched) and the like take none.
    if (browse->BrowseOPCItemIDs(OPC_LEAF, kItemFilter, kDataTypeFilter, kAccessRightsFilter,
                                 names.GetAddressOf()) != S_OK ||
        !names)
        return;
    NameBatch batch;
    HRESULT hr;
    do {
        hr = batch.Fetch(names.Get());
        while (batch.More() && !walk.Exhausted()) {
            TaskString name(batch.Take());
            if (!name)
                continue;
            std::string ansi = Narrow(name.get());
            if (!walk.Spend(ansi.size()))
                break;
            std::unique_ptr<BrowseNode> child(new BrowseNode(walk, std::move(ansi), depth_ + 1));
            if (!child->leaves_.empty()) {
                nested_.push_back(std::move(child));
                continue;
            }
            // The id of the name exactly as the server listed it.
            browse = browse_->Get();
            LPWSTR id = nullptr;
            const HRESULT found = browse ? browse->GetItemID(name.get(), &id) : E_FAIL;
            TaskString itemId(id);
            const bool identified = SUCCEEDED(found) && itemId;
            std::string ansiId = identified ? Narrow(itemId.get()) : std::string();
            itemId.reset();
            if (identified && walk.SpendChars(ansiId.size())) {
                child->itemId_ = std::move(ansiId);
                leaves_.push_back(std::move(child));
                walk.map.Enter(leaves_.back().get());
            } else if (!child->branches_.empty() || !child->nested_.empty()) {
                // An item the server let us into and whose sub-branches hold items of the map:
                // deleting it would leave the map pointing at freed nodes, so it stays here.
                nested_.push_back(std::move(child));
            }
        }
    } while (hr == S_OK && !walk.Exhausted());
}

} // namespace pelorin
