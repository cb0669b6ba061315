// The "OPCSTMFORMATDATATIME" reader and the stream sink: values, strings and arrays arrive in
// their records as copies of our own; every extent a server could get wrong is refused for that
// item alone; formats, media and handles that are not ours are left alone.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "session/data_time_stream.h"
#include "session/item_value_record.h"
#include "session/stream_advise_sink.h"
#include "session_stream_builder.h"

namespace {

using pelorin::DataTimeStream;
using pelorin::ItemValueRecord;
using pelorin::StreamAdviseSink;
using pelorin::ValueCheck;

size_t StoreAll(const std::vector<BYTE>& stream) {
    return StreamAdviseSink::StoreStreamItems(stream.data(), stream.size());
}

ValueCheck ReadItem(const std::vector<BYTE>& stream, size_t index, VARIANT& value) {
    const DataTimeStream reader(stream.data(), stream.size());
    return reader.ReadValue(reader.Header(index), value);
}

std::wstring Text(BSTR text) {
    return std::wstring(text, SysStringLen(text));
}

// Marks a record so that a test can tell it was left alone.
void Mark(ItemValueRecord& record) {
    VARIANT marker;
    VariantInit(&marker);
    marker.vt = VT_I4;
    marker.lVal = 4711;
    record.Store(marker, 0x1C, FILETIME{9, 9});
}

bool StillMarked(const ItemValueRecord& record) {
    return record.Value().vt == VT_I4 && record.Value().lVal == 4711 && record.Quality() == 0x1C;
}

TEST(StreamValues, PlainValuesArriveWithQualityAndTimestamp) {
    ItemValueRecord number, real, flag, decimal, empty;
    const VARIANT_BOOL yes = VARIANT_TRUE;
    DECIMAL dec = {};
    dec.scale = 2;
    dec.sign = DECIMAL_NEG;
    dec.Lo64 = 12345;
    const std::vector<BYTE> stream =
        StreamBuilder()
            .I4(number.Handle(), -7, 0xC0, FILETIME{0x11111111, 0x01D00000})
            .R8(real.Handle(), 2.5, 0x40)
            .Plain(flag.Handle(), VT_BOOL, &yes, sizeof yes, 0x00)
            .Plain(decimal.Handle(), VT_DECIMAL, &dec, sizeof dec)
            .Plain(empty.Handle(), VT_EMPTY, nullptr, 0, 0xD8)
            .Build();
    EXPECT_EQ(5u, StoreAll(stream));

    EXPECT_EQ(VT_I4, number.Value().vt);
    EXPECT_EQ(-7, number.Value().lVal);
    EXPECT_EQ(0xC0, number.Quality());
    EXPECT_EQ(0x11111111u, number.Timestamp().dwLowDateTime);
    EXPECT_EQ(0x01D00000u, number.Timestamp().dwHighDateTime);
    EXPECT_EQ(VT_R8, real.Value().vt);
    EXPECT_DOUBLE_EQ(2.5, real.Value().dblVal);
    EXPECT_EQ(0x40, real.Quality());
    EXPECT_EQ(VT_BOOL, flag.Value().vt);
    EXPECT_EQ(VARIANT_TRUE, flag.Value().boolVal);
    EXPECT_EQ(VT_DECIMAL, decimal.Value().vt);
    EXPECT_EQ(2, decimal.Value().decVal.scale);
    EXPECT_EQ(DECIMAL_NEG, decimal.Value().decVal.sign);
    EXPECT_EQ(12345u, decimal.Value().decVal.Lo64);
    EXPECT_EQ(VT_EMPTY, empty.Value().vt);
    EXPECT_EQ(0xD8, empty.Quality());
}

TEST(StreamValues, StringIsAnIndependentCopyOfTheStoredByteCount) {
    ItemValueRecord record;
    std::vector<BYTE> stream = StreamBuilder().Text(record.Handle(), L"Pump 1 运行").Build();
    ASSERT_EQ(1u, StoreAll(stream));
    std::fill(stream.begin(), stream.end(), 0xCC); // the server reuses its buffer
    ASSERT_EQ(VT_BSTR, record.Value().vt);
    EXPECT_EQ(L"Pump 1 运行", Text(record.Value().bstrVal));
    EXPECT_EQ(9u * sizeof(wchar_t), SysStringByteLen(record.Value().bstrVal));

    // An odd byte count is kept as it is, not rounded to whole characters.
    std::vector<BuiltItem> items;
    stream = StreamBuilder().Text(record.Handle(), L"ab").Build(&items);
    Poke<DWORD>(stream, items[0].valueAt + 16, 3);
    ASSERT_EQ(1u, StoreAll(stream));
    EXPECT_EQ(3u, SysStringByteLen(record.Value().bstrVal));
}

TEST(StreamValues, StringArrayWithLowerBoundOneHasThreeConsecutiveStrings) {
    ItemValueRecord record;
    const std::vector<BYTE> stream =
        StreamBuilder().TextArray(record.Handle(), 1, {L"alpha", L"", L"伽马"}).Build();
    ASSERT_EQ(1u, StoreAll(stream));
    ASSERT_EQ(VT_ARRAY | VT_BSTR, record.Value().vt);
    SAFEARRAY* array = record.Value().parray;
    ASSERT_EQ(1u, SafeArrayGetDim(array));
    LONG lower = 0, upper = 0;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    EXPECT_EQ(1, lower);
    EXPECT_EQ(3, upper);
    const wchar_t* expected[] = {L"alpha", L"", L"伽马"};
    for (LONG i = 1; i <= 3; ++i) {
        BSTR element = nullptr;
        ASSERT_EQ(S_OK, SafeArrayGetElement(array, &i, &element));
        EXPECT_EQ(expected[i - 1], Text(element));
        SysFreeString(element);
    }
}

TEST(StreamValues, NumericArrayTakesItsDataRightBehindTheDescriptor) {
    ItemValueRecord shorts, reals;
    const SHORT numbers[] = {1, -2, 3};
    const double measured[] = {0.5, 1e300};
    const std::vector<BYTE> stream = StreamBuilder()
                                         .Array(shorts.Handle(), VT_I2, 2, -1, 3, numbers)
                                         .Array(reals.Handle(), VT_R8, 8, 0, 2, measured)
                                         .Build();
    ASSERT_EQ(2u, StoreAll(stream));
    ASSERT_EQ(VT_ARRAY | VT_I2, shorts.Value().vt);
    LONG index = -1;
    SHORT first = 0;
    SafeArrayGetElement(shorts.Value().parray, &index, &first);
    EXPECT_EQ(1, first);
    index = 1;
    SHORT last = 0;
    SafeArrayGetElement(shorts.Value().parray, &index, &last);
    EXPECT_EQ(3, last);
    ASSERT_EQ(VT_ARRAY | VT_R8, reals.Value().vt);
    index = 1;
    double big = 0;
    SafeArrayGetElement(reals.Value().parray, &index, &big);
    EXPECT_DOUBLE_EQ(1e300, big);
}

TEST(StreamValues, TheServersBytesAreOnlyRead) {
    ItemValueRecord text, texts;
    const std::vector<BYTE> stream = StreamBuilder()
                                         .Text(text.Handle(), L"x")
                                         .TextArray(texts.Handle(), 0, {L"a", L"b"})
                                         .Build();
    const std::vector<BYTE> before = stream;
    ASSERT_EQ(2u, StoreAll(stream));
    EXPECT_EQ(before, stream);
}

// One corruption of the middle item of three, and the check that must refuse it.
struct Corruption {
    const char* what;
    std::function<StreamBuilder&(StreamBuilder&, OPCHANDLE)> middle;
    std::function<void(std::vector<BYTE>&, const BuiltItem&)> corrupt;
    ValueCheck expected;
};

const SHORT kShorts[] = {1, 2, 3};

StreamBuilder& MiddleI4(StreamBuilder& b, OPCHANDLE h) {
    return b.I4(h, 5);
}
StreamBuilder& MiddleText(StreamBuilder& b, OPCHANDLE h) {
    return b.Text(h, L"hello");
}
StreamBuilder& MiddleShorts(StreamBuilder& b, OPCHANDLE h) {
    return b.Array(h, VT_I2, 2, 0, 3, kShorts);
}
StreamBuilder& MiddleTexts(StreamBuilder& b, OPCHANDLE h) {
    return b.TextArray(h, 0, {L"one", L"two", L"three"});
}

void SetType(std::vector<BYTE>& s, const BuiltItem& item, VARTYPE type) {
    Poke<VARTYPE>(s, item.valueAt, type);
}

const Corruption kCorruptions[] = {
    {"offset at the end", MiddleI4,
     [](std::vector<BYTE>& s, const BuiltItem& m) { Poke<DWORD>(s, m.headerAt + 4, s.size()); },
     ValueCheck::ValueOutside},
    {"VARIANT across the end", MiddleI4,
     [](std::vector<BYTE>& s, const BuiltItem& m) { Poke<DWORD>(s, m.headerAt + 4, s.size() - 8); },
     ValueCheck::ValueOutside},
    {"offset that wraps", MiddleI4,
     [](std::vector<BYTE>& s, const BuiltItem& m) { Poke<DWORD>(s, m.headerAt + 4, 0xFFFFFFF8); },
     ValueCheck::ValueOutside},
    {"by reference", MiddleI4,
     [](std::vector<BYTE>& s, const BuiltItem& m) { SetType(s, m, VT_BYREF | VT_I4); },
     ValueCheck::ByReference},
    {"array by reference", MiddleShorts,
     [](std::vector<BYTE>& s, const BuiltItem& m) { SetType(s, m, VT_BYREF | VT_ARRAY | VT_I2); },
     ValueCheck::ByReference},
    {"interface pointer", MiddleI4,
     [](std::vector<BYTE>& s, const BuiltItem& m) { SetType(s, m, VT_UNKNOWN); },
     ValueCheck::UnsupportedType},
    {"dispatch pointer", MiddleI4,
     [](std::vector<BYTE>& s, const BuiltItem& m) { SetType(s, m, VT_DISPATCH); },
     ValueCheck::UnsupportedType},
    {"record", MiddleI4, [](std::vector<BYTE>& s, const BuiltItem& m) { SetType(s, m, VT_RECORD); },
     ValueCheck::UnsupportedType},
    {"vector flag", MiddleI4,
     [](std::vector<BYTE>& s, const BuiltItem& m) { SetType(s, m, VT_VECTOR | VT_I4); },
     ValueCheck::UnsupportedType},
    {"array of VARIANTs", MiddleShorts,
     [](std::vector<BYTE>& s, const BuiltItem& m) { SetType(s, m, VT_ARRAY | VT_VARIANT); },
     ValueCheck::UnsupportedType},
    {"array of nothing", MiddleShorts,
     [](std::vector<BYTE>& s, const BuiltItem& m) { SetType(s, m, VT_ARRAY | VT_EMPTY); },
     ValueCheck::UnsupportedType},
    {"string count of 4 GB", MiddleText,
     [](std::vector<BYTE>& s, const BuiltItem& m) { Poke<DWORD>(s, m.valueAt + 16, 0xFFFFFFFF); },
     ValueCheck::StringOutside},
    {"string one byte past the end", MiddleText,
     [](std::vector<BYTE>& s, const BuiltItem& m) {
         Poke<DWORD>(s, m.valueAt + 16, s.size() - (m.valueAt + 20) + 1);
     },
     ValueCheck::StringOutside},
    {"string count past the end", MiddleText,
     [](std::vector<BYTE>& s, const BuiltItem& m) {
         Poke<DWORD>(s, m.headerAt + 4, s.size() - 18);
         Poke<VARTYPE>(s, s.size() - 18, VT_BSTR);
     },
     ValueCheck::StringOutside},
    {"two dimensions", MiddleShorts,
     [](std::vector<BYTE>& s, const BuiltItem& m) { Poke<USHORT>(s, m.valueAt + 16, 2); },
     ValueCheck::NotOneDimension},
    {"no dimension", MiddleTexts,
     [](std::vector<BYTE>& s, const BuiltItem& m) { Poke<USHORT>(s, m.valueAt + 16, 0); },
     ValueCheck::NotOneDimension},
    {"element size of another type", MiddleShorts,
     [](std::vector<BYTE>& s, const BuiltItem& m) { Poke<ULONG>(s, m.valueAt + 20, 4); },
     ValueCheck::ElementSize},
    {"string slots of 8 bytes", MiddleTexts,
     [](std::vector<BYTE>& s, const BuiltItem& m) { Poke<ULONG>(s, m.valueAt + 20, 8); },
     ValueCheck::ElementSize},
    {"more elements than bytes", MiddleShorts,
     [](std::vector<BYTE>& s, const BuiltItem& m) { Poke<ULONG>(s, m.valueAt + 32, 1000); },
     ValueCheck::ArrayOutside},
    {"element bytes that wrap 32 bits", MiddleTexts,
     [](std::vector<BYTE>& s, const BuiltItem& m) { Poke<ULONG>(s, m.valueAt + 32, 0x40000000); },
     ValueCheck::ArrayOutside},
    {"descriptor across the end", MiddleShorts,
     [](std::vector<BYTE>& s, const BuiltItem& m) {
         Poke<DWORD>(s, m.headerAt + 4, s.size() - 24);
         Poke<VARTYPE>(s, s.size() - 24, VT_ARRAY | VT_I2);
     },
     ValueCheck::ArrayOutside},
    {"bounds past the index range", MiddleShorts,
     [](std::vector<BYTE>& s, const BuiltItem& m) { Poke<LONG>(s, m.valueAt + 36, INT_MAX); },
     ValueCheck::BadBounds},
    {"second string past the end", MiddleTexts,
     [](std::vector<BYTE>& s, const BuiltItem& m) {
         // element data at +40, three 4-byte slots, then "one" (4 + 6 + 2 bytes)
         Poke<DWORD>(s, m.valueAt + 40 + 12 + 12, 0x7FFFFFF0);
     },
     ValueCheck::StringOutside},
};

TEST(StreamChecks, EachCorruptionIsRefusedForItsItemAlone) {
    for (const Corruption& c : kCorruptions) {
        SCOPED_TRACE(c.what);
        ItemValueRecord before, middle, after;
        Mark(middle);
        StreamBuilder builder;
        builder.I4(before.Handle(), 1);
        c.middle(builder, middle.Handle());
        builder.I4(after.Handle(), 3);
        std::vector<BuiltItem> items;
        std::vector<BYTE> stream = builder.Build(&items);
        c.corrupt(stream, items[1]);

        VARIANT value;
        EXPECT_EQ(c.expected, ReadItem(stream, 1, value));
        EXPECT_EQ(VT_EMPTY, value.vt);
        EXPECT_EQ(2u, StoreAll(stream));
        EXPECT_EQ(1, before.Value().lVal);
        EXPECT_EQ(3, after.Value().lVal);
        EXPECT_TRUE(StillMarked(middle));
    }
}

TEST(StreamChecks, AnItemCountBeyondTheStreamReadsOnlyWholeHeaders) {
    ItemValueRecord first, second;
    std::vector<BYTE> stream =
        StreamBuilder().I4(first.Handle(), 10).I4(second.Handle(), 20).Build();
    Poke<DWORD>(stream, 4, 0xFFFFFFFF);
    const DataTimeStream reader(stream.data(), stream.size());
    EXPECT_EQ((stream.size() - 20) / 20, reader.ItemCount());
    EXPECT_EQ(2u, StoreAll(stream));
    EXPECT_EQ(10, first.Value().lVal);
    EXPECT_EQ(20, second.Value().lVal);
}

TEST(StreamChecks, AStreamShorterThanItsGroupHeaderHasNoItems) {
    const std::vector<BYTE> stream = StreamBuilder().I4(1, 10).Build();
    for (size_t size = 0; size < 20; ++size)
        EXPECT_EQ(0u, DataTimeStream(stream.data(), size).ItemCount()) << size;
    EXPECT_EQ(1u, DataTimeStream(stream.data(), 40).ItemCount());
    EXPECT_EQ(0u, DataTimeStream(stream.data(), 39).ItemCount());
}

TEST(StreamChecks, HandlesOfNoLiveRecordAreSkipped) {
    ItemValueRecord live;
    OPCHANDLE gone = 0;
    {
        ItemValueRecord dead;
        gone = dead.Handle();
    }
    const std::vector<BYTE> stream =
        StreamBuilder().I4(0, 1).I4(gone, 2).I4(0x12345678, 3).I4(live.Handle(), 4).Build();
    EXPECT_EQ(1u, StoreAll(stream));
    EXPECT_EQ(4, live.Value().lVal);
    EXPECT_EQ(nullptr, pelorin::FindItemValueRecord(gone));
    EXPECT_EQ(nullptr, pelorin::FindItemValueRecord(0));
}

// ---------------------------------------------------------------- the sink's own checks

class StreamSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        dataTime_ = RegisterClipboardFormatA("OPCSTMFORMATDATATIME");
        writeComplete_ = RegisterClipboardFormatA("OPCSTMFORMATWRITECOMPLETE");
        sink_ = new StreamAdviseSink(dataTime_);
        sink_->AddRef();
        Mark(record_);
    }
    void TearDown() override {
        sink_->Release();
        if (memory_)
            GlobalFree(memory_);
    }
    HGLOBAL Global(const std::vector<BYTE>& stream) {
        memory_ = GlobalAlloc(GMEM_MOVEABLE, stream.size());
        std::memcpy(GlobalLock(memory_), stream.data(), stream.size());
        GlobalUnlock(memory_);
        return memory_;
    }
    void Deliver(UINT format, DWORD formatMedium, DWORD medium, HGLOBAL memory) {
        FORMATETC etc = {static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1,
                         formatMedium};
        STGMEDIUM stg = {};
        stg.tymed = medium;
        stg.hGlobal = memory;
        sink_->OnDataChange(&etc, &stg);
    }

    UINT dataTime_ = 0, writeComplete_ = 0;
    StreamAdviseSink* sink_ = nullptr;
    ItemValueRecord record_;
    HGLOBAL memory_ = nullptr;
};

TEST_F(StreamSinkTest, OnlyTheDataTimeFormatInGlobalMemoryIsRead) {
    HGLOBAL memory = Global(StreamBuilder().I4(record_.Handle(), 77).Build());
    Deliver(writeComplete_, TYMED_HGLOBAL, TYMED_HGLOBAL, memory);
    EXPECT_TRUE(StillMarked(record_));
    Deliver(dataTime_, TYMED_ISTREAM, TYMED_HGLOBAL, memory);
    EXPECT_TRUE(StillMarked(record_));
    Deliver(dataTime_, TYMED_HGLOBAL, TYMED_ISTREAM, memory);
    EXPECT_TRUE(StillMarked(record_));
    Deliver(dataTime_, TYMED_HGLOBAL, TYMED_HGLOBAL, nullptr);
    EXPECT_TRUE(StillMarked(record_));
    sink_->OnDataChange(nullptr, nullptr);
    EXPECT_TRUE(StillMarked(record_));

    Deliver(dataTime_, TYMED_HGLOBAL, TYMED_HGLOBAL, memory);
    EXPECT_EQ(77, record_.Value().lVal);
    EXPECT_EQ(0u, GlobalFlags(memory) & GMEM_LOCKCOUNT);
}

TEST_F(StreamSinkTest, AnEmptyStreamChangesNothingAndIsUnlocked) {
    HGLOBAL memory = Global(StreamBuilder().Build());
    Deliver(dataTime_, TYMED_HGLOBAL, TYMED_HGLOBAL, memory);
    EXPECT_TRUE(StillMarked(record_));
    EXPECT_EQ(0u, GlobalFlags(memory) & GMEM_LOCKCOUNT);
}

} // namespace
