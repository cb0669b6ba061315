// The plug-in's COM object base: identity across interfaces, the count the creator starts with,
// and the module keep-alive that every live object holds.
#include <gtest/gtest.h>

#include "entry/com_object.h"
#include "opcda.h"
#include "session/data_callback_sink.h"
#include "session/shutdown_sink.h"
#include "session/stream_advise_sink.h"

namespace {

using Microsoft::WRL::ComPtr;
using pelorin::ThisModule;

// An object with two interfaces, to see that both answer with one identity.
class TwoFaced final : public pelorin::ComObject<IAdviseSink, IOPCShutdown> {
public:
    explicit TwoFaced(bool& destroyed) : destroyed_(destroyed) {}
    STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override {}
    STDMETHODIMP ShutdownRequest(LPCWSTR) override { return S_OK; }

private:
    ~TwoFaced() override { destroyed_ = true; }
    bool& destroyed_;
};

TEST(ComObjects, EveryInterfaceAnswersWithOneIdentity) {
    bool destroyed = false;
    ComPtr<TwoFaced> object = pelorin::MakeComObject<TwoFaced>(destroyed);
    ComPtr<IUnknown> fromAdvise, fromShutdown;
    ComPtr<IOPCShutdown> shutdown;
    ComPtr<IAdviseSink> advise;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_PPV_ARGS(&shutdown)));
    ASSERT_EQ(S_OK, shutdown->QueryInterface(IID_PPV_ARGS(&advise)));
    ASSERT_EQ(S_OK, advise->QueryInterface(IID_PPV_ARGS(&fromAdvise)));
    ASSERT_EQ(S_OK, shutdown->QueryInterface(IID_PPV_ARGS(&fromShutdown)));
    EXPECT_EQ(fromAdvise.Get(), fromShutdown.Get());
    EXPECT_EQ(static_cast<void*>(shutdown.Get()),
              static_cast<void*>(static_cast<IOPCShutdown*>(object.Get())));
    EXPECT_NE(static_cast<void*>(shutdown.Get()), static_cast<void*>(advise.Get()));
    IOPCDataCallback* other = reinterpret_cast<IOPCDataCallback*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, advise->QueryInterface(IID_PPV_ARGS(&other)));
    EXPECT_EQ(nullptr, other);
    fromAdvise.Reset();
    fromShutdown.Reset();
    shutdown.Reset();
    advise.Reset();
    EXPECT_FALSE(destroyed);
    object.Reset();
    EXPECT_TRUE(destroyed);
}

TEST(ComObjects, TheCreatorHoldsTheOnlyReference) {
    bool destroyed = false;
    ComPtr<TwoFaced> object = pelorin::MakeComObject<TwoFaced>(destroyed);
    EXPECT_EQ(2u, object->AddRef());
    EXPECT_EQ(1u, object->Release());
    EXPECT_EQ(0u, object.Detach()->Release());
    EXPECT_TRUE(destroyed);
}

// In this test program the module is the program itself; what counts is the bookkeeping.
TEST(ComObjects, EachLiveObjectKeepsTheModuleUntilTheHostsCallEnds) {
    ThisModule().ReleaseIfIdle();
    const long before = ThisModule().LiveObjects();
    ASSERT_EQ(0, before);
    {
        ComPtr<pelorin::StreamAdviseSink> stream =
            pelorin::MakeComObject<pelorin::StreamAdviseSink>(1u);
        ComPtr<pelorin::DataCallbackSink> callback =
            pelorin::MakeComObject<pelorin::DataCallbackSink>();
        ComPtr<pelorin::ShutdownSink> shutdown = pelorin::MakeComObject<pelorin::ShutdownSink>();
        EXPECT_EQ(3, ThisModule().LiveObjects());
        EXPECT_TRUE(ThisModule().HoldsModule());
        EXPECT_FALSE(ThisModule().CanUnloadNow());
        // A server keeps the shutdown sink after the session let it go.
        shutdown->AddRef();
        IOPCShutdown* kept = shutdown.Get();
        shutdown.Reset();
        stream.Reset();
        callback.Reset();
        EXPECT_EQ(1, ThisModule().LiveObjects());
        ThisModule().ReleaseIfIdle();
        EXPECT_TRUE(ThisModule().HoldsModule()) << "the kept sink still needs the module";
        kept->Release();
    }
    EXPECT_TRUE(ThisModule().CanUnloadNow());
    EXPECT_TRUE(ThisModule().HoldsModule());
    ThisModule().ReleaseIfIdle();
    EXPECT_FALSE(ThisModule().HoldsModule());
}

} // namespace
