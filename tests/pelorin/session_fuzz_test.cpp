// A fixed budget of seeded mutations of valid "OPCSTMFORMATDATATIME" streams. Each stream sits
// flush against an inaccessible page, so a read past its end crashes the test; every item whose
// bytes the mutation left alone must still reach its record unchanged; and every string and
// array the reader allocates through COM is given back.
#include <gtest/gtest.h>

#include <objbase.h>
#include <windows.h>

#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "session/data_time_stream.h"
#include "session/item_value_record.h"
#include "session/stream_advise_sink.h"
#include "session_stream_builder.h"

namespace {

using pelorin::ItemValueRecord;

constexpr unsigned kSeed = 20261208;
constexpr int kCases = 20000;
constexpr size_t kMaxStream = 4096;

// [no access][... the stream, ending at the page end][no access]
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
    const BYTE* Place(const std::vector<BYTE>& bytes) {
        BYTE* at = base_ + (kPages - 1) * kPage - bytes.size();
        std::copy(bytes.begin(), bytes.end(), at);
        return at;
    }

private:
    static constexpr size_t kPage = 4096;
    static constexpr size_t kPages = 2 + kMaxStream / kPage;
    BYTE* base_ = nullptr;
};

// The task-allocator blocks alive (strings and arrays come from there).
class LiveBlocks : public IMallocSpy {
public:
    STDMETHODIMP QueryInterface(REFIID, void** object) override {
        *object = static_cast<IMallocSpy*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T size) override { return size; }
    STDMETHODIMP_(void*) PostAlloc(void* actual) override {
        if (actual)
            live_.insert(actual);
        return actual;
    }
    STDMETHODIMP_(void*) PreFree(void* request, BOOL) override {
        live_.erase(request);
        return request;
    }
    STDMETHODIMP_(void) PostFree(BOOL) override {}
    STDMETHODIMP_(SIZE_T) PreRealloc(void* request, SIZE_T size, void** out, BOOL) override {
        live_.erase(request);
        *out = request;
        return size;
    }
    STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override { return PostAlloc(actual); }
    STDMETHODIMP_(void*) PreGetSize(void* request, BOOL) override { return request; }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T size, BOOL) override { return size; }
    STDMETHODIMP_(void*) PreDidAlloc(void* request, BOOL) override { return request; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}
    size_t Count() const { return live_.size(); }

private:
    std::set<void*> live_;
};

std::string Bytes(const void* data, size_t size) {
    return std::string(static_cast<const char*>(data), size);
}

// Value, quality and timestamp as bytes, to compare what a record holds.
std::string Describe(const ItemValueRecord& record) {
    const VARIANT& v = record.Value();
    std::ostringstream out;
    out << v.vt << "/" << record.Quality() << "/" << record.Timestamp().dwLowDateTime << ":";
    if (v.vt == VT_BSTR)
        return out.str() + Bytes(v.bstrVal, SysStringByteLen(v.bstrVal));
    if (!(v.vt & VT_ARRAY))
        return out.str() + Bytes(reinterpret_cast<const BYTE*>(&v) + 2, sizeof v - 2);
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(v.parray, 1, &lower);
    SafeArrayGetUBound(v.parray, 1, &upper);
    out << lower << ".." << upper;
    for (LONG i = lower; i <= upper; ++i) {
        BYTE element[16] = {};
        SafeArrayGetElement(v.parray, &i, element);
        if ((v.vt & VT_TYPEMASK) == VT_BSTR) {
            BSTR text = *reinterpret_cast<BSTR*>(element);
            out << "|" << Bytes(text, SysStringByteLen(text));
            SysFreeString(text);
        } else {
            out << "|" << Bytes(element, SafeArrayGetElemsize(v.parray));
        }
    }
    return out.str();
}

void Clear(ItemValueRecord& record) {
    VARIANT empty;
    VariantInit(&empty);
    record.Store(empty, 0, FILETIME{});
}

struct Template {
    std::vector<BYTE> bytes;
    std::vector<BuiltItem> items;
    std::vector<std::string> expected; // each item's record after a clean read
};

std::vector<Template> MakeTemplates(ItemValueRecord (&records)[6]) {
    const SHORT shorts[] = {7, -8, 9, 10};
    const double reals[] = {1.5, -2.25};
    const VARIANT_BOOL yes = VARIANT_TRUE;
    const double real = 3.75;
    std::vector<StreamBuilder> builders(3);
    builders[0]
        .I4(records[0].Handle(), 123, 0xC0, FILETIME{1, 2})
        .Text(records[1].Handle(), L"Boiler.Temperature")
        .TextArray(records[2].Handle(), 1, {L"a", L"bc", L"锅炉"})
        .Array(records[3].Handle(), VT_I2, 2, 0, 4, shorts)
        .Plain(records[4].Handle(), VT_R8, &real, sizeof real, 0x40);
    builders[1]
        .TextArray(records[0].Handle(), -2, {L"", L"x"})
        .Array(records[1].Handle(), VT_R8, 8, 5, 2, reals)
        .Text(records[2].Handle(), L"")
        .Plain(records[3].Handle(), VT_BOOL, &yes, sizeof yes);
    builders[2].Text(records[4].Handle(), L"only one").I4(records[5].Handle(), -1);

    std::vector<Template> templates;
    for (StreamBuilder& builder : builders) {
        Template t;
        t.bytes = builder.Build(&t.items);
        pelorin::StreamAdviseSink::StoreStreamItems(t.bytes.data(), t.bytes.size());
        const pelorin::DataTimeStream reader(t.bytes.data(), t.bytes.size());
        for (size_t i = 0; i < t.items.size(); ++i)
            t.expected.push_back(Describe(*pelorin::FindItemValueRecord(reader.Header(i).client)));
        templates.push_back(std::move(t));
    }
    return templates;
}

// Changes values and length; marks every byte that no longer holds what the template had.
void Mutate(std::mt19937& random, std::vector<BYTE>& bytes, std::vector<bool>& touched) {
    auto pick = [&](size_t below) { return below ? static_cast<size_t>(random() % below) : 0; };
    const DWORD size = static_cast<DWORD>(bytes.size());
    const DWORD boundaries[] = {0,          1,          size,       size - 1,   size + 1,
                                0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x40000000, random()};
    for (int m = 1 + static_cast<int>(pick(4)); m > 0 && !bytes.empty(); --m) {
        switch (pick(5)) {
        case 0: { // one byte
            const size_t at = pick(bytes.size());
            bytes[at] = static_cast<BYTE>(random());
            touched[at] = true;
            break;
        }
        case 1:
        case 2: { // a boundary value over a 16- or 32-bit field
            const size_t width = pick(2) ? 4 : 2;
            if (bytes.size() < width)
                break;
            const size_t at = pick(bytes.size() - width + 1) & ~size_t(1);
            const DWORD value = boundaries[pick(sizeof boundaries / sizeof boundaries[0])];
            for (size_t i = 0; i < width; ++i) {
                bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
                touched[at + i] = true;
            }
            break;
        }
        case 3: // cut short
            bytes.resize(pick(bytes.size()));
            touched.resize(bytes.size());
            break;
        default: // garbage appended
            for (size_t n = pick(64); n > 0 && bytes.size() < kMaxStream; --n) {
                bytes.push_back(static_cast<BYTE>(random()));
                touched.push_back(true);
            }
        }
    }
}

// An item is intact when its header and value bytes and the item count are as built, and no
// other header the reader reads carries its handle.
bool Intact(const std::vector<BYTE>& bytes, const std::vector<bool>& touched, const BuiltItem& item,
            OPCHANDLE handle) {
    if (item.valueEnd > bytes.size() || touched[4] || touched[5] || touched[6] || touched[7])
        return false;
    for (size_t i = item.headerAt; i < item.headerAt + 20; ++i)
        if (touched[i])
            return false;
    for (size_t i = item.valueAt; i < item.valueEnd; ++i)
        if (touched[i])
            return false;
    const pelorin::DataTimeStream reader(bytes.data(), bytes.size());
    int naming = 0;
    for (size_t i = 0; i < reader.ItemCount(); ++i)
        naming += reader.Header(i).client == handle ? 1 : 0;
    return naming == 1;
}

TEST(StreamFuzz, MutatedStreamsNeverReadOutsideLeakOrLoseIntactItems) {
    // Freed strings go back to the allocator at once instead of into oleaut32's cache.
    using NoCache = void(WINAPI*)();
    if (auto noCache = reinterpret_cast<NoCache>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"oleaut32.dll"), "SetOaNoCache"))))
        noCache();
    LiveBlocks spy;
    ASSERT_EQ(S_OK, CoRegisterMallocSpy(&spy));
    GuardedBuffer guarded;
    std::mt19937 random(kSeed);
    int intact = 0, damaged = 0;
    {
        ItemValueRecord records[6];
        const std::vector<Template> templates = MakeTemplates(records);
        for (ItemValueRecord& record : records)
            Clear(record);
        const size_t liveBefore = spy.Count();
        for (int n = 0; n < kCases; ++n) {
            const Template& t = templates[random() % templates.size()];
            std::vector<BYTE> bytes = t.bytes;
            std::vector<bool> touched(bytes.size(), false);
            Mutate(random, bytes, touched);
            for (ItemValueRecord& record : records)
                Clear(record);
            pelorin::StreamAdviseSink::StoreStreamItems(guarded.Place(bytes), bytes.size());
            const pelorin::DataTimeStream original(t.bytes.data(), t.bytes.size());
            for (size_t i = 0; i < t.items.size(); ++i) {
                const OPCHANDLE handle = original.Header(i).client;
                if (!Intact(bytes, touched, t.items[i], handle)) {
                    ++damaged;
                    continue;
                }
                ASSERT_EQ(t.expected[i], Describe(*pelorin::FindItemValueRecord(handle)))
                    << "case " << n << ", item " << i;
                ++intact;
            }
        }
        for (ItemValueRecord& record : records)
            Clear(record);
        EXPECT_EQ(liveBefore, spy.Count()) << "blocks the reader left behind";
    }
    CoRevokeMallocSpy();
    EXPECT_GT(intact, kCases / 2); // the budget exercised both sides
    EXPECT_GT(damaged, kCases / 2);
}

} // namespace
