// The three sinks as COM objects: what QueryInterface answers, the counts AddRef and Release
// return, the shutdown reason, and the data callback's updates of item records.
#include <gtest/gtest.h>

#include <string>

#include "opcerror.h"
#include "session/data_callback_sink.h"
#include "session/item_value_record.h"
#include "session/shutdown_sink.h"
#include "session/stream_advise_sink.h"

namespace {

using pelorin::DataCallbackSink;
using pelorin::ItemValueRecord;
using pelorin::ShutdownSink;
using pelorin::StreamAdviseSink;

// Every sink answers IUnknown and its own interface with itself, nothing else.
template <typename Sink> void ExpectInterfaceRules(Sink* sink, REFIID own) {
    ASSERT_EQ(1u, sink->AddRef());
    void* object = nullptr;
    ASSERT_EQ(S_OK, sink->QueryInterface(IID_IUnknown, &object));
    EXPECT_EQ(static_cast<IUnknown*>(sink), object);
    ASSERT_EQ(S_OK, sink->QueryInterface(own, &object));
    EXPECT_EQ(static_cast<IUnknown*>(sink), object);
    // Two answers, two references: the next AddRef says 4.
    EXPECT_EQ(4u, sink->AddRef());
    const IID* others[] = {&IID_IDispatch, &IID_IAdviseSink, &IID_IOPCDataCallback,
                           &IID_IOPCShutdown, &IID_IConnectionPoint};
    for (const IID* other : others) {
        if (*other == own)
            continue;
        object = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(E_NOINTERFACE, sink->QueryInterface(*other, &object));
        EXPECT_EQ(nullptr, object);
    }
    EXPECT_EQ(E_POINTER, sink->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(3u, sink->Release());
    EXPECT_EQ(2u, sink->Release());
    EXPECT_EQ(1u, sink->Release());
    EXPECT_EQ(0u, sink->Release()); // and gone
}

TEST(SinkObjects, AnswerOnlyIUnknownAndTheirOwnInterface) {
    ExpectInterfaceRules(new StreamAdviseSink(0xC123), IID_IAdviseSink);
    ExpectInterfaceRules(new DataCallbackSink(), IID_IOPCDataCallback);
    ExpectInterfaceRules(new ShutdownSink(), IID_IOPCShutdown);
}

TEST(SinkObjects, ShutdownRequestKeepsTheLastReasonInTheAnsiCodePage) {
    ShutdownSink* sink = new ShutdownSink();
    sink->AddRef();
    EXPECT_EQ("", sink->Reason());
    EXPECT_EQ(S_OK, sink->ShutdownRequest(L"Maintenance at 18:00"));
    EXPECT_EQ("Maintenance at 18:00", sink->Reason());
    if (GetACP() == 936) {
        EXPECT_EQ(S_OK, sink->ShutdownRequest(L"服务器关闭"));
        EXPECT_EQ("\xB7\xFE\xCE\xF1\xC6\xF7\xB9\xD8\xB1\xD5", sink->Reason());
    }
    EXPECT_EQ(S_OK, sink->ShutdownRequest(nullptr));
    EXPECT_EQ("", sink->Reason());
    sink->Release();
}

// ---------------------------------------------------------------- data callbacks

class DataCallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        sink_ = new DataCallbackSink();
        sink_->AddRef();
        for (ItemValueRecord* record : {&first_, &second_, &third_}) {
            VARIANT old;
            VariantInit(&old);
            old.vt = VT_I4;
            old.lVal = -1;
            record->Store(old, 0x1C, FILETIME{1, 1});
        }
    }
    void TearDown() override { sink_->Release(); }

    DataCallbackSink* sink_ = nullptr;
    ItemValueRecord first_, second_, third_;
};

// Three texts for three records: the copies must survive the caller freeing its VARIANTs.
struct Change {
    explicit Change(const ItemValueRecord* a, const ItemValueRecord* b, const ItemValueRecord* c) {
        handles[0] = a->Handle();
        handles[1] = b->Handle();
        handles[2] = c->Handle();
        const wchar_t* texts[] = {L"one", L"two", L"three"};
        for (int i = 0; i < 3; ++i) {
            VariantInit(&values[i]);
            values[i].vt = VT_BSTR;
            values[i].bstrVal = SysAllocString(texts[i]);
            qualities[i] = static_cast<WORD>(0xC0 + i);
            times[i] = FILETIME{static_cast<DWORD>(100 + i), 7};
            errors[i] = S_OK;
        }
    }
    ~Change() {
        for (VARIANT& value : values)
            VariantClear(&value);
    }
    OPCHANDLE handles[3];
    VARIANT values[3];
    WORD qualities[3];
    FILETIME times[3];
    HRESULT errors[3];
};

std::wstring TextOf(const ItemValueRecord& record) {
    return record.Value().vt == VT_BSTR ? record.Value().bstrVal : L"(not a text)";
}

TEST_F(DataCallbackTest, AFailedItemKeepsItsValueQualityAndTimestamp) {
    {
        Change change(&first_, &second_, &third_);
        change.errors[1] = E_FAIL;
        EXPECT_EQ(S_OK,
                  sink_->OnDataChange(1, 1324, S_OK, S_FALSE, 3, change.handles, change.values,
                                      change.qualities, change.times, change.errors));
    }
    EXPECT_EQ(L"one", TextOf(first_));
    EXPECT_EQ(0xC0, first_.Quality());
    EXPECT_EQ(100u, first_.Timestamp().dwLowDateTime);
    EXPECT_EQ(L"three", TextOf(third_));
    EXPECT_EQ(0xC2, third_.Quality());
    EXPECT_EQ(VT_I4, second_.Value().vt);
    EXPECT_EQ(-1, second_.Value().lVal);
    EXPECT_EQ(0x1C, second_.Quality());
    EXPECT_EQ(1u, second_.Timestamp().dwLowDateTime);
}

TEST_F(DataCallbackTest, ReadCompleteUpdatesLikeADataChange) {
    {
        Change change(&first_, &second_, &third_);
        change.errors[0] = OPC_S_CLAMP;
        EXPECT_EQ(S_OK, sink_->OnReadComplete(2, 1324, S_OK, S_OK, 3, change.handles, change.values,
                                              change.qualities, change.times, change.errors));
    }
    EXPECT_EQ(L"one", TextOf(first_)); // a success code other than S_OK still counts
    EXPECT_EQ(L"two", TextOf(second_));
    EXPECT_EQ(L"three", TextOf(third_));
}

TEST_F(DataCallbackTest, UnknownHandlesAndEmptyCallsChangeNoRecord) {
    ItemValueRecord* gone = new ItemValueRecord();
    {
        Change change(&first_, gone, &third_);
        delete gone;
        change.handles[2] = 0;
        EXPECT_EQ(S_OK, sink_->OnDataChange(1, 1, S_OK, S_OK, 3, change.handles, change.values,
                                            change.qualities, change.times, change.errors));
        EXPECT_EQ(S_OK, sink_->OnDataChange(1, 1, S_OK, S_OK, 0, nullptr, nullptr, nullptr, nullptr,
                                            nullptr));
        EXPECT_EQ(S_OK, sink_->OnWriteComplete(1, 1, S_OK, 3, change.handles, change.errors));
        EXPECT_EQ(S_OK, sink_->OnCancelComplete(1, 1));
    }
    EXPECT_EQ(L"one", TextOf(first_));
    EXPECT_EQ(-1, third_.Value().lVal);
}

TEST_F(DataCallbackTest, AValueByReferenceIsStoredAsWhatItPointsAt) {
    LONG number = 42;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &number;
    OPCHANDLE handle = first_.Handle();
    WORD quality = 0xC0;
    FILETIME time = {5, 5};
    HRESULT error = S_OK;
    sink_->OnDataChange(1, 1, S_OK, S_OK, 1, &handle, &byRef, &quality, &time, &error);
    number = 0; // the caller's memory changes or goes away after the call
    EXPECT_EQ(VT_I4, first_.Value().vt);
    EXPECT_EQ(42, first_.Value().lVal);
}

} // namespace
