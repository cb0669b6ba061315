#include "tags_world.h"

#include <algorithm>

#include "counted_object.h"
#include "session/ansi_text.h"

namespace tagtest {
namespace {

std::string Narrow(const wchar_t* wide) {
    return wide ? pelorin::WideToAnsi(wide) : std::string("(null)");
}

std::string Failure(HRESULT hr) {
    if (hr == S_OK)
        return "";
    if (hr == S_FALSE)
        return " S_FALSE";
    return SUCCEEDED(hr) ? " success" : " refused";
}

class RecordingEnum final : public simtest::CountedObject<IEnumString> {
public:
    RecordingEnum(ComPtr<IEnumString> inner, CallLog& log) : inner_(std::move(inner)), log_(log) {}
    STDMETHODIMP Next(ULONG count, LPOLESTR* names, ULONG* fetched) override {
        ULONG got = 0;
        const HRESULT hr = inner_->Next(count, names, &got);
        if (fetched)
            *fetched = got;
        log_.push_back("next " + std::to_string(count) + " -> " + std::to_string(got) +
                       Failure(hr));
        return hr;
    }
    STDMETHODIMP Skip(ULONG count) override { return inner_->Skip(count); }
    STDMETHODIMP Reset() override { return inner_->Reset(); }
    STDMETHODIMP Clone(IEnumString** copy) override { return inner_->Clone(copy); }

private:
    ComPtr<IEnumString> inner_;
    CallLog& log_;
};

class RecordingBrowse final : public simtest::CountedObject<IOPCBrowseServerAddressSpace> {
public:
    RecordingBrowse(IOPCBrowseServerAddressSpace* inner, CallLog& log) : inner_(inner), log_(log) {}
    STDMETHODIMP QueryOrganization(OPCNAMESPACETYPE* type) override {
        return inner_->QueryOrganization(type);
    }
    STDMETHODIMP ChangeBrowsePosition(OPCBROWSEDIRECTION direction, LPCWSTR name) override {
        const HRESULT hr = inner_->ChangeBrowsePosition(direction, name);
        log_.push_back((direction == OPC_BROWSE_UP ? std::string("up") : "down " + Narrow(name)) +
                       Failure(hr));
        return hr;
    }
    STDMETHODIMP BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE dataType,
                                  DWORD rights, LPENUMSTRING* names) override {
        ComPtr<IEnumString> inner;
        const HRESULT hr =
            inner_->BrowseOPCItemIDs(type, filter, dataType, rights, inner.GetAddressOf());
        std::string text = type == OPC_BRANCH ? "branches" : type == OPC_LEAF ? "leaves" : "flat";
        if (!(type == OPC_BRANCH && filter && std::wstring(filter) == L"*") &&
            !(type == OPC_LEAF && filter && !*filter))
            text += " filter " + Narrow(filter);
        if (dataType != VT_EMPTY || rights != 0)
            text += " typed";
        log_.push_back(text + Failure(hr));
        if (names) {
            *names = nullptr;
            if (inner)
                *names = simtest::MakeObject<RecordingEnum>(inner, log_).Detach();
        }
        return hr;
    }
    STDMETHODIMP GetItemID(LPWSTR name, LPWSTR* itemId) override {
        const HRESULT hr = inner_->GetItemID(name, itemId);
        log_.push_back("id " + Narrow(name) + Failure(hr));
        return hr;
    }
    STDMETHODIMP BrowseAccessPaths(LPCWSTR itemId, LPENUMSTRING* paths) override {
        return inner_->BrowseAccessPaths(itemId, paths);
    }

private:
    ComPtr<IOPCBrowseServerAddressSpace> inner_;
    CallLog& log_;
};

} // namespace

// ------------------------------------------------------------------ servers

std::wstring Wide(const std::string& ansi) {
    return pelorin::AnsiToWide(ansi);
}

std::string Ansi(const std::wstring& wide) {
    return pelorin::WideToAnsi(wide.c_str());
}

ServerUnderTest::ServerUnderTest(const wchar_t* progId) {
    ComPtr<IUnknown> server;
    if (FAILED(simtest::CreateServer(progId, IID_PPV_ARGS(&server))))
        return;
    stats = simtest::StatsOf(server.Get());
    server.As(&browse);
}

std::vector<std::wstring> ServerUnderTest::BranchesHere() const {
    return browse ? simtest::Browse(browse.Get(), OPC_BRANCH) : std::vector<std::wstring>();
}

::testing::AssertionResult ServerUnderTest::ReleaseAndExpectNothingOutstanding() {
    browse.Reset();
    const simtest::Outstanding left = simtest::OutstandingOf(stats.Get());
    if (left.None())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "the server still holds objects=" << left.objects << " references=" << left.references
           << " sinks=" << left.sinks;
}

std::vector<std::wstring> PlantRootBranches() {
    return {L"Bulk",  L"Exact",  L"Channel1", L"Plant", L"Dups",
            L"Names", L"锅炉房", L"Hollow",   L"Evil"};
}

ComPtr<IOPCBrowseServerAddressSpace> Recording(IOPCBrowseServerAddressSpace* inner, CallLog& log) {
    return simtest::MakeObject<RecordingBrowse>(inner, log);
}

std::vector<std::string> ItemIds(const pelorin::BrowseNode::List& list) {
    std::vector<std::string> ids;
    for (const auto& node : list)
        ids.push_back(node->ItemId());
    return ids;
}

std::vector<std::string> Names(const pelorin::BrowseNode::List& list) {
    std::vector<std::string> names;
    for (const auto& node : list)
        names.push_back(node->Name());
    return names;
}

size_t CountNodes(const pelorin::BrowseNode& node) {
    size_t count = 1;
    for (const auto* list : {&node.Branches(), &node.Leaves(), &node.NestedItems()})
        for (const auto& child : *list)
            count += CountNodes(*child);
    return count;
}

int MaxDepth(const pelorin::BrowseNode& node) {
    int deepest = node.Depth();
    for (const auto* list : {&node.Branches(), &node.Leaves(), &node.NestedItems()})
        for (const auto& child : *list)
            deepest = std::max(deepest, MaxDepth(*child));
    return deepest;
}

} // namespace tagtest
