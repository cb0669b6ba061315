// A fixed budget of seeded mutations of valid "OPCSTMFORMATDATATIME" streams. Each mutated
// stream sits flush against an inaccessible page, so a read past its end crashes the test; every
// item whose bytes the mutation did not touch must still reach its record unchanged; and all
// memory the reader allocates through COM (strings, arrays) is given back.
#include <gtest/gtest.h>

#include <objbase.h>
#include <windows.h>

#include <cstring>
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
using pelorin::StreamAdviseSink;

constexpr unsigned kSeed = 20261208;
constexpr int kCases = 20000;
constexpr size_t kMaxStream = 4096;

// Pages of our own: [no access][stream ... flush to the end][no access].
class GuardedBuffer {
public:
    GuardedBuffer() {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        dataPages_ = (kMaxStream + page_ - 1) / page_;
        base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, (dataPages_ + 2) * page_,
                                                MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base_, page_, PAGE_NOACCESS, &old);
        VirtualProtect(base_ + (dataPages_ + 1) * page_, page_, PAGE_NOACCESS, &old);
    }
    ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    const BYTE* Place(const std::vector<BYTE>& bytes) {
        BYTE* end = base_ + (dataPages_ + 1) * page_;
        BYTE* at = end - bytes.size();
        if (!bytes.empty())
            std::memcpy(at, bytes.data(), bytes.size());
        return at;
    }

private:
    size_t page_ = 0, dataPages_ = 0;
    BYTE* base_ = nullptr;
};

// Counts the task-allocator blocks alive (strings and arrays come from there).
class LiveBlocks : public IMallocSpy {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IMallocSpy) {
            *object = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
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
    STDMETHODIMP_(SIZE_T) PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override {
        old_ = request;
        *newRequest = request;
        return size;
    }
    STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override {
        live_.erase(old_);
        if (actual)
            live_.insert(actual);
        return actual;
    }
    STDMETHODIMP_(void*) PreGetSize(void* request, BOOL) override { return request; }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T size, BOOL) override { return size; }
    STDMETHODIMP_(void*) PreDidAlloc(void* request, BOOL) override { return request; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}

    size_t Count() const { return live_.size(); }

private:
    std::set<void*> live_;
    void* old_ = nullptr;
};

// A value, quality and timestamp as text, to compare what a record holds.
std::string Describe(const ItemValueRecord& record) {
    std::ostringstream out;
    const VARIANT& v = record.Value();
    out << "vt=" << v.vt << " q=" << record.Quality() << " t=" << record.Timestamp().dwLowDateTime
        << "/" << record.Timestamp().dwHighDateTime << " ";
    if (v.vt == VT_BSTR) {
        out << "'"
            << std::string(reinterpret_cast<const char*>(v.bstrVal), SysStringByteLen(v.bstrVal))
            << "'";
    } else if (v.vt & VT_ARRAY) {
        LONG lower = 0, upper = 0;
        SafeArrayGetLBound(v.parray, 1, &lower);
        SafeArrayGetUBound(v.parray, 1, &upper);
        out << "[" << lower << ".." << upper << "]";
        for (LONG i = lower; i <= upper; ++i) {
            if ((v.vt & VT_TYPEMASK) == VT_BSTR) {
                BSTR text = nullptr;
                SafeArrayGetElement(v.parray, &i, &text);
                out << " '"
                    << std::string(reinterpret_cast<const char*>(text), SysStringByteLen(text))
                    << "'";
                SysFreeString(text);
            } else {
                BYTE element[16] = {};
                SafeArrayGetElement(v.parray, &i, element);
                for (BYTE b : element)
                    out << " " << int(b);
            }
        }
    } else {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(&v);
        for (size_t i = 2; i < sizeof v; ++i)
            out << int(bytes[i]) << ",";
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
    std::vector<std::string> expected; // what each item's record holds after a clean read
};

std::vector<Template> MakeTemplates(ItemValueRecord (&records)[6]) {
    const SHORT shorts[] = {7, -8, 9, 10};
    const double reals[] = {1.5, -2.25};
    DECIMAL dec = {};
    dec.Lo64 = 99;
    dec.scale = 1;
    const VARIANT_BOOL yes = VARIANT_TRUE;
    std::vector<StreamBuilder> builders(3);
    builders[0]
        .I4(records[0].Handle(), 123, 0xC0, FILETIME{1, 2})
        .Text(records[1].Handle(), L"Boiler.Temperature")
        .TextArray(records[2].Handle(), 1, {L"a", L"bc", L"锅炉"})
        .Array(records[3].Handle(), VT_I2, 2, 0, 4, shorts)
        .R8(records[4].Handle(), 3.75, 0x40)
        .Plain(records[5].Handle(), VT_DECIMAL, &dec, sizeof dec);
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
        for (ItemValueRecord& record : records)
            Clear(record);
        StreamAdviseSink::StoreStreamItems(t.bytes.data(), t.bytes.size());
        for (size_t i = 0; i < t.items.size(); ++i) {
            const OPCHANDLE handle =
                *reinterpret_cast<const DWORD*>(t.bytes.data() + t.items[i].headerAt);
            t.expected.push_back(Describe(*pelorin::FindItemValueRecord(handle)));
        }
        templates.push_back(std::move(t));
    }
    return templates;
}

// Mutates `bytes` in place (values, length) and marks the bytes it changed.
void Mutate(std::mt19937& random, std::vector<BYTE>& bytes, std::vector<bool>& touched) {
    auto pick = [&](size_t below) { return below ? static_cast<size_t>(random() % below) : 0; };
    const DWORD size = static_cast<DWORD>(bytes.size());
    const DWORD boundaries[] = {0,          1,          2,          size,       size - 1, size + 1,
                                0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x40000000, 0x10000,  random()};
    const int mutations = 1 + static_cast<int>(pick(4));
    for (int m = 0; m < mutations && !bytes.empty(); ++m) {
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
            touched.resize(bytes.size());  // whatever grows back later is new
            break;
        default: // garbage appended
            for (size_t n = pick(64); n > 0 && bytes.size() < kMaxStream; --n) {
                bytes.push_back(static_cast<BYTE>(random()));
                touched.push_back(true);
            }
            break;
        }
    }
}

// How many of the headers the reader reads carry `handle`.
int HeadersNaming(const std::vector<BYTE>& bytes, OPCHANDLE handle) {
    const pelorin::DataTimeStream reader(bytes.data(), bytes.size());
    int count = 0;
    for (size_t i = 0; i < reader.ItemCount(); ++i)
        count += reader.Header(i).client == handle ? 1 : 0;
    return count;
}

bool Untouched(const std::vector<bool>& touched, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i)
        if (touched[i])
            return false;
    return true;
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
    int intactChecked = 0, refusedOrChanged = 0;
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

            StreamAdviseSink::StoreStreamItems(guarded.Place(bytes), bytes.size());

            const bool countIntact = bytes.size() >= 8 && Untouched(touched, 4, 8);
            for (size_t i = 0; i < t.items.size(); ++i) {
                const BuiltItem& item = t.items[i];
                if (!countIntact || item.valueEnd > bytes.size() ||
                    !Untouched(touched, item.headerAt, item.headerAt + 20) ||
                    !Untouched(touched, item.valueAt, item.valueEnd)) {
                    ++refusedOrChanged;
                    continue;
                }
                const OPCHANDLE handle =
                    *reinterpret_cast<const DWORD*>(t.bytes.data() + item.headerAt);
                if (HeadersNaming(bytes, handle) != 1) {
                    ++refusedOrChanged;  // a damaged header took over this item's handle
                    continue;
                }
                ASSERT_EQ(t.expected[i], Describe(*pelorin::FindItemValueRecord(handle)))
                    << "case " << n << ", item " << i;
                ++intactChecked;
            }
        }
        for (ItemValueRecord& record : records)
            Clear(record);
        EXPECT_EQ(liveBefore, spy.Count()) << "blocks left behind by the reader";
    }
    CoRevokeMallocSpy();
    // The budget exercised both sides: intact items and damaged ones.
    EXPECT_GT(intactChecked, kCases / 2);
    EXPECT_GT(refusedOrChanged, kCases / 2);
}

} // namespace
