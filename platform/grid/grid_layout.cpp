#include "grid_layout.h"

namespace grid {

long GridLayout::PageRows() const {
    const long rows = (height_ - rowHeight_) / rowHeight_;
    return rows > 0 ? rows : 1;
}

long GridLayout::MaxTopRow(const GridModel& model) const {
    const long top = model.Rows() - PageRows();
    return top > 1 ? top : 1;
}

int GridLayout::ScrollableWidth(const GridModel& model) const {
    int total = 0;
    for (long c = 1; c < model.Columns(); ++c)
        total += model.Width(c);
    return total;
}

int GridLayout::MaxLeft(const GridModel& model) const {
    const int view = width_ - model.Width(0);
    const int left = ScrollableWidth(model) - (view > 0 ? view : 0);
    return left > 0 ? left : 0;
}

bool GridLayout::ScrollTo(const GridModel& model, long topRow, int left) {
    const long maxTop = MaxTopRow(model);
    const int maxLeft = MaxLeft(model);
    topRow = topRow < 1 ? 1 : (topRow > maxTop ? maxTop : topRow);
    left = left < 0 ? 0 : (left > maxLeft ? maxLeft : left);
    const bool moved = topRow != topRow_ || left != left_;
    topRow_ = topRow;
    left_ = left;
    return moved;
}

bool GridLayout::EnsureVisible(const GridModel& model, Cell cell) {
    long top = topRow_;
    if (cell.row >= 1) {
        if (cell.row < top)
            top = cell.row;
        else if (cell.row >= top + PageRows())
            top = cell.row - PageRows() + 1;
    }
    int left = left_;
    if (cell.column >= 1) {
        const int start = ColumnLeft(model, cell.column) - model.Width(0);
        const int end = start + model.Width(cell.column);
        const int view = width_ - model.Width(0);
        if (start < left || end - start > view)
            left = start;
        else if (end > left + view)
            left = end - view;
    }
    return ScrollTo(model, top, left);
}

int GridLayout::ColumnLeft(const GridModel& model, long column) const {
    int x = 0;
    for (long c = 0; c < column && c < model.Columns(); ++c)
        x += model.Width(c);
    return x;
}

RECT GridLayout::CellRect(const GridModel& model, Cell cell) const {
    RECT rect;
    rect.left = cell.column == 0 ? 0 : ColumnLeft(model, cell.column) - left_;
    rect.right = rect.left + model.Width(cell.column);
    rect.top = cell.row == 0 ? 0 : rowHeight_ * (1 + cell.row - topRow_);
    rect.bottom = rect.top + rowHeight_;
    return rect;
}

bool GridLayout::HitTest(const GridModel& model, POINT point, Cell& cell) const {
    if (point.x < 0 || point.y < 0)
        return false;
    long row = point.y < rowHeight_ ? 0 : topRow_ + (point.y - rowHeight_) / rowHeight_;
    if (row >= model.Rows())
        return false;
    const int header = model.Width(0);
    long column = -1;
    if (point.x < header) {
        column = 0;
    } else {
        int x = header - left_;
        for (long c = 1; c < model.Columns(); ++c) {
            x += model.Width(c);
            if (point.x < x) {
                column = c;
                break;
            }
        }
    }
    if (column < 0)
        return false;
    cell = {column, row};
    return true;
}

void GridLayout::VisibleRows(const GridModel& model, long& first, long& last) const {
    first = topRow_;
    const int below = height_ - rowHeight_; // pixels under the title row
    last = below > 0 ? topRow_ + (below + rowHeight_ - 1) / rowHeight_ - 1 : topRow_ - 1;
    if (last >= model.Rows())
        last = model.Rows() - 1;
}

} // namespace grid
