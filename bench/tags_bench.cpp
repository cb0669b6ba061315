// What Make OPC Tag and the snapshot cost against the simulated servers. Prints figures;
// asserts nothing.
//
// 1. Make OPC Tag on a server of 4,000 items in 20 branches, in process and across processes,
//    into the host's tag database (as the host stand-in runs it) and into a bare in-memory one,
//    beside the bare cost of the COM calls the walk cannot do without (per branch one move
//    down, one branch and one item listing with their Next calls of 100 names, one move up; per
//    item one attempted move down and one GetItemID), made on the same server in the same run.
// 2. A snapshot of 100,000 items: time, memory, and the stack it needs beside a snapshot of
//    1,000 items of the same shape.
//   tags_bench [repeats in process] [repeats across processes]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "sim_server.h"
#include "sim_world.h"
#include "tagdb.h"
#include "tags/browse_node.h"
#include "tags/tag_creation.h"
#include "tags/tag_link_table.h"

using Microsoft::WRL::ComPtr;

// Every C++ allocation of this program (the snapshot's code is linked in) is counted: the bytes
// in use now and the most in use at once since the last reset.
namespace {
std::atomic<size_t> gHeapInUse{0};
std::atomic<size_t> gHeapPeak{0};
constexpr size_t kHeader = 16; // keeps the caller's block aligned

void* CountedAllocate(size_t bytes) {
    auto* block = static_cast<unsigned char*>(std::malloc(bytes + kHeader));
    if (!block)
        throw std::bad_alloc();
    *reinterpret_cast<size_t*>(block) = bytes;
    const size_t now = gHeapInUse += bytes;
    size_t peak = gHeapPeak.load();
    while (now > peak && !gHeapPeak.compare_exchange_weak(peak, now)) {
    }
    return block + kHeader;
}

void CountedFree(void* memory) {
    if (!memory)
        return;
    auto* block = static_cast<unsigned char*>(memory) - kHeader;
    gHeapInUse -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}
} // namespace

void* operator new(size_t bytes) {
    return CountedAllocate(bytes);
}
void* operator new[](size_t bytes) {
    return CountedAllocate(bytes);
}
void operator delete(void* memory) noexcept {
    CountedFree(memory);
}
void operator delete[](void* memory) noexcept {
    CountedFree(memory);
}
void operator delete(void* memory, size_t) noexcept {
    CountedFree(memory);
}
void operator delete[](void* memory, size_t) noexcept {
    CountedFree(memory);
}

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

constexpr int kBranches = 20;
constexpr int kItemsPerBranch = 200;

std::string Lower(const std::string& text) {
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// A tag database in memory with the host's rules that matter here: a taken name (ignoring case)
// is refused, a link replaces the tag's link for the same parameter.
class MemoryTag final : public pelorin::HostTag {
public:
    explicit MemoryTag(std::string name) : name_(std::move(name)) {}
    fw::String Name() override { return fw::String(name_); }
    int ReservedSlot2() override { return 0; }
    int ReservedSlot3() override { return 0; }
    int ReservedSlot4() override { return 0; }
    int ReservedSlot5() override { return 0; }
    int ReservedSlot6() override { return 0; }
    int IsHidden() override { return 0; }
    int GetLinks(pelorin::TagLinkArray* links) override {
        if (!links)
            return 0;
        if (!pvItem_.empty()) {
            pelorin::TagLink link;
            link.parameter = "PV";
            link.SetItemId(pvItem_.c_str());
            if (links->Add(link) < 0)
                return 0;
        }
        return 1;
    }
    int AddLink(const pelorin::TagLink* link) override {
        pvItem_ = link->itemId.str();
        return 1;
    }
    int ReservedSlot10() override { return 0; }
    int RemoveLink(const fw::String*) override {
        pvItem_.clear();
        return 1;
    }
    int ClearLinks() override { return 1; }

private:
    std::string name_;
    std::string pvItem_;
};

class MemoryTagDatabase final : public pelorin::HostTagDatabase {
public:
    int ListTags(fw::PtrList* tags) override {
        tags->RemoveAll();
        for (MemoryTag& tag : tags_)
            tags->AddTail(static_cast<pelorin::HostTag*>(&tag));
        return 1;
    }
    int ReservedSlot2() override { return 0; }
    int Save() override { return 1; }
    pelorin::HostTag* CreateTag(int, int, const fw::String* name, const fw::String*) override {
        if (!name || name->empty() || !names_.insert(Lower(name->str())).second)
            return nullptr;
        tags_.emplace_back(name->str());
        return &tags_.back();
    }
    size_t Count() const { return tags_.size(); }

private:
    std::deque<MemoryTag> tags_;
    std::unordered_set<std::string> names_;
};

// Linking touches no grid cell; the grid is filled once after the run, which the dialog's own
// benchmark measures (itemlink_bench). Here the refill only counts the tags.
class NoGrid final : public pelorin::LinkGrid {
public:
    void SetRowCount(long) override {}
    long GetRowCount() override { return 50; }
    void SetCellText(long, long, const std::wstring&) override {}
    std::string GetCellText(long, long) override { return std::string(); }
};

class Silent final : public pelorin::LinkMessages {
public:
    void Tell(const std::wstring&) override {}
    bool AskYesNo(const std::wstring&) override { return false; }
};

struct TaskMemFree {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};
using TaskString = std::unique_ptr<wchar_t, TaskMemFree>;

// Reads an enumeration in batches of 100, handing each name to `use`, freeing all.
void ReadNames(IEnumString* names, const std::function<void(wchar_t*)>& use) {
    LPOLESTR batch[100];
    for (;;) {
        ULONG fetched = 0;
        const HRESULT hr = names->Next(100, batch, &fetched);
        if (FAILED(hr))
            return;
        for (ULONG i = 0; i < fetched && i < 100; ++i) {
            TaskString name(batch[i]);
            if (use)
                use(name.get());
        }
        if (hr != S_OK)
            return;
    }
}

// The COM calls the walk of one branch must make, and nothing else.
void BareCalls(IOPCBrowseServerAddressSpace* browse, const std::wstring& branch) {
    if (FAILED(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, branch.c_str())))
        return;
    ComPtr<IEnumString> names;
    if (SUCCEEDED(browse->BrowseOPCItemIDs(OPC_BRANCH, L"*", VT_EMPTY, 0, &names)) && names)
        ReadNames(names.Get(), nullptr);
    names.Reset();
    if (browse->BrowseOPCItemIDs(OPC_LEAF, L"", VT_EMPTY, 0, &names) == S_OK && names) {
        ReadNames(names.Get(), [&](wchar_t* name) {
            if (SUCCEEDED(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, name)))
                browse->ChangeBrowsePosition(OPC_BROWSE_UP, L"");
            LPWSTR id = nullptr;
            browse->GetItemID(name, &id);
            CoTaskMemFree(id);
        });
    }
    browse->ChangeBrowsePosition(OPC_BROWSE_UP, L"");
}

// Calls the server counted so far on the browse interface and its enumerators.
long BrowseCalls(IOPCBrowseServerAddressSpace* browse) {
    const ComPtr<IOpcSimStats> stats = simtest::StatsOf(browse);
    if (!stats)
        return -1;
    long total = 0;
    for (const wchar_t* method : {L"IOPCBrowseServerAddressSpace::ChangeBrowsePosition",
                                  L"IOPCBrowseServerAddressSpace::BrowseOPCItemIDs",
                                  L"IOPCBrowseServerAddressSpace::GetItemID", L"IEnumString::Next"})
        total += simtest::CallsOf(stats.Get(), method);
    return total;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

ComPtr<IOPCBrowseServerAddressSpace> Connect(const wchar_t* progId) {
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    simtest::CreateServer(progId, IID_PPV_ARGS(&browse));
    return browse;
}

void BenchMakeOpcTag(const wchar_t* progId, const char* where, int repeats) {
    const pelorin::BrowseInterface browse = Connect(progId);
    if (!browse) {
        std::printf("Make OPC Tag %s: the server cannot be created\n", where);
        return;
    }
    std::vector<std::string> branches;
    std::vector<std::wstring> wideBranches;
    for (int i = 1; i <= kBranches; ++i) {
        branches.push_back("Line" + std::to_string(i));
        wideBranches.push_back(L"Line" + std::to_wstring(i));
    }
    std::vector<double> bare, walk, make, bareDatabase;
    size_t made = 0;
    long bareCalls = 0, makeCalls = 0;
    for (int round = 0; round <= repeats; ++round) { // round 0 warms all up
        long calls = BrowseCalls(browse.Get());
        auto start = Clock::now();
        for (const std::wstring& branch : wideBranches)
            BareCalls(browse.Get(), branch);
        const double bareMs = Ms(Clock::now() - start).count();
        bareCalls = BrowseCalls(browse.Get()) - calls;

        start = Clock::now();
        for (const std::string& branch : branches) {
            pelorin::ItemIdMap map;
            pelorin::BrowseNode top(map, browse, branch, 0);
        }
        const double walkMs = Ms(Clock::now() - start).count();

        const pelorin::AliasMap aliases{{"Line1", "L1"}};
        // One run into the given database; the time it took.
        const auto makeInto = [&](pelorin::HostTagDatabase& database, auto count) {
            int shown = 0;
            NoGrid grid;
            Silent silent;
            // The item link dialog's own LinkItemToTag, with the attributes it starts with.
            pelorin::TagLinkTable table(&database, grid, silent);
            const pelorin::LinkAttributes attributes;
            pelorin::TagRun run{browse,
                                &database,
                                aliases,
                                shown,
                                [&](int column, pelorin::HostTag* tag, const std::string& item) {
                                    return table.LinkItemToTag(column, tag, item, attributes);
                                },
                                [&] { shown = static_cast<int>(count()); },
                                [](const std::wstring&) {}};
            const auto begin = Clock::now();
            pelorin::MakeOpcTags(run, branches);
            return Ms(Clock::now() - begin).count();
        };
        host::TagDatabase hostDatabase;
        calls = BrowseCalls(browse.Get());
        const double makeMs = makeInto(hostDatabase, [&] { return hostDatabase.Count(); });
        makeCalls = BrowseCalls(browse.Get()) - calls;
        made = hostDatabase.Count();
        MemoryTagDatabase memory;
        const double memoryMs = makeInto(memory, [&] { return memory.Count(); });
        if (round > 0) {
            bare.push_back(bareMs);
            walk.push_back(walkMs);
            make.push_back(makeMs);
            bareDatabase.push_back(memoryMs);
        }
    }
    std::printf("Make OPC Tag %s: %zu tags from %d branches of %d items\n", where, made, kBranches,
                kItemsPerBranch);
    std::printf("  Make OPC Tag:        %8.1f ms (median of %d), %ld calls on the server\n",
                Median(make), repeats, makeCalls);
    std::printf("  bare COM calls:      %8.1f ms (median of %d), %ld calls on the server\n",
                Median(bare), repeats, bareCalls);
    std::printf("  ratio:               %8.3f (target: within 1.10)\n",
                Median(make) / Median(bare));
    std::printf("  the snapshots alone: %8.1f ms, ratio %.3f\n", Median(walk),
                Median(walk) / Median(bare));
    std::printf("  into a bare in-memory tag database instead of the host's: %.1f ms, ratio %.3f\n",
                Median(bareDatabase), Median(bareDatabase) / Median(bare));
}

// ------------------------------------------------------------------ the 100,000-item snapshot

constexpr size_t kPaintedStack = 512 * 1024;
constexpr unsigned char kPaint = 0xA5;

// Fills the stack below the caller with a pattern, so that the deepest byte a later call of
// the same caller writes can be found. Returns the lowest painted address.
__attribute__((noinline)) uintptr_t PaintStack() {
    volatile unsigned char area[kPaintedStack];
    for (size_t i = 0; i < kPaintedStack; ++i)
        area[i] = kPaint;
    return reinterpret_cast<uintptr_t>(&area[0]);
}

__attribute__((noinline)) size_t StackUsedAbove(uintptr_t low) {
    const volatile unsigned char* bytes = reinterpret_cast<const volatile unsigned char*>(low);
    size_t untouched = 0;
    while (untouched < kPaintedStack && bytes[untouched] == kPaint)
        ++untouched;
    return kPaintedStack - untouched;
}

struct SnapshotFigures {
    size_t items = 0;
    double ms = 0;
    size_t stack = 0;     // bytes of stack below the caller that the walk wrote
    size_t heldBytes = 0; // heap the finished snapshot holds
    size_t peakBytes = 0; // the most heap in use during the walk, beyond what was there before
};

struct SnapshotJob {
    const wchar_t* progId;
    std::string branch;
    SnapshotFigures figures;
};


__attribute__((noinline)) void TakeSnapshot(SnapshotJob& job,
                                            const pelorin::BrowseInterface& browse) {
    const size_t before = gHeapInUse;
    gHeapPeak = before;
    const auto start = Clock::now();
    pelorin::ItemIdMap map;
    auto top = std::make_unique<pelorin::BrowseNode>(map, browse, job.branch, 0);
    job.figures.ms = Ms(Clock::now() - start).count();
    job.figures.items = map.Size();
    job.figures.heldBytes = gHeapInUse - before;
    job.figures.peakBytes = gHeapPeak - before;
}

// On a thread of its own with a server of its own, so that every measurement starts from the
// same stack.
DWORD WINAPI SnapshotThread(void* parameter) {
    auto& job = *static_cast<SnapshotJob*>(parameter);
    if (FAILED(OleInitialize(nullptr)))
        return 1;
    {
        const pelorin::BrowseInterface browse = Connect(job.progId);
        if (browse) {
            const uintptr_t low = PaintStack();
            TakeSnapshot(job, browse);
            job.figures.stack = StackUsedAbove(low);
        }
    }
    OleUninitialize();
    return 0;
}

SnapshotFigures Snapshot(const wchar_t* progId, const std::string& branch) {
    SnapshotJob job{progId, branch, {}};
    HANDLE thread = CreateThread(nullptr, 1024 * 1024, SnapshotThread, &job, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return job.figures;
}

void BenchSnapshot() {
    const SnapshotFigures small = Snapshot(L"TagsBench.Big", "Small");
    const SnapshotFigures big = Snapshot(L"TagsBench.Big", "Big");
    if (big.items == 0) {
        std::printf("snapshot: the server cannot be created\n");
        return;
    }
    std::printf("snapshot of %zu items (100 sub-branches): %.1f ms, %.2f us per item\n", big.items,
                big.ms, big.ms * 1000.0 / static_cast<double>(big.items));
    std::printf("  heap held by the finished snapshot: %.1f MB (%.0f bytes per item); "
                "peak during the walk: %.1f MB\n",
                static_cast<double>(big.heldBytes) / (1024.0 * 1024.0),
                static_cast<double>(big.heldBytes) / static_cast<double>(big.items),
                static_cast<double>(big.peakBytes) / (1024.0 * 1024.0));
    std::printf("  stack: %zu bytes for %zu items, %zu bytes for %zu items\n", small.stack,
                small.items, big.stack, big.items);
}

std::string BenchWorld() {
    const std::string line = R"({"branch": "Line{n}", "repeat": )" + std::to_string(kBranches) +
                             R"(, "children": [{"item": "Tag{n}", "repeat": )" +
                             std::to_string(kItemsPerBranch) + R"(, "type": "R4"}]})";
    const std::string big =
        R"({"branch": "Big", "children": [{"branch": "Unit{n}", "repeat": 100, "children": [{"item": "Value{n}", "repeat": 1000}]}]}, )"
        R"({"branch": "Small", "children": [{"branch": "Unit{n}", "repeat": 100, "children": [{"item": "Value{n}", "repeat": 10}]}]})";
    return R"({"servers": [)"
           R"({"progId": "TagsBench.Plant", "clsid": "{5CE158C6-9521-43F4-B32E-E7881B7AE8FA}", "space": [)" +
           line +
           R"(]}, {"progId": "TagsBench.Plant.Local", "clsid": "{F87B7E76-B978-4D6E-8619-8E74C0D8B3F5}", "activation": "local", "space": [)" +
           line +
           R"(]}, {"progId": "TagsBench.Big", "clsid": "{0D3462A5-7893-4C7D-B889-9F64D47F75A2}", "space": [)" +
           big + "]}]}";
}

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const int remoteRepeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    if (FAILED(OleInitialize(nullptr)))
        return 1;
    {
        const auto world = simtest::SimWorld::FromText(BenchWorld());
        if (!world->Ready()) {
            std::printf("cannot register the bench world: %s\n", world->Error().c_str());
            return 1;
        }
        BenchMakeOpcTag(L"TagsBench.Plant", "in process", repeats);
        BenchMakeOpcTag(L"TagsBench.Plant.Local", "across processes", remoteRepeats);
        BenchSnapshot();
    }
    OleUninitialize();
    return 0;
}
