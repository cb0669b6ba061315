#include "grid_dialog.h"

#include <gtest/gtest.h>

#include "fw/control_host.h"
#include "fw/resources.h"
#include "grid_api.h"

namespace {

constexpr UINT kRunBody = WM_APP + 11;
fw::ExtensionModule gResources;

} // namespace

void RegisterTestResources() {
    if (!gResources.initialized) {
        ASSERT_TRUE(fw::InitExtensionModule(gResources, GetModuleHandleW(nullptr)));
        ASSERT_TRUE(fw::AddResourceModule(gResources));
    }
}

FW_BEGIN_EVENTS(GridDialog)
FW_ON_EVENT(IDC_GRID, grid::kCellSelect, OnCellSelect)
FW_ON_EVENT(IDC_GRID, grid::kCellChange, OnCellChange)
FW_ON_EVENT(IDC_GRID, grid::kCellKeyDown, OnCellKeyDown)
FW_END_EVENTS()

BOOL GridDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    PostMessageW(Handle(), kRunBody, 0, 0);
    return TRUE;
}

INT_PTR GridDialog::OnMessage(UINT message, WPARAM, LPARAM, bool& handled) {
    if (message != kRunBody)
        return 0;
    handled = true;
    if (body)
        body(*this);
    if (!Ending())
        EndDialog(IDABORT);
    return 0;
}

void GridDialog::Record(const std::string& event) {
    events_.push_back(event);
    if (duringEvent)
        duringEvent(*this);
}

void GridDialog::OnCellSelect(long column, long row, long flag) {
    Record("sel " + std::to_string(column) + " " + std::to_string(row) + " " +
           std::to_string(flag));
}

void GridDialog::OnCellChange(long column, long row, long* accept) {
    Record("chg " + std::to_string(column) + " " + std::to_string(row));
    if (refuseChanges)
        *accept = 0;
}

void GridDialog::OnCellKeyDown(long column, long row, long sheet, long key, long shift,
                               long* process) {
    Record("key " + std::to_string(column) + " " + std::to_string(row) + " " +
           std::to_string(sheet) + " " + std::to_string(key) + " " + std::to_string(shift));
    if (refuseKeys)
        *process = 0;
}

std::string GridDialog::TakeEvents() {
    std::string joined;
    for (const std::string& event : events_)
        joined += (joined.empty() ? "" : "|") + event;
    events_.clear();
    return joined;
}

HRESULT GridDialog::Call(DISPID id, std::vector<long> numbers, const wchar_t* text,
                         VARIANT* result) {
    std::vector<VARIANT> args(numbers.size() + (text ? 1 : 0));
    for (size_t i = 0; i < numbers.size(); ++i) {
        VariantInit(&args[i]);
        V_VT(&args[i]) = VT_I4;
        V_I4(&args[i]) = numbers[i];
    }
    if (text) {
        VariantInit(&args.back());
        V_VT(&args.back()) = VT_BSTR;
        V_BSTR(&args.back()) = SysAllocString(text);
    }
    fw::HostedControl* control = fw::FindHostedControl(Grid());
    const HRESULT hr = control ? fw::InvokeHostedControl(control, id, DISPATCH_METHOD, args.data(),
                                                         static_cast<UINT>(args.size()), result)
                               : E_HANDLE;
    for (VARIANT& arg : args)
        VariantClear(&arg);
    return hr;
}

long GridDialog::Number(DISPID id, std::vector<long> numbers) {
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = Call(id, numbers, nullptr, &result);
    EXPECT_EQ(S_OK, hr) << "dispatch id " << id;
    EXPECT_EQ(VT_I4, V_VT(&result));
    return SUCCEEDED(hr) && V_VT(&result) == VT_I4 ? V_I4(&result) : -1;
}

std::wstring GridDialog::Text(long column, long row) {
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = Call(grid::kGetCellText, {column, row, 0}, nullptr, &result);
    EXPECT_EQ(S_OK, hr) << "GetCellText(" << column << ", " << row << ")";
    std::wstring text;
    if (SUCCEEDED(hr) && V_VT(&result) == VT_BSTR)
        text.assign(V_BSTR(&result), SysStringLen(V_BSTR(&result)));
    VariantClear(&result);
    return text;
}

void GridDialog::SetText(long column, long row, const wchar_t* text) {
    EXPECT_EQ(S_OK, Call(grid::kSetCellText, {column, row, 0}, text));
}

RECT GridDialog::CellRect(long column, long row) {
    grid::CellRect cell = {column, row, {}};
    EXPECT_EQ(1, SendMessageW(Grid(), RegisterWindowMessageW(grid::kCellRectMessage), 0,
                              reinterpret_cast<LPARAM>(&cell)));
    return cell.rect;
}

void GridDialog::Click(long column, long row, bool twice) {
    const RECT rect = CellRect(column, row);
    const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    SendMessageW(Grid(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(Grid(), WM_LBUTTONUP, 0, at);
    if (twice) {
        SendMessageW(Grid(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        SendMessageW(Grid(), WM_LBUTTONUP, 0, at);
    }
}

void GridDialog::Key(UINT key) {
    HWND focus = GetFocus();
    SendMessageW(focus, WM_KEYDOWN, key, 1);
    SendMessageW(focus, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
}

void GridDialog::Type(const std::wstring& text) {
    for (wchar_t c : text)
        SendMessageW(GetFocus(), WM_CHAR, c, 1);
}
