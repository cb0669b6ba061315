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

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "session/data_time_stream.h"
#include "session/item_value_record.h"
#include "session/stream_advise_sink.h"

#include <wrl/client.h>

namespace {

using pelorin::ItemValueRecord;

constexpr int kPlainCases = 100000; // read from plain memory between guard pages
constexpr int kSinkCases = 12000;   // through IAdviseSink::OnDataChange with global memory
constexpr size_t kMaxStream = 8192;
constexpr int kRecords = 8;
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

// ------------------------------------------------------------ the format, read independently

size_t PlainBytes(VARTYPE type) {
    switch (type) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_DECIMAL:
        return 16;
    default:
        return 0;
    }
}

const VARTYPE kPlainTypes[] = {VT_I1,  VT_UI1, VT_I2,   VT_UI2,  VT_BOOL,   VT_I4,
                               VT_UI4, VT_INT, VT_UINT, VT_R4,   VT_ERROR,  VT_I8,
                               VT_UI8, VT_R8,  VT_CY,   VT_DATE, VT_DECIMAL};

template <typename T> T At(const std::vector<BYTE>& bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

bool Inside(size_t size, unsigned long long offset, unsigned long long length) {
    return offset <= size && length <= size - offset;
}

std::string Raw(const void* data, size_t size) {
    return std::string(static_cast<const char*>(data), size);
}

// A value as quality/timestamp/type and content, the same whether it is read from a stream or
// from a record.
std::string Canonical(WORD quality, const FILETIME& time, VARTYPE type, const std::string& body) {
    std::ostringstream out;
    out << quality << '/' << time.dwLowDateTime << ':' << time.dwHighDateTime << '/' << type << '=';
    return out.str() + body;
}

std::string Describe(const ItemValueRecord& record) {
    const VARIANT& v = record.Value();
    std::string body;
    if (v.vt == VT_BSTR) {
        body = Raw(v.bstrVal, SysStringByteLen(v.bstrVal));
    } else if (v.vt & VT_ARRAY) {
        // The bounds as stored: an empty array at INT_MIN has no upper bound a LONG can hold.
        const LONG lower = v.parray->rgsabound[0].lLbound;
        const ULONG count = v.parray->rgsabound[0].cElements;
        body = std::to_string(lower) + ".." +
               std::to_string(static_cast<long long>(lower) + count - 1);
        void* data = nullptr;
        SafeArrayAccessData(v.parray, &data);
        for (ULONG i = 0; i < count; ++i) {
            if ((v.vt & VT_TYPEMASK) == VT_BSTR) {
                const BSTR text = static_cast<BSTR*>(data)[i];
                body += "|" + Raw(text, SysStringByteLen(text));
            } else {
                body += "|" + Raw(static_cast<BYTE*>(data) + i * v.parray->cbElements,
                                  v.parray->cbElements);
            }
        }
        SafeArrayUnaccessData(v.parray);
    } else if (v.vt == VT_DECIMAL) {
        body = Raw(reinterpret_cast<const BYTE*>(&v) + 2, 14);
    } else {
        body = Raw(&v.llVal, PlainBytes(v.vt));
    }
    return Canonical(record.Quality(), record.Timestamp(), v.vt, body);
}

// What item header `index` of a stream describes, read the way the format lays values out;
// empty when the item is not readable within `size` bytes.
std::string Derive(const std::vector<BYTE>& bytes, size_t size, size_t index) {
    const size_t header = 20 + 20 * index;
    const DWORD at = At<DWORD>(bytes, header + 4);
    const WORD quality = At<WORD>(bytes, header + 8);
    const FILETIME time = At<FILETIME>(bytes, header + 12);
    if (!Inside(size, at, 16))
        return std::string();
    const VARTYPE type = At<VARTYPE>(bytes, at);
    const VARTYPE base = type & VT_TYPEMASK;
    if (type == VT_EMPTY || type == VT_NULL)
        return Canonical(quality, time, type, "");
    if (type == VT_BSTR) {
        if (!Inside(size, at + 16ull, 4))
            return std::string();
        const DWORD length = At<DWORD>(bytes, at + 16);
        if (!Inside(size, at + 20ull, length))
            return std::string();
        return Canonical(quality, time, type, Raw(bytes.data() + at + 20, length));
    }
    if (type == base) {
        const size_t n = PlainBytes(type);
        if (!n)
            return std::string();
        return Canonical(quality, time, type,
                         type == VT_DECIMAL ? Raw(bytes.data() + at + 2, 14)
                                            : Raw(bytes.data() + at + 8, n));
    }
    if (type != (VT_ARRAY | base))
        return std::string();
    const size_t element = base == VT_BSTR ? sizeof(BSTR) : PlainBytes(base);
    if (!element || !Inside(size, at, 40) || At<USHORT>(bytes, at + 16) != 1 ||
        At<ULONG>(bytes, at + 20) != element)
        return std::string();
    const ULONG count = At<ULONG>(bytes, at + 32);
    const LONG lower = At<LONG>(bytes, at + 36);
    if (count > 0 && static_cast<long long>(lower) + count - 1 > INT_MAX)
        return std::string();
    const unsigned long long data = at + 40ull;
    if (!Inside(size, data, static_cast<unsigned long long>(count) * element))
        return std::string();
    std::string body =
        std::to_string(lower) + ".." + std::to_string(static_cast<long long>(lower) + count - 1);
    if (base != VT_BSTR) {
        for (ULONG i = 0; i < count; ++i)
            body += "|" + Raw(bytes.data() + data + i * element, element);
        return Canonical(quality, time, type, body);
    }
    unsigned long long next = data + static_cast<unsigned long long>(count) * element;
    for (ULONG i = 0; i < count; ++i) {
        if (!Inside(size, next, 4))
            return std::string();
        const DWORD length = At<DWORD>(bytes, static_cast<size_t>(next));
        if (!Inside(size, next + 4, length))
            return std::string();
        body += "|" + Raw(bytes.data() + next + 4, length);
        next += 4ull + length + 2; // characters, then the terminator
    }
    return Canonical(quality, time, type, body);
}

// A value's description with its bytes in hex, for a failure message.
std::string Printable(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += '\\';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// ------------------------------------------------------------ streams as servers write them

// Where the fields of one item lie, for mutations that aim at them.
struct Fields {
    size_t header = 0;
    size_t value = 0;
    size_t end = 0; // one past its last byte
    VARTYPE type = VT_EMPTY;
    std::vector<size_t> counts; // string byte counts
};

struct Template {
    std::vector<BYTE> bytes;
    std::vector<Fields> items;
    std::vector<int> record;        // per item: the record it names, -1 for none
    std::vector<std::string> clean; // per item: what its record holds after the clean stream
};

template <typename T> void Put(std::vector<BYTE>& out, T value) {
    const BYTE* p = reinterpret_cast<const BYTE*>(&value);
    out.insert(out.end(), p, p + sizeof value);
}

template <typename T> void Poke(std::vector<BYTE>& bytes, size_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

class Generator {
public:
    explicit Generator(std::mt19937& random) : random_(random) {}

    size_t Pick(size_t below) { return below ? random_() % below : 0; }
    bool Chance(unsigned percent) { return random_() % 100 < percent; }

    // Counts and bounds at the edges of what fits.
    ULONG Count() {
        static const ULONG kCounts[] = {0, 1, 2, 3, 5, 8};
        return kCounts[Pick(6)];
    }
    LONG LowerBound(ULONG count) {
        switch (Pick(6)) {
        case 0:
            return INT_MIN;
        case 1:
            return count ? static_cast<LONG>(INT_MAX - static_cast<LONG>(count) + 1) : INT_MAX;
        case 2:
            return -1;
        case 3:
            return 1;
        default:
            return 0;
        }
    }
    std::wstring Text() {
        static const wchar_t* const kTexts[] = {L"",         L"a",    L"Pump 1",
                                                L"锅炉温度", L"x\0y", L"Boiler.Temperature.Value"};
        return kTexts[Pick(6)];
    }

    Template Make(const std::vector<OPCHANDLE>& handles) {
        Template t;
        const size_t count = Pick(7);
        t.bytes.assign(20 + 20 * count, 0);
        std::vector<int> free(kRecords);
        for (int i = 0; i < kRecords; ++i)
            free[i] = i;
        for (size_t i = 0; i < count; ++i) {
            while (t.bytes.size() % 8)
                t.bytes.push_back(0);
            Fields fields;
            fields.header = 20 + 20 * i;
            fields.value = t.bytes.size();
            AppendValue(t.bytes, fields);
            fields.end = t.bytes.size();
            int record = -1;
            OPCHANDLE handle = Chance(50) ? 0 : static_cast<OPCHANDLE>(random_() | 0x80000000u);
            if (!free.empty() && Chance(80)) { // each record named by one item at most
                const size_t which = Pick(free.size());
                record = free[which];
                free.erase(free.begin() + which);
                handle = handles[record];
            }
            Poke<DWORD>(t.bytes, fields.header, handle);
            Poke<DWORD>(t.bytes, fields.header + 4, static_cast<DWORD>(fields.value));
            Poke<WORD>(t.bytes, fields.header + 8, static_cast<WORD>(random_()));
            Poke<DWORD>(t.bytes, fields.header + 12, random_());
            Poke<DWORD>(t.bytes, fields.header + 16, random_());
            t.items.push_back(fields);
            t.record.push_back(record);
        }
        Poke<DWORD>(t.bytes, 0, static_cast<DWORD>(t.bytes.size()));
        Poke<DWORD>(t.bytes, 4, static_cast<DWORD>(count));
        Poke<DWORD>(t.bytes, 8, 1324);
        return t;
    }

private:
    void AppendString(std::vector<BYTE>& out, Fields& fields) {
        const std::wstring text = Text();
        fields.counts.push_back(out.size());
        Put<DWORD>(out, static_cast<DWORD>(text.size() * sizeof(wchar_t)));
        const BYTE* p = reinterpret_cast<const BYTE*>(text.data());
        out.insert(out.end(), p, p + text.size() * sizeof(wchar_t));
        Put<WCHAR>(out, 0);
    }

    void AppendValue(std::vector<BYTE>& out, Fields& fields) {
        const size_t start = out.size();
        out.resize(start + 16);
        for (size_t i = 8; i < 16; ++i)
            out[start + i] = static_cast<BYTE>(random_());
        const size_t kind = Pick(10);
        if (kind < 4) { // a plain value of any accepted type
            fields.type = kPlainTypes[Pick(sizeof kPlainTypes / sizeof kPlainTypes[0])];
            if (fields.type == VT_DECIMAL)
                for (size_t i = 2; i < 8; ++i)
                    out[start + i] = static_cast<BYTE>(random_());
        } else if (kind == 4) {
            fields.type = Chance(50) ? VT_EMPTY : VT_NULL;
        } else if (kind < 7) {
            fields.type = VT_BSTR;
            Poke<VARTYPE>(out, start, fields.type);
            AppendString(out, fields);
            return;
        } else { // a one-dimensional array of plain values or of strings
            const bool strings = kind == 9;
            const VARTYPE element =
                strings ? VARTYPE(VT_BSTR)
                        : kPlainTypes[Pick(sizeof kPlainTypes / sizeof kPlainTypes[0])];
            fields.type = VT_ARRAY | element;
            const ULONG count = Count();
            const ULONG size = strings ? ULONG(sizeof(BSTR)) : ULONG(PlainBytes(element));
            Put<USHORT>(out, 1);
            Put<USHORT>(out, strings ? USHORT(FADF_BSTR) : USHORT(0));
            Put<ULONG>(out, size);
            Put<ULONG>(out, 0);
            Put<ULONG>(out, 0);
            Put<ULONG>(out, count);
            Put<LONG>(out, LowerBound(count));
            for (size_t i = 0; i < static_cast<size_t>(count) * size; ++i)
                out.push_back(strings ? 0 : static_cast<BYTE>(random_()));
            for (ULONG i = 0; strings && i < count; ++i)
                AppendString(out, fields);
        }
        Poke<VARTYPE>(out, start, fields.type);
    }

    std::mt19937& random_;
};

// ------------------------------------------------------------ mutations

class Mutation {
public:
    Mutation(std::mt19937& random, std::vector<BYTE>& bytes, const std::vector<Fields>& items)
        : random_(random), bytes_(bytes), items_(items), touched_(bytes.size(), false) {}

    const std::vector<bool>& Touched() const { return touched_; }

    void Apply() {
        for (int n = 1 + static_cast<int>(Pick(3)); n > 0; --n) {
            if (Pick(10) < 7)
                Structural();
            else
                Stray();
        }
    }

private:
    size_t Pick(size_t below) { return below ? random_() % below : 0; }

    template <typename T> void Set(size_t at, T value) {
        if (at + sizeof(T) > bytes_.size())
            return;
        std::memcpy(bytes_.data() + at, &value, sizeof value);
        for (size_t i = 0; i < sizeof(T); ++i)
            touched_[at + i] = true;
    }

    DWORD Edge(DWORD proper) {
        const DWORD size = static_cast<DWORD>(bytes_.size());
        const DWORD edges[] = {0,          1,          proper - 1, proper + 1, proper * 2,
                               size,       size - 1,   size + 1,   0x7FFFFFFF, 0x80000000,
                               0xFFFFFFFF, 0x40000000, 0x3FFFFFFF, 0x10000000, random_()};
        return edges[Pick(sizeof edges / sizeof edges[0])];
    }

    void Structural() {
        if (items_.empty() || Pick(8) == 0) { // the group header's item count, or a cut
            if (Pick(2))
                Set<DWORD>(4, Edge(static_cast<DWORD>(items_.size())));
            else
                Cut();
            return;
        }
        const Fields& item = items_[Pick(items_.size())];
        const size_t v = item.value;
        // An array's descriptor fields, while a cut has left them in the stream.
        const bool array = (item.type & VT_ARRAY) != 0 && v + 40 <= bytes_.size();
        switch (Pick(array ? 9 : 5)) {
        case 0: // the value offset
            Set<DWORD>(item.header + 4,
                       Pick(3) ? Edge(static_cast<DWORD>(v))
                               : static_cast<DWORD>(items_[Pick(items_.size())].value + Pick(48)));
            break;
        case 1: { // the type word
            static const VARTYPE kOdd[] = {VT_BSTR | VT_BYREF,
                                           VT_I4 | VT_BYREF,
                                           VT_VECTOR | VT_I2,
                                           VT_ARRAY | VT_VARIANT,
                                           VT_ARRAY | VT_BYREF | VT_I4,
                                           VT_VARIANT,
                                           VT_UNKNOWN,
                                           VT_DISPATCH,
                                           VT_RECORD,
                                           VT_ARRAY | VT_BSTR,
                                           VT_BSTR,
                                           VT_DECIMAL,
                                           VT_ARRAY | VT_R8,
                                           VT_ARRAY | VT_I1,
                                           0x7FFF,
                                           0xFFFF};
            Set<VARTYPE>(v, kOdd[Pick(sizeof kOdd / sizeof kOdd[0])]);
            break;
        }
        case 2: // a string's byte count (or the first bytes behind a plain value)
            if (!item.counts.empty()) {
                const size_t at = item.counts[Pick(item.counts.size())];
                const DWORD proper = at + 4 <= bytes_.size() ? At<DWORD>(bytes_, at) : 0;
                const DWORD left = static_cast<DWORD>(bytes_.size() - (at + 4));
                const DWORD choices[] = {proper + 1, proper - 1, left,
                                         left + 1,   left - 1,   Edge(proper)};
                Set<DWORD>(at, choices[Pick(6)]);
            } else {
                Set<DWORD>(v + 16, Edge(0));
            }
            break;
        case 3:
            Cut(item.end);
            break;
        case 4: // the quality and the timestamp
            Set<WORD>(item.header + 8, static_cast<WORD>(random_()));
            break;
        case 5: // dimensions
            Set<USHORT>(v + 16, static_cast<USHORT>(Pick(2) ? Pick(4) : 0xFFFF));
            break;
        case 6: // element size
            Set<ULONG>(v + 20, Edge(At<ULONG>(bytes_, v + 20)));
            break;
        case 7: { // element count, up to what fits and beyond
            const ULONG proper = At<ULONG>(bytes_, v + 32);
            const ULONG size = At<ULONG>(bytes_, v + 20);
            const ULONG fits = size ? static_cast<ULONG>((bytes_.size() - (v + 40)) / size) : 0;
            const ULONG choices[] = {fits,         fits + 1,   proper + 1,
                                     Edge(proper), 0x40000000, 0x20000000};
            Set<ULONG>(v + 32, choices[Pick(6)]);
            break;
        }
        default: { // lower bound, to where the upper bound overflows
            const ULONG count = At<ULONG>(bytes_, v + 32);
            const LONG choices[] = {INT_MAX,
                                    INT_MIN,
                                    static_cast<LONG>(INT_MAX - count + 1),
                                    static_cast<LONG>(INT_MAX - count + 2),
                                    -1,
                                    static_cast<LONG>(random_())};
            Set<LONG>(v + 36, choices[Pick(6)]);
        }
        }
    }

    // Cut at a field's edge (or anywhere); the header keeps claiming the old size.
    void Cut(size_t edge = 0) {
        size_t at = edge ? edge - Pick(6) : Pick(bytes_.size() + 1);
        if (at > bytes_.size())
            at = bytes_.size();
        bytes_.resize(at);
        touched_.resize(at);
    }

    void Stray() {
        if (bytes_.empty())
            return;
        if (Pick(4) == 0 && bytes_.size() + 64 <= kMaxStream) { // garbage behind
            for (size_t n = 1 + Pick(64); n > 0; --n) {
                bytes_.push_back(static_cast<BYTE>(random_()));
                touched_.push_back(true);
            }
            return;
        }
        const size_t at = Pick(bytes_.size());
        bytes_[at] = static_cast<BYTE>(random_());
        touched_[at] = true;
    }

    std::mt19937& random_;
    std::vector<BYTE>& bytes_;
    const std::vector<Fields>& items_;
    std::vector<bool> touched_;
};

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
        ASSERT_EQ(S_OK, CoRegisterMallocSpy(&spy_));
    }
    void TearDown() override { CoRevokeMallocSpy(); }

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
        size_t before = 0;
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        int intact = 0, changed = 0;
        {
            FuzzRun run(seed);
            before = spy_.Count();
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
            EXPECT_EQ(before, spy_.Count()) << "blocks the reader left behind";
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

    LiveBlocks spy_;
};

TEST_F(StreamFuzz, MutatedStreamsInPlainMemoryNeverReadOutsideLeakOrLoseIntactItems) {
    Run(kPlainCases, false);
}

TEST_F(StreamFuzz, MutatedStreamsThroughTheSinkAreBoundByTheirBlocksRealSize) {
    Run(kSinkCases, true);
}

} // namespace
