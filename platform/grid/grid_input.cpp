// The engineer's side of the grid: choosing the current cell with mouse and keys, typing into a
// cell, and the events each of these raises.
#include "grid_window.h"

namespace grid {
namespace {

long ShiftState() {
    return (GetKeyState(VK_SHIFT) < 0 ? 1 : 0) | (GetKeyState(VK_CONTROL) < 0 ? 2 : 0) |
           (GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

} // namespace

void GridWindow::Select(Cell cell) {
    if (!model_.IsDataCell(cell))
        return;
    const Cell old = model_.Active();
    if (old != cell && model_.IsDataCell(old)) {
        events_.CellSelect(old, 0);
        if (!hwnd_ || !model_.IsDataCell(cell))
            return; // the handler changed the grid under us
    }
    model_.SetActive(cell);
    InvalidateCell(old);
    InvalidateCell(cell);
    if (layout_.EnsureVisible(model_, cell)) {
        UpdateScrollBars();
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
    events_.CellSelect(cell, 1);
}

void GridWindow::MoveBy(long columns, long rows) {
    const Cell from = model_.Active();
    if (!model_.IsDataCell(from))
        return;
    Cell to = {from.column + columns, from.row + rows};
    to.column =
        to.column < 1 ? 1 : (to.column >= model_.Columns() ? model_.Columns() - 1 : to.column);
    to.row = to.row < 1 ? 1 : (to.row >= model_.Rows() ? model_.Rows() - 1 : to.row);
    if (to != from)
        Select(to);
}

void GridWindow::OnClick(POINT point, bool twice) {
    SetFocus(hwnd_); // ends typing in another cell first
    Cell cell;
    if (!layout_.HitTest(model_, point, cell) || !model_.IsDataCell(cell))
        return;
    Select(cell);
    if (twice && hwnd_ && model_.Active() == cell)
        BeginEdit(model_.Text(cell), false);
}

void GridWindow::OnKeyDown(UINT key) {
    const Cell cell = model_.Active();
    if (!model_.IsDataCell(cell))
        return;
    const long shift = ShiftState();
    const bool process = events_.CellKeyDown(cell, key, shift);
    if (!hwnd_)
        return;
    if (!process) {
        // The character this key made (already queued by TranslateMessage) goes with it.
        MSG character;
        PeekMessageW(&character, hwnd_, WM_CHAR, WM_CHAR, PM_REMOVE);
        return;
    }
    const bool control = (shift & 2) != 0;
    switch (key) {
    case VK_LEFT:
        MoveBy(-1, 0);
        break;
    case VK_RIGHT:
        MoveBy(1, 0);
        break;
    case VK_UP:
        MoveBy(0, -1);
        break;
    case VK_DOWN:
        MoveBy(0, 1);
        break;
    case VK_PRIOR:
        MoveBy(0, -layout_.PageRows());
        break;
    case VK_NEXT:
        MoveBy(0, layout_.PageRows());
        break;
    case VK_HOME:
        control ? MoveBy(0, -model_.Rows()) : MoveBy(-model_.Columns(), 0);
        break;
    case VK_END:
        control ? MoveBy(0, model_.Rows()) : MoveBy(model_.Columns(), 0);
        break;
    case VK_F2:
        BeginEdit(model_.Text(cell), false);
        break;
    case VK_DELETE:
        CommitText(cell, std::wstring());
        break;
    }
}

void GridWindow::OnChar(wchar_t c) {
    if (c < L' ' || c == 127)
        return;
    if (!editor_.IsOpen()) {
        if (!model_.IsDataCell(model_.Active()))
            return;
        BeginEdit(std::wstring(), false); // typing replaces the cell's text
    }
    if (editor_.IsOpen())
        SendMessageW(editor_.Handle(), WM_CHAR, c, 1);
}

void GridWindow::BeginEdit(const std::wstring& text, bool selectAll) {
    const Cell cell = model_.Active();
    if (!model_.IsDataCell(cell))
        return;
    if (layout_.EnsureVisible(model_, cell)) {
        UpdateScrollBars();
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
    RECT rect = layout_.CellRect(model_, cell);
    rect.left += 1;
    rect.top += 1;
    editCell_ = cell;
    editor_.Open(hwnd_, font_, rect, text, selectAll);
}

void GridWindow::EditEnded(bool keep, long columns, long rows) {
    if (!editor_.IsOpen())
        return;
    const std::wstring text = editor_.Text();
    editor_.Close();
    const Cell cell = editCell_;
    if (keep)
        CommitText(cell, text);
    if (hwnd_ && (columns || rows))
        MoveBy(columns, rows);
}

void GridWindow::CommitText(Cell cell, const std::wstring& text) {
    if (!model_.IsDataCell(cell))
        return;
    const std::wstring old = model_.Text(cell);
    if (old == text || !model_.SetText(cell, text))
        return;
    InvalidateCell(cell);
    const bool accepted = events_.CellChange(cell);
    if (!accepted && model_.IsDataCell(cell) && model_.Text(cell) == text) {
        model_.SetText(cell, old);
        InvalidateCell(cell);
    }
}

} // namespace grid
