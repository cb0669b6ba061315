// CCell2000 against a recording control registered under the grid's class id for this process:
// every operation must reach the control as DISPATCH_METHOD with the dispatch id, argument
// order and argument types the grid contract names, and results must come back converted.
#include <gtest/gtest.h>
#include <ole2.h>

#include <atomic>
#include <string>
#include <vector>

#include "fw/string.h"
#include "itemlink/ccell2000.h"

namespace {

struct CallSeen {
    DISPID id;
    WORD flags;
    std::wstring args; // "I4:2 I4:5 BSTR:text", in call order
};

std::vector<CallSeen> gCalls;
HRESULT gFailWith = S_OK;

// Just enough of a windowed control for the framework to host it; IDispatch records.
class RecordingControl final : public IDispatch, public IOleObject, public IOleInPlaceObject {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch)
            *out = static_cast<IDispatch*>(this);
        else if (iid == IID_IOleObject)
            *out = static_cast<IOleObject*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject)
            *out = static_cast<IOleInPlaceObject*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (!left)
            delete this;
        return left;
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override {
        std::wstring args;
        for (UINT i = params->cArgs; i-- > 0;) {
            const VARIANT& arg = params->rgvarg[i];
            args += args.empty() ? L"" : L" ";
            if (V_VT(&arg) == VT_I4)
                args += L"I4:" + std::to_wstring(V_I4(&arg));
            else if (V_VT(&arg) == VT_BSTR)
                args += L"BSTR:" + std::wstring(V_BSTR(&arg), SysStringLen(V_BSTR(&arg)));
            else
                args += L"VT" + std::to_wstring(V_VT(&arg));
        }
        gCalls.push_back({id, flags, args});
        if (FAILED(gFailWith))
            return gFailWith;
        if (result && (id == 40 || id == 107 || id == 108)) {
            V_VT(result) = VT_I4;
            V_I4(result) = id == 40 ? 77 : (id == 107 ? 3 : 9);
        } else if (result && id == 49) {
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocString(L"Dev.项");
        }
        return S_OK;
    }

    STDMETHODIMP SetClientSite(IOleClientSite*) override { return S_OK; }
    STDMETHODIMP GetClientSite(IOleClientSite**) override { return E_NOTIMPL; }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD) override {
        if (window_)
            DestroyWindow(window_);
        window_ = nullptr;
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND parent, LPCRECT rect) override {
        window_ = CreateWindowW(L"STATIC", L"", WS_CHILD | WS_VISIBLE, rect->left, rect->top,
                                rect->right - rect->left, rect->bottom - rect->top, parent, nullptr,
                                nullptr, nullptr);
        return window_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    STDMETHODIMP GetWindow(HWND* window) override {
        *window = window_;
        return window_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT, LPCRECT) override { return S_OK; }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

private:
    ~RecordingControl() = default;
    std::atomic<ULONG> references_{1};
    HWND window_ = nullptr;
};

class RecordingFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID iid, void** out) override {
        auto* control = new RecordingControl;
        const HRESULT hr = control->QueryInterface(iid, out);
        control->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

class CCell2000Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ASSERT_EQ(S_OK, CoRegisterClassObject(pelorin::CCell2000::ClassId(), &factory_,
                                              CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_));
        window_ = CreateWindowW(L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
        ASSERT_TRUE(cell_.Create(window_, {0, 0, 200, 100}, 12015));
        gCalls.clear();
        gFailWith = S_OK;
    }
    void TearDown() override {
        cell_.DestroyWindow();
        DestroyWindow(window_);
        CoRevokeClassObject(cookie_);
        OleUninitialize();
    }
    static std::wstring Seen(size_t index, DISPID id) {
        EXPECT_LT(index, gCalls.size());
        if (index >= gCalls.size())
            return L"";
        EXPECT_EQ(id, gCalls[index].id);
        EXPECT_EQ(DISPATCH_METHOD, gCalls[index].flags);
        return gCalls[index].args;
    }

    RecordingFactory factory_;
    DWORD cookie_ = 0;
    HWND window_ = nullptr;
    pelorin::CCell2000 cell_;
};

TEST_F(CCell2000Test, EachOperationSendsItsDispatchIdAndArgumentsInOrder) {
    EXPECT_EQ(S_OK, cell_.SetColumnCount(4, 0));
    EXPECT_EQ(S_OK, cell_.SetRowCount(51, 0));
    EXPECT_EQ(77, cell_.GetRowCount(0));
    EXPECT_EQ(S_OK, cell_.SetCellText(2, 5, 0, "Dev.T5"));
    EXPECT_EQ(fw::ToAnsi(L"Dev.项"), cell_.GetCellText(3, 6, 0).str());
    EXPECT_EQ(S_OK, cell_.SetColumnWidth(1, 140, 3, 0));
    EXPECT_EQ(3, cell_.GetActiveColumn());
    EXPECT_EQ(9, cell_.GetActiveRow());
    EXPECT_EQ(S_OK, cell_.SetupOption(1, 1));
    ASSERT_EQ(9u, gCalls.size());
    EXPECT_EQ(L"I4:4 I4:0", Seen(0, 37));
    EXPECT_EQ(L"I4:51 I4:0", Seen(1, 39));
    EXPECT_EQ(L"I4:0", Seen(2, 40));
    EXPECT_EQ(L"I4:2 I4:5 I4:0 BSTR:Dev.T5", Seen(3, 47));
    EXPECT_EQ(L"I4:3 I4:6 I4:0", Seen(4, 49));
    EXPECT_EQ(L"I4:1 I4:140 I4:3 I4:0", Seen(5, 98));
    EXPECT_EQ(L"", Seen(6, 107));
    EXPECT_EQ(L"", Seen(7, 108));
    EXPECT_EQ(L"I4:1 I4:1", Seen(8, 255));
}

TEST_F(CCell2000Test, TextsCrossAsUtf16ThroughTheAnsiCodePage) {
    const std::string ansi = fw::ToAnsi(L"点名 PV连接项");
    EXPECT_EQ(S_OK, cell_.SetCellText(1, 0, 0, ansi.c_str()));
    EXPECT_EQ(S_OK, cell_.SetCellText(1, 1, 0, nullptr));
    ASSERT_EQ(2u, gCalls.size());
    EXPECT_EQ(L"I4:1 I4:0 I4:0 BSTR:" + fw::ToWide(ansi.c_str()), Seen(0, 47));
    EXPECT_EQ(L"I4:1 I4:1 I4:0 BSTR:", Seen(1, 47));
}

TEST_F(CCell2000Test, FailedCallsGiveNeutralValuesAndKeepTheResult) {
    gFailWith = DISP_E_EXCEPTION;
    EXPECT_EQ(0, cell_.GetRowCount(0));
    EXPECT_EQ(DISP_E_EXCEPTION, cell_.LastResult());
    gFailWith = E_FAIL;
    EXPECT_EQ(0, cell_.GetActiveColumn());
    EXPECT_EQ(0, cell_.GetActiveRow());
    EXPECT_TRUE(cell_.GetCellText(1, 1, 0).empty());
    EXPECT_EQ(E_FAIL, cell_.SetCellText(1, 1, 0, "x"));
    EXPECT_EQ(E_FAIL, cell_.LastResult());
    gFailWith = S_OK;
    EXPECT_EQ(9, cell_.GetActiveRow());
    EXPECT_EQ(S_OK, cell_.LastResult());
}

} // namespace
