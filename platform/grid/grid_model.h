// The grid's content and state without any window: cells of sheet 0, column widths, the current
// cell and the options. Every index from a caller is checked here.
#pragma once

#include <string>
#include <vector>

namespace grid {

struct Cell {
    long column;
    long row;
    friend bool operator==(const Cell& a, const Cell& b) {
        return a.column == b.column && a.row == b.row;
    }
    friend bool operator!=(const Cell& a, const Cell& b) { return !(a == b); }
};

class GridModel {
public:
    static constexpr long kInitialRows = 50;
    static constexpr long kInitialColumns = 4;
    static constexpr long kMaxRows = 100000;
    static constexpr long kMaxColumns = 256;
    static constexpr long kMaxWidth = 4096;
    static constexpr size_t kMaxTextChars = 32767;
    static constexpr int kDefaultWidth = 80;
    static constexpr int kHeaderWidth = 40; // column 0

    GridModel();

    long Rows() const { return rowCount_; }
    long Columns() const { return columnCount_; }
    // Counts include row 0 and column 0; at least one of each. False when out of range.
    bool SetRows(long count);
    bool SetColumns(long count);

    bool Contains(Cell cell) const {
        return cell.column >= 0 && cell.column < columnCount_ && cell.row >= 0 &&
               cell.row < rowCount_;
    }
    // A cell the engineer can select and type into (not the title row or the row header).
    bool IsDataCell(Cell cell) const { return Contains(cell) && cell.column > 0 && cell.row > 0; }

    // Empty for a cell that holds nothing and for one outside the grid.
    const std::wstring& Text(Cell cell) const;
    bool SetText(Cell cell, const std::wstring& text);
    // What the cell shows: its text, or for an empty row header its row number when that option
    // is on.
    std::wstring DisplayText(Cell cell) const;

    int Width(long column) const;
    // `count` columns from `first` get `width` pixels; false (nothing changed) when any of them
    // does not exist or the width is out of range.
    bool SetWidths(long first, long count, long width);

    // The current cell: a data cell when the grid has one, otherwise (0, 0).
    Cell Active() const { return active_; }
    bool SetActive(Cell cell);

    bool RowNumbers() const { return rowNumbers_; }
    void SetRowNumbers(bool on) { rowNumbers_ = on; }

private:
    void KeepActiveInside();

    // Rows are sized when first written, so that a long empty grid costs little.
    std::vector<std::vector<std::wstring>> cells_;
    std::vector<int> widths_;
    long rowCount_;
    long columnCount_;
    Cell active_{1, 1};
    bool rowNumbers_ = false;
};

} // namespace grid
