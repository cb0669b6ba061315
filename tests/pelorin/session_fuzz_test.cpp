// Seeded fuzzing of the "OPCSTMFORMATDATATIME" reader. Streams are made the way servers write
// them (every accepted value type, strings, arrays of every accepted element type and of
// strings, bounds and counts at their limits), then mutated where it hurts: item counts, value
// offsets, string byte counts, array dimensions, element sizes, element counts, lower bounds,
// type words, cuts at field edges, plus stray bytes. The seed changes with every run and is
// printed; PELORIN_FUZZ_SEED=<seed> replays a run.
//
// What must hold for every case:
//  - nothing is read outside the stream: streams read from plain memory sit against an
//    inaccessible page, at their end or at their start;
//  - every record holds exactly what the last readable item naming it describes, read from
//    the bytes of the stream as the format lays them out and within the stream's real size (for
//    streams in global memory: the size of the block, whatever the header claims), and a
//    record no readable item names is left alone;
//  - an item whose bytes the mutation left alone arrives as it would from the clean stream;
//  - every string and array the reader allocates through COM is given back.
#include <gtest/gtest.h>

#include <objbase.h>
#include <windows.h>
#include <wrl/client.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "session/data_time_stream.h"
#include "session/item_value_record.h"
#include "session/stream_advise_sink.h"
#include "session_fuzz_reference.h"
#include "session_fuzz_streams.h"
#include "task_memory.h"

namespace {

using pelorin::ItemValueRecord;
using namespace fuzz;

constexpr int kPlainCases = 100000; // read from plain memory between guard pages
constexpr int kSinkCases = 12000;   // through IAdviseSink::OnDataChange with global memory
constexpr int kTemplates = 256;

// A read outside the stream ends the process at the guard page; it still says which seed and
// which case did it, and ends at once instead of waiting for a debugger.
volatile unsigned g_seed = 0;
volatile int g_case = -1;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    std::printf("fuzz crash: exception 0x%08lx at %p in case %d of seed %u (replay with "
                "PELORIN_FUZZ_SEED=%u)\n",
                exception->ExceptionRecord->ExceptionCode,
                exception->ExceptionRecord->ExceptionAddress, g_case, g_seed, g_seed);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

unsigned RunSeed() {
    if (const char* replay = std::getenv("PELORIN_FUZZ_SEED"))
        return static_cast<unsigned>(std::strtoul(replay, nullptr, 0));
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<unsigned>(now.QuadPart) ^ (GetCurrentProcessId() << 16) ^ GetTickCount();
}

// ------------------------------------------------------------ where streams are read from

// [no access][readable pages][no access]: a stream sits against either inaccessible page.
class GuardedBuffer {
public:
    GuardedBuffer() {
        base_ = static_cast<BYTE*>(
            VirtualAlloc(nullptr, kPages * kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base_, kPage, PAGE_NOACCESS, &old);
        VirtualProtect(base_ + (kPages - 1) * kPage, kPage, PAGE_NOACCESS, &old);
    }
    ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    bool Ready() const { return base_ != nullptr; }
    const BYTE* Place(const std::vector<BYTE>& bytes, bool atStart) {
        BYTE* at = atStart ? base_ + kPage : base_ + (kPages - 1) * kPage - bytes.size();
        std::memcpy(at, bytes.data(), bytes.size());
        return at;
    }

private:
    static constexpr size_t kPage = 4096;
    static constexpr size_t kPages = 2 + kMaxStream / kPage;
    BYTE* base_ = nullptr;
};

void Clear(ItemValueRecord& record) {
    VARIANT empty;
    VariantInit(&empty);
    record.Store(empty, 0, FILETIME{});
}

bool Untouched(const ItemValueRecord& record) {
    return record.Value().vt == VT_EMPTY && record.Quality() == 0 &&
           record.Timestamp().dwLowDateTime == 0 && record.Timestamp().dwHighDateTime == 0;
}

// One run: templates made from the seed, mutated case by case, each checked as described at
// the top of this file.
class FuzzRun {
public:
    explicit FuzzRun(unsigned seed) : seed_(seed), random_(seed) {
        for (ItemValueRecord& record : records_)
            handles_.push_back(record.Handle());
        Generator generator(random_);
        for (int i = 0; i < kTemplates; ++i) {
            Template t = generator.Make(handles_);
            ClearAll();
            pelorin::StreamAdviseSink::StoreStreamItems(t.bytes.data(), t.bytes.size());
            for (size_t item = 0; item < t.items.size(); ++item)
                t.clean.push_back(t.record[item] < 0 ? std::string()
                                                     : Describe(records_[t.record[item]]));
            templates_.push_back(std::move(t));
        }
        ClearAll();
    }

    // Runs one case; false (with `failure` set) when something did not hold.
    bool Case(int n, bool throughSink, IAdviseSink* sink, UINT dataTime, UINT writeComplete) {
        const Template& t = templates_[random_() % templates_.size()];
        std::vector<BYTE> bytes = t.bytes;
        Mutation mutation(random_, bytes, t.items);
        mutation.Apply();
        std::vector<bool> touched = mutation.Touched();
        ClearAll();
        bool otherFormat = false;
        if (!throughSink) {
            pelorin::StreamAdviseSink::StoreStreamItems(guarded_.Place(bytes, random_() & 1),
                                                        bytes.size());
        } else {
            // The block's real size bounds the reader, not the size the header claims.
            HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() ? bytes.size() : 1);
            if (!memory)
                return Fail(n, "GlobalAlloc failed");
            const size_t real = GlobalSize(memory);
            bytes.resize(real, 0);
            touched.resize(real, true);
            std::memcpy(GlobalLock(memory), bytes.data(), real);
            GlobalUnlock(memory);
            otherFormat = random_() % 32 == 0;
            FORMATETC format = {static_cast<CLIPFORMAT>(otherFormat ? writeComplete : dataTime),
                                nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
            STGMEDIUM medium = {};
            medium.tymed = TYMED_HGLOBAL;
            medium.hGlobal = memory;
            sink->OnDataChange(&format, &medium);
            if (GlobalFlags(memory) & GMEM_LOCKCOUNT)
                return Fail(n, "the sink left the block locked");
            GlobalFree(memory);
        }
        return Check(n, t, bytes, touched, otherFormat);
    }

    const std::string& Failure() const { return failure_; }
    int Intact() const { return intact_; }
    int Changed() const { return changed_; }
    void ClearAll() {
        for (ItemValueRecord& record : records_)
            Clear(record);
    }

private:
    bool Fail(int n, const std::string& what) {
        std::ostringstream out;
        out << "seed " << seed_ << ", case " << n << ": " << what
            << " (replay with PELORIN_FUZZ_SEED=" << seed_ << ")";
        failure_ = out.str();
        return false;
    }

    bool Check(int n, const Template& t, const std::vector<BYTE>& bytes,
               const std::vector<bool>& touched, bool otherFormat) {
        const size_t readable =
            bytes.size() >= 20 ? std::min<size_t>(At<DWORD>(bytes, 4), (bytes.size() - 20) / 20)
                               : 0;
        // Each record holds what the last header naming it with a readable value describes,
        // or nothing when there is none.
        for (int r = 0; r < kRecords; ++r) {
            std::string expected = Canonical(0, FILETIME{}, VT_EMPTY, "");
            for (size_t i = 0; i < readable && !otherFormat; ++i) {
                if (At<DWORD>(bytes, 20 + 20 * i) != handles_[r])
                    continue;
                const std::string described = Derive(bytes, bytes.size(), i);
                if (!described.empty())
                    expected = described;
            }
            const std::string now = Describe(records_[r]);
            if (now != expected)
                return Fail(n, "record " + std::to_string(r) + " holds " + Printable(now) +
                                   " where the stream describes " + Printable(expected));
            if (!Untouched(records_[r]))
                ++changed_;
        }
        for (size_t i = 0; i < t.items.size() && !otherFormat; ++i) {
            const Fields& item = t.items[i];
            if (t.record[i] < 0 || item.end > bytes.size() || i >= readable || touched[4] ||
                touched[5] || touched[6] || touched[7])
                continue;
            bool clean = true;
            for (size_t b = item.header; b < item.header + 20 && clean; ++b)
                clean = !touched[b];
            for (size_t b = item.value; b < item.end && clean; ++b)
                clean = !touched[b];
            int naming = 0; // another header may have been made to name the same record
            for (size_t h = 0; h < readable; ++h)
                naming += At<DWORD>(bytes, 20 + 20 * h) == handles_[t.record[i]] ? 1 : 0;
            if (!clean || naming != 1)
                continue;
            ++intact_;
            if (Describe(records_[t.record[i]]) != t.clean[i])
                return Fail(n, "intact item " + std::to_string(i) + " lost its value");
        }
        return true;
    }

    const unsigned seed_;
    std::mt19937 random_;
    ItemValueRecord records_[kRecords];
    std::vector<OPCHANDLE> handles_;
    std::vector<Template> templates_;
    GuardedBuffer guarded_;
    std::string failure_;
    int intact_ = 0;
    int changed_ = 0;
};

class StreamFuzz : public testing::Test {
protected:
    void SetUp() override {
        // Freed strings go back to the allocator at once instead of into oleaut32's cache.
        using NoCache = void(WINAPI*)();
        if (auto noCache = reinterpret_cast<NoCache>(reinterpret_cast<void*>(
                GetProcAddress(GetModuleHandleW(L"oleaut32.dll"), "SetOaNoCache"))))
            noCache();
        // The task-allocator blocks alive (strings and arrays come from there).
        spy_ = std::make_unique<simtest::TaskMemoryWatch>();
        ASSERT_TRUE(spy_->Active());
    }
    void TearDown() override { spy_.reset(); }

    // Runs the cases and reports what they did and how fast.
    void Run(int cases, bool throughSink) {
        const unsigned seed = RunSeed();
        std::printf("fuzz seed %u (replay with PELORIN_FUZZ_SEED=%u)\n", seed, seed);
        std::fflush(stdout);
        g_seed = seed;
        LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(ReportCrash);
        SCOPED_TRACE("seed " + std::to_string(seed));
        const UINT dataTime = RegisterClipboardFormatA("OPCSTMFORMATDATATIME");
        const UINT writeComplete = RegisterClipboardFormatA("OPCSTMFORMATWRITECOMPLETE");
        Microsoft::WRL::ComPtr<pelorin::StreamAdviseSink> sink(
            new pelorin::StreamAdviseSink(dataTime));
        long before = 0;
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        int intact = 0, changed = 0;
        {
            FuzzRun run(seed);
            before = spy_->Live();
            QueryPerformanceCounter(&start);
            for (int n = 0; n < cases; ++n) {
                g_case = n;
                ASSERT_TRUE(run.Case(n, throughSink, sink.Get(), dataTime, writeComplete))
                    << run.Failure();
            }
            QueryPerformanceCounter(&end);
            intact = run.Intact();
            changed = run.Changed();
            run.ClearAll();
            EXPECT_EQ(before, spy_->Live()) << "blocks the reader left behind";
        }
        SetUnhandledExceptionFilter(previous);
        const double seconds =
            static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
        std::printf("%d cases in %.2f s: %.0f cases/s; %d intact items, %d records changed\n",
                    cases, seconds, cases / seconds, intact, changed);
        // A budget that reached both sides: untouched items and damaged ones that still read.
        EXPECT_GT(intact, cases / 4);
        EXPECT_GT(changed, cases / 4);
    }

    std::unique_ptr<simtest::TaskMemoryWatch> spy_;
};

TEST_F(StreamFuzz, MutatedStreamsInPlainMemoryNeverReadOutsideLeakOrLoseIntactItems) {
    Run(kPlainCases, false);
}

TEST_F(StreamFuzz, MutatedStreamsThroughTheSinkAreBoundByTheirBlocksRealSize) {
    Run(kSinkCases, true);
}

} // namespace