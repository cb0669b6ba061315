// Streams for the fuzzer, made the way servers write "OPCSTMFORMATDATATIME" streams (every
// accepted value type, strings, arrays of every accepted element type and of strings, counts and
// bounds at their limits), and mutations aimed at their fields.
#pragma once

#include <windows.h>
// after windows.h
#include <oleauto.h>

#include <random>
#include <string>
#include <vector>

#include "opcda.h"
#include "session_fuzz_reference.h"

namespace fuzz {

constexpr size_t kMaxStream = 8192;
constexpr int kRecords = 8; // records a template's items may name

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

} // namespace fuzz
