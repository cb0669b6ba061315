// Drawing the grid: cells, lines, the title row and row headers, the current cell's frame.
// Everything is drawn into a bitmap first and copied in one go, so that scrolling a long grid
// does not flicker.
#include "grid_window.h"

namespace grid {
namespace {

constexpr UINT kTextFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;

void DrawCell(HDC dc, const RECT& rect, const std::wstring& text, bool header) {
    if (header) {
        FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    } else {
        FillRect(dc, &rect, GetSysColorBrush(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    }
    if (!text.empty()) {
        RECT inner = {rect.left + 3, rect.top, rect.right - 3, rect.bottom};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &inner,
                  kTextFormat | (header ? DT_CENTER : DT_LEFT));
    }
    // Lines on the right and bottom edge; the cells to the left and above draw the others.
    HGDIOBJ old = SelectObject(dc, GetStockObject(DC_PEN));
    SetDCPenColor(dc, GetSysColor(header ? COLOR_BTNSHADOW : COLOR_3DLIGHT));
    MoveToEx(dc, rect.right - 1, rect.top, nullptr);
    LineTo(dc, rect.right - 1, rect.bottom - 1);
    LineTo(dc, rect.left - 1, rect.bottom - 1);
    SelectObject(dc, old);
}

} // namespace

void GridWindow::Paint(HDC target, const RECT& area) {
    RECT client;
    GetClientRect(hwnd_, &client);
    if (client.right <= 0 || client.bottom <= 0)
        return;
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, client.right, client.bottom);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    FillRect(dc, &client, GetSysColorBrush(COLOR_APPWORKSPACE));

    long first = 0, last = -1;
    layout_.VisibleRows(model_, first, last);
    const int header = model_.Width(0);
    const int titles = layout_.RowHeight();

    // Data cells, clipped so that they never paint over the fixed title row and row headers.
    SaveDC(dc);
    IntersectClipRect(dc, header, titles, client.right, client.bottom);
    for (long row = first; row <= last; ++row) {
        for (long column = 1; column < model_.Columns(); ++column) {
            const RECT rect = layout_.CellRect(model_, {column, row});
            if (rect.right <= header)
                continue;
            if (rect.left >= client.right)
                break;
            DrawCell(dc, rect, model_.Text({column, row}), false);
        }
    }
    RestoreDC(dc, -1);

    // Title row (scrolling sideways with the columns) and row headers.
    SaveDC(dc);
    IntersectClipRect(dc, header, 0, client.right, titles);
    for (long column = 1; column < model_.Columns(); ++column) {
        const RECT rect = layout_.CellRect(model_, {column, 0});
        if (rect.left >= client.right)
            break;
        if (rect.right > header)
            DrawCell(dc, rect, model_.Text({column, 0}), true);
    }
    RestoreDC(dc, -1);
    for (long row = first; row <= last; ++row)
        DrawCell(dc, layout_.CellRect(model_, {0, row}), model_.DisplayText({0, row}), true);
    DrawCell(dc, layout_.CellRect(model_, {0, 0}), model_.Text({0, 0}), true);

    // The current cell's frame, in the selection colour while the grid has the focus.
    const Cell active = model_.Active();
    if (model_.IsDataCell(active) && active.row >= first && active.row <= last) {
        RECT frame = layout_.CellRect(model_, active);
        SaveDC(dc);
        IntersectClipRect(dc, header, titles, client.right, client.bottom);
        const bool focused = GetFocus() == hwnd_;
        HBRUSH brush = GetSysColorBrush(focused ? COLOR_HIGHLIGHT : COLOR_BTNSHADOW);
        for (int i = 0; i < 2; ++i) {
            FrameRect(dc, &frame, brush);
            InflateRect(&frame, -1, -1);
        }
        RestoreDC(dc, -1);
    }

    BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top, dc,
           area.left, area.top, SRCCOPY);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

} // namespace grid
