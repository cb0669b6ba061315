// What the grid control offers its containers: its class id, the dispatch ids of its methods and
// events, and one window message for tools that drive it like an engineer does.
//
// Methods (DISPATCH_METHOD; long is VT_I4, text is VT_BSTR; sheet 0 is the only sheet):
//   37  SetColumnCount(long count, long sheet)
//   39  SetRowCount(long count, long sheet)          rows include the title row 0
//   40  GetRowCount(long sheet) -> long
//   47  SetCellText(long column, long row, long sheet, text)
//   49  GetCellText(long column, long row, long sheet) -> text
//   98  SetColumnWidth(long count, long width, long column, long sheet)
//                                                    `count` columns from `column` get `width`
//                                                    pixels
//   107 GetActiveColumn() -> long
//   108 GetActiveRow() -> long
//   255 SetupOption(long option, long value)         option 1: row numbers in column 0
// Events (the default source dispinterface):
//   11  CellSelect(long column, long row, long flag) flag 1: the cell became the current one,
//                                                    0: the current cell was left for another
//   50  CellChange(long column, long row, long* accept)
//                                                    after typing changed a cell's text or
//                                                    Delete emptied it; writing 0 to accept
//                                                    puts the old text back
//   51  CellKeyDown(long column, long row, long sheet, long key, long shift, long* process)
//                                                    a key pressed on the current cell (key:
//                                                    virtual-key code; shift: 1 Shift, 2 Ctrl,
//                                                    4 Alt); writing 0 to process makes the
//                                                    grid ignore the key
#pragma once

#include <windows.h>

namespace grid {

// {5168A2D2-0D15-4F2D-84E9-28E7117C83AA}
constexpr CLSID kClassId = {
    0x5168A2D2, 0x0D15, 0x4F2D, {0x84, 0xE9, 0x28, 0xE7, 0x11, 0x7C, 0x83, 0xAA}};
// {06398A77-1FA9-4554-878A-F1BB04D4890A}: the events dispinterface.
constexpr IID kEventsId = {
    0x06398A77, 0x1FA9, 0x4554, {0x87, 0x8A, 0xF1, 0xBB, 0x04, 0xD4, 0x89, 0x0A}};

enum Method : long {
    kSetColumnCount = 37,
    kSetRowCount = 39,
    kGetRowCount = 40,
    kSetCellText = 47,
    kGetCellText = 49,
    kSetColumnWidth = 98,
    kGetActiveColumn = 107,
    kGetActiveRow = 108,
    kSetupOption = 255,
};

enum Event : long {
    kCellSelect = 11,
    kCellChange = 50,
    kCellKeyDown = 51,
};

enum Option : long {
    kOptionRowNumbers = 1,
};

// Registered window message (RegisterWindowMessageW(kCellRectMessage)) sent to the grid's
// window with lParam pointing at a CellRect: the grid scrolls the cell into view and fills in
// its rectangle in client coordinates. Returns 1, or 0 when there is no such cell.
constexpr wchar_t kCellRectMessage[] = L"GridControl.CellRect";

struct CellRect {
    long column;
    long row;
    RECT rect;
};

} // namespace grid
