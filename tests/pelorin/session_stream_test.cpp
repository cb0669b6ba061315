// The "OPCSTMFORMATDATATIME" reader and the stream sink: values, strings and arrays arrive in
// their records as copies of our own; every extent a server could get wrong is refused for that
// item alone; formats, media and handles that are not ours are left alone.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
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

std::wstring Element(SAFEARRAY* array, LONG index) {
    BSTR text = nullptr;
    SafeArrayGetElement(array, &index, &text);
    std::wstring out(text, SysStringLen(text));
    SysFreeString(text);
    return out;
}

// A record holding a value the stream's items never carry, to tell it was left alone.
void Mark(ItemValueRecord& record) {
    VARIANT marker;
    VariantInit(&marker);
    marker.vt = VT_I4;
    marker.lVal = 4711;
    record.Store(marker, 0x1C, FILETIME{9, 9});
}
bool Marked(const ItemValueRecord& r) {
    return r.Value().lVal == 4711 && r.Quality() == 0x1C;
}

TEST(StreamValues, PlainValuesStringsAndArraysArriveAsOwnCopies) {
    ItemValueRecord number, decimal, text, texts, shorts;
    DECIMAL dec = {};
    dec.scale = 2;
    dec.Lo64 = 12345;
    const LONG seven = -7;
    const SHORT numbers[] = {1, -2, 3};
    std::vector<BYTE> stream =
        StreamBuilder()
            .Plain(number.Handle(), VT_I4, &seven, 4, 0x40, FILETIME{0x11111111, 0x01D00000})
            .Plain(decimal.Handle(), VT_DECIMAL, &dec, sizeof dec)
            .Text(text.Handle(), L"Pump 1 运行")
            .TextArray(texts.Handle(), 1, {L"alpha", L"", L"伽马"})
            .Array(shorts.Handle(), VT_I2, 2, -1, 3, numbers)
            .Build();
    const std::vector<BYTE> before = stream;
    ASSERT_EQ(5u, StoreAll(stream));
    EXPECT_EQ(before, stream);                     // the server's buffer is only read
    std::fill(stream.begin(), stream.end(), 0xCC); // ... and may be reused at once

    EXPECT_EQ(VT_I4, number.Value().vt);
    EXPECT_EQ(-7, number.Value().lVal);
    EXPECT_EQ(0x40, number.Quality());
    EXPECT_EQ(0x11111111u, number.Timestamp().dwLowDateTime);
    EXPECT_EQ(0x01D00000u, number.Timestamp().dwHighDateTime);
    EXPECT_EQ(VT_DECIMAL, decimal.Value().vt);
    EXPECT_EQ(2, decimal.Value().decVal.scale);
    EXPECT_EQ(12345u, decimal.Value().decVal.Lo64);
    ASSERT_EQ(VT_BSTR, text.Value().vt);
    EXPECT_STREQ(L"Pump 1 运行", text.Value().bstrVal);
    EXPECT_EQ(9u * sizeof(wchar_t), SysStringByteLen(text.Value().bstrVal));

    ASSERT_EQ(VT_ARRAY | VT_BSTR, texts.Value().vt);
    LONG lower = 0, upper = 0;
    SafeArrayGetLBound(texts.Value().parray, 1, &lower);
    SafeArrayGetUBound(texts.Value().parray, 1, &upper);
    EXPECT_EQ(1, lower);
    EXPECT_EQ(3, upper);
    EXPECT_EQ(L"alpha", Element(texts.Value().parray, 1));
    EXPECT_EQ(L"", Element(texts.Value().parray, 2));
    EXPECT_EQ(L"伽马", Element(texts.Value().parray, 3));

    ASSERT_EQ(VT_ARRAY | VT_I2, shorts.Value().vt);
    SHORT* data = nullptr;
    ASSERT_EQ(S_OK, SafeArrayAccessData(shorts.Value().parray, reinterpret_cast<void**>(&data)));
    EXPECT_EQ(-2, data[1]);
    EXPECT_EQ(3, data[2]);
    SafeArrayUnaccessData(shorts.Value().parray);
}

// A corruption of the middle item of three, and the check that must refuse it.
struct Corruption {
    const char* what;
    int middle; // 0: VT_I4, 1: text, 2: VT_I2 array, 3: text array "one", "two", "three"
    size_t at;  // where the value goes, from the middle item's VARIANT (header: see below)
    bool inHeader;
    DWORD value;
    int width;
    ValueCheck expected;
};

const Corruption kCorruptions[] = {
    {"offset that wraps", 0, 4, true, 0xFFFFFFF8, 4, ValueCheck::ValueOutside},
    {"by reference", 0, 0, false, VT_BYREF | VT_I4, 2, ValueCheck::ByReference},
    {"interface pointer", 0, 0, false, VT_UNKNOWN, 2, ValueCheck::UnsupportedType},
    {"vector flag", 0, 0, false, VT_VECTOR | VT_I4, 2, ValueCheck::UnsupportedType},
    {"array of VARIANTs", 2, 0, false, VT_ARRAY | VT_VARIANT, 2, ValueCheck::UnsupportedType},
    {"string count of 4 GB", 1, 16, false, 0xFFFFFFFF, 4, ValueCheck::StringOutside},
    {"two dimensions", 2, 16, false, 2, 2, ValueCheck::NotOneDimension},
    {"element size of another type", 2, 20, false, 4, 4, ValueCheck::ElementSize},
    {"more elements than bytes", 2, 32, false, 1000, 4, ValueCheck::ArrayOutside},
    {"element bytes that wrap 32 bits", 3, 32, false, 0x40000000, 4, ValueCheck::ArrayOutside},
    {"bounds past the index range", 2, 36, false, INT_MAX, 4, ValueCheck::BadBounds},
    // element data at +40, three slots, "one" (4 + 6 + 2 bytes): the second string's count
    {"second string past the end", 3, 64, false, 0x7FFFFFF0, 4, ValueCheck::StringOutside},
};

TEST(StreamChecks, EachCorruptionIsRefusedForItsItemAlone) {
    const SHORT shorts[] = {1, 2, 3};
    for (const Corruption& c : kCorruptions) {
        SCOPED_TRACE(c.what);
        ItemValueRecord before, middle, after;
        Mark(middle);
        StreamBuilder builder;
        builder.I4(before.Handle(), 1);
        if (c.middle == 0)
            builder.I4(middle.Handle(), 5);
        else if (c.middle == 1)
            builder.Text(middle.Handle(), L"hello");
        else if (c.middle == 2)
            builder.Array(middle.Handle(), VT_I2, 2, 0, 3, shorts);
        else
            builder.TextArray(middle.Handle(), 0, {L"one", L"two", L"three"});
        builder.I4(after.Handle(), 3);
        std::vector<BuiltItem> items;
        std::vector<BYTE> stream = builder.Build(&items);
        const size_t at = (c.inHeader ? items[1].headerAt : items[1].valueAt) + c.at;
        if (c.width == 2)
            Poke<WORD>(stream, at, static_cast<WORD>(c.value));
        else
            Poke<DWORD>(stream, at, c.value);

        const DataTimeStream reader(stream.data(), stream.size());
        VARIANT value;
        EXPECT_EQ(c.expected, reader.ReadValue(reader.Header(1), value));
        EXPECT_EQ(VT_EMPTY, value.vt);
        EXPECT_EQ(2u, StoreAll(stream));
        EXPECT_EQ(1, before.Value().lVal);
        EXPECT_EQ(3, after.Value().lVal);
        EXPECT_TRUE(Marked(middle));
    }
}

TEST(StreamChecks, ExtentsEndingOneByteOutsideAreRefused) {
    std::vector<BuiltItem> items;
    std::vector<BYTE> stream = StreamBuilder().I4(1, 1).Text(2, L"last").Build(&items);
    const DataTimeStream whole(stream.data(), stream.size());
    VARIANT value;
    ASSERT_EQ(ValueCheck::Ok, whole.ReadValue(whole.Header(1), value));
    VariantClear(&value);
    // Without the text's terminator the characters still fit; one byte less and they do not.
    const size_t textEnd = stream.size() - 2;
    EXPECT_EQ(ValueCheck::Ok,
              DataTimeStream(stream.data(), textEnd).ReadValue(whole.Header(1), value));
    VariantClear(&value);
    EXPECT_EQ(ValueCheck::StringOutside,
              DataTimeStream(stream.data(), textEnd - 1).ReadValue(whole.Header(1), value));
    EXPECT_EQ(
        ValueCheck::ValueOutside,
        DataTimeStream(stream.data(), items[1].valueAt + 15).ReadValue(whole.Header(1), value));
}

TEST(StreamChecks, CountsAndHandlesThatNameNothingAreSkipped) {
    ItemValueRecord first, second;
    OPCHANDLE gone = 0;
    {
        ItemValueRecord dead;
        gone = dead.Handle();
    }
    std::vector<BYTE> stream = StreamBuilder()
                                   .I4(first.Handle(), 10)
                                   .I4(0, 1)
                                   .I4(gone, 2)
                                   .I4(0x12345678, 3)
                                   .I4(second.Handle(), 20)
                                   .Build();
    Poke<DWORD>(stream, 4, 0xFFFFFFFF); // far more items than headers fit
    EXPECT_EQ((stream.size() - 20) / 20, DataTimeStream(stream.data(), stream.size()).ItemCount());
    EXPECT_EQ(2u, StoreAll(stream));
    EXPECT_EQ(10, first.Value().lVal);
    EXPECT_EQ(20, second.Value().lVal);
    EXPECT_EQ(0u, DataTimeStream(stream.data(), 19).ItemCount());
    EXPECT_EQ(0u, DataTimeStream(stream.data(), 39).ItemCount());
    EXPECT_EQ(1u, DataTimeStream(stream.data(), 40).ItemCount());
}

TEST(StreamSink, ReadsOnlyTheDataTimeFormatInGlobalMemoryAndUnlocksIt) {
    const UINT dataTime = RegisterClipboardFormatA("OPCSTMFORMATDATATIME");
    const UINT writeComplete = RegisterClipboardFormatA("OPCSTMFORMATWRITECOMPLETE");
    StreamAdviseSink* sink = new StreamAdviseSink(dataTime);
    sink->AddRef();
    ItemValueRecord record;
    Mark(record);
    const std::vector<BYTE> stream = StreamBuilder().I4(record.Handle(), 77).Build();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, stream.size());
    std::memcpy(GlobalLock(memory), stream.data(), stream.size());
    GlobalUnlock(memory);
    auto deliver = [&](UINT format, DWORD formatMedium, DWORD medium, HGLOBAL global) {
        FORMATETC etc = {static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1,
                         formatMedium};
        STGMEDIUM stg = {};
        stg.tymed = medium;
        stg.hGlobal = global;
        sink->OnDataChange(&etc, &stg);
    };
    deliver(writeComplete, TYMED_HGLOBAL, TYMED_HGLOBAL, memory);
    deliver(dataTime, TYMED_ISTREAM, TYMED_HGLOBAL, memory);
    deliver(dataTime, TYMED_HGLOBAL, TYMED_ISTREAM, memory);
    deliver(dataTime, TYMED_HGLOBAL, TYMED_HGLOBAL, nullptr);
    sink->OnDataChange(nullptr, nullptr);
    EXPECT_TRUE(Marked(record));

    deliver(dataTime, TYMED_HGLOBAL, TYMED_HGLOBAL, memory);
    EXPECT_EQ(77, record.Value().lVal);
    EXPECT_EQ(0u, GlobalFlags(memory) & GMEM_LOCKCOUNT);
    GlobalFree(memory);
    sink->Release();
}

} // namespace
