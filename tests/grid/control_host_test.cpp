// The framework's hosting of COM controls: placing them from a dialog template, ending them with
// the dialog, wrappers that create their own, and the event table's argument reading.
#include <gtest/gtest.h>
#include <ole2.h>

#include "fw/control_host.h"
#include "fw/events.h"
#include "grid_api.h"
#include "grid_dialog.h"
#include "itemlink/ccell2000.h"

namespace {

HRESULT GridCanUnload() {
    HMODULE module = GetModuleHandleW(L"grid.dll");
    if (!module)
        return S_OK; // never loaded, nothing alive
    auto canUnload = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    return canUnload ? canUnload() : E_FAIL;
}

class ControlHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        RegisterTestResources();
    }
    void TearDown() override { OleUninitialize(); }
};

TEST_F(ControlHostTest, TemplatePlacesTheControlWithItsIdRectangleFontAndTabOrder) {
    for (UINT id : {IDD_GRID, IDD_GRID_CLASSIC}) {
        GridDialog dialog(id);
        bool ran = false;
        dialog.body = [&](GridDialog& d) {
            ran = true;
            HWND grid = d.Grid();
            ASSERT_NE(nullptr, grid);
            EXPECT_EQ(d.Handle(), GetParent(grid));
            EXPECT_NE(nullptr, fw::FindHostedControl(grid));
            RECT expected = {7, 24, id == IDD_GRID ? 287 : 207, id == IDD_GRID ? 174 : 124};
            MapDialogRect(d.Handle(), &expected);
            RECT actual;
            GetWindowRect(grid, &actual);
            MapWindowPoints(nullptr, d.Handle(), reinterpret_cast<POINT*>(&actual), 2);
            EXPECT_TRUE(EqualRect(&expected, &actual));
            EXPECT_EQ(SendMessageW(d.Handle(), WM_GETFONT, 0, 0),
                      SendMessageW(grid, WM_GETFONT, 0, 0));
            EXPECT_TRUE(GetWindowLongW(grid, GWL_STYLE) & WS_TABSTOP);
            // The classic template leaves the grid hidden: it keeps its place all the same.
            EXPECT_EQ(id == IDD_GRID, IsWindowVisible(grid) != FALSE);
            if (id == IDD_GRID) {
                EXPECT_EQ(grid, GetNextDlgTabItem(d.Handle(), d.Item(IDC_BEFORE), FALSE));
                EXPECT_EQ(d.Item(IDC_AFTER), GetNextDlgTabItem(d.Handle(), grid, FALSE));
            }
        };
        dialog.DoModal();
        EXPECT_TRUE(ran) << "template " << id;
    }
}

TEST_F(ControlHostTest, ControlsEndWithTheDialogAndNothingStaysReferenced) {
    GridDialog dialog;
    HWND grid = nullptr;
    dialog.body = [&](GridDialog& d) {
        grid = d.Grid();
        d.Click(2, 2); // events flow, so the connection is in use
        EXPECT_EQ(S_FALSE, GridCanUnload());
    };
    EXPECT_EQ(IDABORT, dialog.DoModal());
    ASSERT_NE(nullptr, grid);
    EXPECT_FALSE(IsWindow(grid));
    EXPECT_EQ(S_OK, GridCanUnload());
}

TEST_F(ControlHostTest, DialogWhoseControlCannotBeCreatedFailsWithMinusOne) {
    GridDialog dialog(IDD_GRID_UNKNOWN);
    bool ran = false;
    dialog.body = [&](GridDialog&) { ran = true; };
    EXPECT_EQ(-1, dialog.DoModal());
    EXPECT_FALSE(ran);
    EXPECT_EQ(nullptr, FindWindowW(nullptr, L"Unknown"));
}

TEST_F(ControlHostTest, WrapperCreatesItsOwnControlOutsideAnyDialog) {
    HWND window = CreateWindowW(L"STATIC", L"plain", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                                300, nullptr, nullptr, nullptr, nullptr);
    {
        pelorin::CCell2000 cell;
        HRESULT hr = E_FAIL;
        ASSERT_TRUE(cell.Create(window, {10, 10, 300, 200}, 77, &hr)) << std::hex << hr;
        EXPECT_EQ(77, GetDlgCtrlID(cell.Handle()));
        EXPECT_EQ(S_OK, cell.SetCellText(1, 1, 0, "x"));
        // The container is no framework dialog: the events find no table and go nowhere.
        SendMessageW(cell.Handle(), WM_KEYDOWN, VK_DOWN, 1);
        EXPECT_EQ(2, cell.GetActiveRow());
        cell.DestroyWindow();
        EXPECT_EQ(nullptr, cell.Handle());
        EXPECT_EQ(E_HANDLE, cell.SetRowCount(60, 0));
        EXPECT_EQ(0, cell.GetRowCount(0));
        EXPECT_EQ(E_HANDLE, cell.LastResult());
    }
    EXPECT_EQ(S_OK, GridCanUnload());
    DestroyWindow(window);
}

// Event tables read each argument into the handler's parameter type.
class Probe : public fw::Dialog {
public:
    Probe() : Dialog(0) {}
    void OnNumbers(long first, long second, long* answer) {
        seen = {first, second};
        *answer = 0;
    }
    void OnText(BSTR text) { seenText = text ? text : L""; }
    std::vector<long> seen;
    std::wstring seenText;
};

HRESULT Fire(fw::EventInvoker invoker, Probe& probe, std::vector<VARIANT> lastFirst) {
    DISPPARAMS params = {lastFirst.data(), nullptr, static_cast<UINT>(lastFirst.size()), 0};
    return invoker(probe, params);
}

VARIANT Long(long value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

TEST(EventTable, ArgumentsArriveInCallOrderConvertedToTheHandlersTypes) {
    Probe probe;
    const fw::EventInvoker numbers = &fw::detail::EventThunk<&Probe::OnNumbers>::Invoke;
    long answer = 1;
    VARIANT byRef;
    VariantInit(&byRef);
    V_VT(&byRef) = VT_I4 | VT_BYREF;
    V_I4REF(&byRef) = &answer;
    VARIANT small;
    VariantInit(&small);
    V_VT(&small) = VT_I2;
    V_I2(&small) = 7;
    ASSERT_EQ(S_OK, Fire(numbers, probe, {byRef, small, Long(3)}));
    EXPECT_EQ((std::vector<long>{3, 7}), probe.seen);
    EXPECT_EQ(0, answer);

    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Fire(numbers, probe, {byRef, Long(3)}));
    // A by-reference parameter needs a reference to a long, not a long.
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Fire(numbers, probe, {Long(0), Long(2), Long(3)}));

    const fw::EventInvoker text = &fw::detail::EventThunk<&Probe::OnText>::Invoke;
    VARIANT bstr;
    VariantInit(&bstr);
    V_VT(&bstr) = VT_BSTR;
    V_BSTR(&bstr) = SysAllocString(L"项");
    EXPECT_EQ(S_OK, Fire(text, probe, {bstr}));
    EXPECT_EQ(L"项", probe.seenText);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Fire(text, probe, {Long(1)}));
    VariantClear(&bstr);
}

} // namespace
