// The grid as the tag link table uses it: sheet 0, row 0 the titles, column 1 the tag name,
// column 2 the item linked to PV, column 3 the item linked to DESC.
#pragma once

#include <string>

namespace pelorin {

class LinkGrid {
public:
    virtual void SetRowCount(long rows) = 0; // rows include the title row
    virtual long GetRowCount() = 0;
    virtual void SetCellText(long column, long row, const std::wstring& text) = 0;
    // In the ANSI code page, the form of the host's tag names and item ids.
    virtual std::string GetCellText(long column, long row) = 0;

protected:
    ~LinkGrid() = default;
};

} // namespace pelorin
