// The three sinks as COM objects: what QueryInterface answers, the counts AddRef and Release
// return, the shutdown reason, and the data callback's updates of item records.
#include <gtest/gtest.h>

#include "opcerror.h"
#include "session/data_callback_sink.h"
#include "session/item_value_record.h"
#include "session/shutdown_sink.h"
#include "session/stream_advise_sink.h"

namespace {

using pelorin::ItemValueRecord;

// Every sink answers IUnknown and its own interface with itself, nothing else.
template <typename Sink> void ExpectInterfaceRules(Sink* sink, REFIID own) {
    ASSERT_EQ(1u, sink->AddRef());
    void* object = nullptr;
    ASSERT_EQ(S_OK, sink->QueryInterface(IID_IUnknown, &object));
    EXPECT_EQ(static_cast<IUnknown*>(sink), object);
    ASSERT_EQ(S_OK, sink->QueryInterface(own, &object));
    EXPECT_EQ(static_cast<IUnknown*>(sink), object);
    EXPECT_EQ(4u, sink->AddRef()); // each answer took a reference
    for (const IID* other :
         {&IID_IDispatch, &IID_IAdviseSink, &IID_IOPCDataCallback, &IID_IOPCShutdown}) {
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
    EXPECT_EQ(0u, sink->Release());
}

TEST(SinkObjects, AnswerOnlyIUnknownAndTheirOwnInterface) {
    ExpectInterfaceRules(new pelorin::StreamAdviseSink(0xC123), IID_IAdviseSink);
    ExpectInterfaceRules(new pelorin::DataCallbackSink(), IID_IOPCDataCallback);
    ExpectInterfaceRules(new pelorin::ShutdownSink(), IID_IOPCShutdown);
}

TEST(SinkObjects, ShutdownRequestKeepsTheLastReasonInTheAnsiCodePage) {
    auto* sink = new pelorin::ShutdownSink();
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

// Three records that start as -1 with quality 0x1C, and a change of three texts for them.
class DataCallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        sink_ = new pelorin::DataCallbackSink();
        sink_->AddRef();
        const wchar_t* texts[] = {L"one", L"two", L"three"};
        for (int i = 0; i < 3; ++i) {
            VARIANT old;
            VariantInit(&old);
            old.vt = VT_I4;
            old.lVal = -1;
            records_[i].Store(old, 0x1C, FILETIME{1, 1});
            handles_[i] = records_[i].Handle();
            VariantInit(&values_[i]);
            values_[i].vt = VT_BSTR;
            values_[i].bstrVal = SysAllocString(texts[i]);
            qualities_[i] = static_cast<WORD>(0xC0 + i);
            times_[i] = FILETIME{static_cast<DWORD>(100 + i), 7};
            errors_[i] = S_OK;
        }
    }
    void TearDown() override {
        for (VARIANT& value : values_) // the caller frees its values after the call
            VariantClear(&value);
        sink_->Release();
    }
    bool Unchanged(int i) const {
        return records_[i].Value().vt == VT_I4 && records_[i].Quality() == 0x1C &&
               records_[i].Timestamp().dwLowDateTime == 1;
    }
    std::wstring TextOf(int i) const {
        return records_[i].Value().vt == VT_BSTR ? records_[i].Value().bstrVal : L"-";
    }

    pelorin::DataCallbackSink* sink_ = nullptr;
    ItemValueRecord records_[3];
    OPCHANDLE handles_[3];
    VARIANT values_[3];
    WORD qualities_[3];
    FILETIME times_[3];
    HRESULT errors_[3];
};

TEST_F(DataCallbackTest, AFailedItemKeepsItsValueQualityAndTimestamp) {
    errors_[1] = E_FAIL;
    EXPECT_EQ(S_OK, sink_->OnDataChange(1, 1324, S_OK, S_FALSE, 3, handles_, values_, qualities_,
                                        times_, errors_));
    for (VARIANT& value : values_) // the caller's strings go; the records have their own
        VariantClear(&value);
    EXPECT_TRUE(Unchanged(1));
    EXPECT_EQ(L"one", TextOf(0));
    EXPECT_EQ(0xC0, records_[0].Quality());
    EXPECT_EQ(100u, records_[0].Timestamp().dwLowDateTime);
    EXPECT_EQ(L"three", TextOf(2));
    EXPECT_EQ(0xC2, records_[2].Quality());
}

TEST_F(DataCallbackTest, ReadCompleteUpdatesLikeADataChange) {
    errors_[0] = OPC_S_CLAMP; // a success code other than S_OK still counts
    errors_[1] = E_FAIL;
    EXPECT_EQ(S_OK, sink_->OnReadComplete(2, 1324, S_OK, S_OK, 3, handles_, values_, qualities_,
                                          times_, errors_));
    EXPECT_EQ(L"one", TextOf(0));
    EXPECT_TRUE(Unchanged(1));
    EXPECT_EQ(L"three", TextOf(2));
}

TEST_F(DataCallbackTest, HandlesOfNoRecordEmptyCallsAndOtherCallbacksChangeNothing) {
    handles_[0] = 0;
    handles_[1] = 0x12345678;
    EXPECT_EQ(S_OK, sink_->OnDataChange(1, 1, S_OK, S_OK, 2, handles_, values_, qualities_, times_,
                                        errors_));
    EXPECT_EQ(S_OK, sink_->OnDataChange(1, 1, S_OK, S_OK, 0, nullptr, nullptr, nullptr, nullptr,
                                        nullptr));
    EXPECT_EQ(S_OK, sink_->OnWriteComplete(1, 1, S_OK, 3, handles_, errors_));
    EXPECT_EQ(S_OK, sink_->OnCancelComplete(1, 1));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(Unchanged(i)) << i;
}

TEST_F(DataCallbackTest, AValueByReferenceIsStoredAsWhatItPointsAt) {
    LONG number = 42;
    VariantClear(&values_[0]);
    values_[0].vt = VT_BYREF | VT_I4;
    values_[0].plVal = &number;
    sink_->OnDataChange(1, 1, S_OK, S_OK, 1, handles_, values_, qualities_, times_, errors_);
    number = 0; // the caller's memory changes or goes away after the call
    EXPECT_EQ(VT_I4, records_[0].Value().vt);
    EXPECT_EQ(42, records_[0].Value().lVal);
}

} // namespace
