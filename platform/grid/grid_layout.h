// Where the grid's cells lie in its window. Row 0 (titles) and column 0 (row headers) stay in
// place; the other rows scroll by whole rows, the other columns by pixels.
#pragma once

#include <windows.h>

#include "grid_model.h"

namespace grid {

class GridLayout {
public:
    void SetRowHeight(int height) { rowHeight_ = height > 4 ? height : 4; }
    int RowHeight() const { return rowHeight_; }
    void SetClientSize(int width, int height) {
        width_ = width;
        height_ = height;
    }

    long TopRow() const { return topRow_; } // first data row below the titles
    int Left() const { return left_; }      // pixels scrolled off to the left

    // Data rows that fit entirely below the titles (at least 1).
    long PageRows() const;
    long MaxTopRow(const GridModel& model) const;
    int MaxLeft(const GridModel& model) const;
    // Total width of the columns after column 0.
    int ScrollableWidth(const GridModel& model) const;

    // Clamps to the valid range; true when the view moved.
    bool ScrollTo(const GridModel& model, long topRow, int left);
    // Scrolls as little as possible so that the cell is shown; true when the view moved.
    bool EnsureVisible(const GridModel& model, Cell cell);
    // After the grid changed size: keeps the view inside the content.
    bool Clamp(const GridModel& model) { return ScrollTo(model, topRow_, left_); }

    // The cell's rectangle in client coordinates, also when it is scrolled out of view.
    RECT CellRect(const GridModel& model, Cell cell) const;
    // The cell under a client point; false where there is none.
    bool HitTest(const GridModel& model, POINT point, Cell& cell) const;
    // The range of rows with any part in view, title row excluded: [first, last].
    void VisibleRows(const GridModel& model, long& first, long& last) const;

private:
    int ColumnLeft(const GridModel& model, long column) const; // content coordinates

    int rowHeight_ = 20;
    int width_ = 0;
    int height_ = 0;
    long topRow_ = 1;
    int left_ = 0;
};

} // namespace grid
