// The grid window: its class and messages, the font and the scroll bars.
#include "grid_window.h"

#include <windowsx.h>

#include "grid_api.h"

namespace grid {
namespace {

const wchar_t kClassName[] = L"PlatformGridWindow";
constexpr int kLinePixels = 20;
constexpr int kWheelRows = 3;

} // namespace

GridWindow::GridWindow(GridModel& model, GridEvents& events, IUnknown& owner)
    : model_(model), events_(events), owner_(owner), editor_(*this) {}

GridWindow::~GridWindow() {
    Destroy();
}

bool GridWindow::RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSW wc = {};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void GridWindow::UnregisterWindowClass(HINSTANCE instance) {
    UnregisterClassW(kClassName, instance);
}

bool GridWindow::Create(HWND parent, const RECT& rect) {
    if (hwnd_)
        return true;
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&WindowProc), &module);
    cellRectMessage_ = RegisterWindowMessageW(kCellRectMessage);
    CreateWindowExW(WS_EX_CLIENTEDGE, kClassName, L"",
                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_CLIPCHILDREN, rect.left,
                    rect.top, rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                    module, this);
    return hwnd_ != nullptr;
}

void GridWindow::Destroy() {
    if (hwnd_ && IsWindow(hwnd_))
        DestroyWindow(hwnd_); // clears hwnd_ through WM_NCDESTROY
    hwnd_ = nullptr;
}

void GridWindow::ContentChanged() {
    if (!hwnd_)
        return;
    if (editor_.IsOpen() && !model_.IsDataCell(editCell_))
        EditEnded(false, 0, 0);
    layout_.Clamp(model_);
    UpdateScrollBars();
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void GridWindow::CellTextChanged(Cell cell) {
    InvalidateCell(cell);
}

void GridWindow::InvalidateCell(Cell cell) {
    if (!hwnd_)
        return;
    RECT rect = layout_.CellRect(model_, cell);
    InflateRect(&rect, 2, 2); // the current cell's frame reaches over the lines
    // A cell scrolled out of view needs no painting; asking the window system for it would
    // cost a call per cell when a caller fills thousands of rows.
    RECT client;
    RECT shown;
    if (GetClientRect(hwnd_, &client) && !IntersectRect(&shown, &rect, &client))
        return;
    InvalidateRect(hwnd_, &rect, FALSE);
}

LRESULT CALLBACK GridWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<GridWindow*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<GridWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    // An event handler may drop the last reference to the control; it must outlive this call.
    IUnknown& owner = self->owner_;
    owner.AddRef();
    LRESULT result = 0;
    try {
        result = self->OnMessage(message, wParam, lParam);
    } catch (...) {
        result = DefWindowProcW(hwnd, message, wParam, lParam);
    }
    owner.Release();
    return result;
}

LRESULT GridWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetFont(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
        return 0;
    case WM_SIZE:
        layout_.SetClientSize(LOWORD(lParam), HIWORD(lParam));
        layout_.Clamp(model_);
        if (editor_.IsOpen())
            EditEnded(true, 0, 0);
        UpdateScrollBars();
        InvalidateRect(hwnd_, nullptr, FALSE);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        Paint(dc, ps.rcPaint);
        EndPaint(hwnd_, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // Paint covers every pixel
    case WM_SETFONT:
        SetFont(reinterpret_cast<HFONT>(wParam));
        if (LOWORD(lParam))
            InvalidateRect(hwnd_, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_);
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateCell(model_.Active());
        return 0;
    case WM_VSCROLL:
    case WM_HSCROLL:
        Scroll(message == WM_VSCROLL ? SB_VERT : SB_HORZ, LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        ScrollTo(layout_.TopRow() - GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * kWheelRows,
                 layout_.Left());
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnClick({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, message == WM_LBUTTONDBLCLK);
        return 0;
    case WM_KEYDOWN:
        OnKeyDown(static_cast<UINT>(wParam));
        return 0;
    case WM_CHAR:
        OnChar(static_cast<wchar_t>(wParam));
        return 0;
    }
    if (message == cellRectMessage_ && cellRectMessage_)
        return OnCellRect(lParam) ? 1 : 0;
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void GridWindow::SetFont(HFONT font) {
    font_ = font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, font_);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    layout_.SetRowHeight(metrics.tmHeight + 6);
    editor_.SetFont(font_);
    ContentChanged();
}

void GridWindow::UpdateScrollBars() {
    // Showing or hiding a bar resizes the client area, which comes back here through WM_SIZE.
    if (!hwnd_ || updatingBars_)
        return;
    updatingBars_ = true;
    RECT before;
    GetClientRect(hwnd_, &before);
    SetBars();
    RECT after;
    GetClientRect(hwnd_, &after);
    if (!EqualRect(&before, &after))
        SetBars(); // the page sizes follow the new client area
    updatingBars_ = false;
}

void GridWindow::SetBars() {
    SCROLLINFO info = {sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
    info.nMin = 1;
    info.nMax = model_.Rows() > 1 ? model_.Rows() - 1 : 1;
    info.nPage = static_cast<UINT>(layout_.PageRows());
    info.nPos = layout_.TopRow();
    SetScrollInfo(hwnd_, SB_VERT, &info, TRUE);
    RECT client;
    GetClientRect(hwnd_, &client);
    const int view = client.right - model_.Width(0);
    info.nMin = 0;
    info.nMax = layout_.ScrollableWidth(model_) - 1;
    info.nPage = static_cast<UINT>(view > 0 ? view : 0);
    info.nPos = layout_.Left();
    SetScrollInfo(hwnd_, SB_HORZ, &info, TRUE);
}

void GridWindow::Scroll(int bar, WORD request) {
    SCROLLINFO info = {sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(hwnd_, bar, &info);
    const bool vertical = bar == SB_VERT;
    const long line = vertical ? 1 : kLinePixels;
    const long page = vertical ? layout_.PageRows() : static_cast<long>(info.nPage);
    long position = vertical ? layout_.TopRow() : layout_.Left();
    switch (request) {
    case SB_LINEUP:
        position -= line;
        break;
    case SB_LINEDOWN:
        position += line;
        break;
    case SB_PAGEUP:
        position -= page;
        break;
    case SB_PAGEDOWN:
        position += page;
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        position = info.nTrackPos;
        break;
    case SB_TOP:
        position = info.nMin;
        break;
    case SB_BOTTOM:
        position = info.nMax;
        break;
    default:
        return;
    }
    if (vertical)
        ScrollTo(position, layout_.Left());
    else
        ScrollTo(layout_.TopRow(), static_cast<int>(position));
}

void GridWindow::ScrollTo(long topRow, int left) {
    if (editor_.IsOpen())
        EditEnded(true, 0, 0);
    if (layout_.ScrollTo(model_, topRow, left)) {
        UpdateScrollBars();
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
}

bool GridWindow::OnCellRect(LPARAM request) {
    auto* cell = reinterpret_cast<CellRect*>(request);
    if (!cell || !model_.Contains({cell->column, cell->row}))
        return false;
    if (layout_.EnsureVisible(model_, {cell->column, cell->row})) {
        UpdateScrollBars();
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
    cell->rect = layout_.CellRect(model_, {cell->column, cell->row});
    return true;
}

} // namespace grid
