#include "grid_model.h"

namespace grid {
namespace {

const std::wstring kEmpty;

} // namespace

GridModel::GridModel() : rowCount_(0), columnCount_(0) {
    SetColumns(kInitialColumns);
    SetRows(kInitialRows);
}

bool GridModel::SetRows(long count) {
    if (count < 1 || count > kMaxRows)
        return false;
    rowCount_ = count;
    if (cells_.size() > static_cast<size_t>(count))
        cells_.resize(static_cast<size_t>(count));
    KeepActiveInside();
    return true;
}

bool GridModel::SetColumns(long count) {
    if (count < 1 || count > kMaxColumns)
        return false;
    const size_t old = widths_.size();
    widths_.resize(static_cast<size_t>(count), kDefaultWidth);
    if (old == 0)
        widths_[0] = kHeaderWidth;
    columnCount_ = count;
    for (std::vector<std::wstring>& row : cells_)
        if (row.size() > static_cast<size_t>(count))
            row.resize(static_cast<size_t>(count));
    KeepActiveInside();
    return true;
}

const std::wstring& GridModel::Text(Cell cell) const {
    if (!Contains(cell) || static_cast<size_t>(cell.row) >= cells_.size())
        return kEmpty;
    const std::vector<std::wstring>& row = cells_[static_cast<size_t>(cell.row)];
    return static_cast<size_t>(cell.column) < row.size() ? row[static_cast<size_t>(cell.column)]
                                                         : kEmpty;
}

bool GridModel::SetText(Cell cell, const std::wstring& text) {
    if (!Contains(cell) || text.size() > kMaxTextChars)
        return false;
    const size_t r = static_cast<size_t>(cell.row), c = static_cast<size_t>(cell.column);
    if (text.empty() && (r >= cells_.size() || c >= cells_[r].size()))
        return true; // nothing to clear
    if (r >= cells_.size())
        cells_.resize(r + 1);
    if (c >= cells_[r].size())
        cells_[r].resize(static_cast<size_t>(columnCount_));
    cells_[r][c] = text;
    return true;
}

std::wstring GridModel::DisplayText(Cell cell) const {
    const std::wstring& text = Text(cell);
    if (text.empty() && rowNumbers_ && cell.column == 0 && cell.row > 0 && Contains(cell))
        return std::to_wstring(cell.row);
    return text;
}

int GridModel::Width(long column) const {
    return column >= 0 && column < columnCount_ ? widths_[static_cast<size_t>(column)] : 0;
}

bool GridModel::SetWidths(long first, long count, long width) {
    if (first < 0 || count < 1 || count > columnCount_ - first || width < 0 || width > kMaxWidth)
        return false;
    for (long c = first; c < first + count; ++c)
        widths_[static_cast<size_t>(c)] = static_cast<int>(width);
    return true;
}

bool GridModel::SetActive(Cell cell) {
    if (!IsDataCell(cell))
        return false;
    active_ = cell;
    return true;
}

void GridModel::KeepActiveInside() {
    if (columnCount_ < 2 || rowCount_ < 2) {
        active_ = {0, 0};
        return;
    }
    if (active_.column < 1)
        active_.column = 1;
    if (active_.row < 1)
        active_.row = 1;
    if (active_.column >= columnCount_)
        active_.column = columnCount_ - 1;
    if (active_.row >= rowCount_)
        active_.row = rowCount_ - 1;
}

} // namespace grid
