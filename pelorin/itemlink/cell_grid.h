// The tag grid control as the tag link table writes and reads it (sheet 0).
#pragma once

#include "itemlink/ccell2000.h"
#include "tags/link_grid.h"

namespace pelorin {

class CellGrid final : public LinkGrid {
public:
    explicit CellGrid(CCell2000& grid) : grid_(grid) {}

    void SetRowCount(long rows) override { grid_.SetRowCount(rows, 0); }
    long GetRowCount() override { return grid_.GetRowCount(0); }
    void SetCellText(long column, long row, const std::wstring& text) override {
        grid_.SetCellTextW(column, row, 0, text.c_str());
    }
    std::string GetCellText(long column, long row) override {
        return grid_.GetCellText(column, row, 0).str();
    }

private:
    CCell2000& grid_;
};

} // namespace pelorin
