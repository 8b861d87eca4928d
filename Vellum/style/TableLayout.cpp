#include "Vellum/style/TableLayout.hpp"

#include "platform/foundation/Hash.hpp"

#include <algorithm>
#include <limits>

namespace vellum::structured {

namespace {

constexpr double unset = std::numeric_limits<double>::max();

// The number of distinct non-negative values among `sorted`, which is in ascending order.
std::size_t distinctSortedCount(const std::vector<int>& sorted) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (sorted[i] >= 0 && (i == 0 || sorted[i] != sorted[i - 1])) {
            ++count;
        }
    }
    return count;
}

// A track (row or column) that no cell reached starts where the one before it ends, with no
// extent: left at the largest double it would make every line after it span the whole plane.
template <class Track, class Start, class Extent>
void collapseUnset(std::vector<Track>& tracks, double origin, Start start, Extent extent) {
    double end = origin;
    for (Track& track : tracks) {
        if (track.*start == unset) {
            track.*start = end;
            track.*extent = 0;
        }
        end = track.*start + track.*extent;
    }
}

} // namespace

TableLayout
TableLayout::makeTableLayout(const std::unordered_map<TableCellIdentifier, platform::Rect>& cells) {
    std::vector<Cell> list;
    list.reserve(cells.size());
    for (const auto& [identifier, rect] : cells) {
        list.push_back({identifier, rect});
    }
    return fromCells(std::move(list));
}

TableLayout TableLayout::fromCells(std::vector<Cell> cells) {
    // Cells in the order of their places; of two cells of one place the later counts: the stable
    // sort keeps them in their order, and only the last of each run of one place stays.
    std::stable_sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) {
        return a.identifier.row != b.identifier.row ? a.identifier.row < b.identifier.row
                                                    : a.identifier.column < b.identifier.column;
    });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i + 1 < cells.size() && cells[i + 1].identifier == cells[i].identifier) {
            continue;
        }
        cells[kept++] = cells[i];
    }
    cells.resize(kept);

    std::vector<int> indices;
    indices.reserve(cells.size());
    for (const Cell& cell : cells) {
        indices.push_back(cell.identifier.row);
    }
    const std::size_t rowCount = distinctSortedCount(indices);
    indices.clear();
    for (const Cell& cell : cells) {
        indices.push_back(cell.identifier.column);
    }
    std::sort(indices.begin(), indices.end());
    const std::size_t columnCount = distinctSortedCount(indices);

    TableLayout layout;
    layout.rows_.assign(rowCount, Row{unset, 0});
    layout.columns_.assign(columnCount, Column{unset, 0});
    for (const auto& [identifier, rect] : cells) {
        if (identifier.row >= 0 && identifier.row < layout.rowCount()) {
            Row& row = layout.rows_[static_cast<std::size_t>(identifier.row)];
            row.minY = std::min(row.minY, rect.minY());
            row.height = std::max(row.height, rect.height());
        }
        if (identifier.column >= 0 && identifier.column < layout.columnCount()) {
            Column& column = layout.columns_[static_cast<std::size_t>(identifier.column)];
            column.minX = std::min(column.minX, rect.minX());
            column.width = std::max(column.width, rect.width());
        }
        layout.bounds_ = layout.bounds_.unionWith(rect);
    }
    if (!layout.bounds_.isNull()) {
        collapseUnset(layout.rows_, layout.bounds_.minY(), &Row::minY, &Row::height);
        collapseUnset(layout.columns_, layout.bounds_.minX(), &Column::minX, &Column::width);
    }
    return layout;
}

platform::Rect TableLayout::cellBounds(int row, int column) const {
    const Row& r = rows_[static_cast<std::size_t>(row)];
    const Column& c = columns_[static_cast<std::size_t>(column)];
    return {c.minX, r.minY, c.width, r.height};
}

platform::Rect TableLayout::rowBounds(int row) const {
    platform::Rect result = platform::Rect::null();
    for (const int column : columnIndices()) {
        result = result.unionWith(cellBounds(row, column));
    }
    return result;
}

platform::Rect TableLayout::columnBounds(int column) const {
    platform::Rect result = platform::Rect::null();
    for (const int row : rowIndices()) {
        result = result.unionWith(cellBounds(row, column));
    }
    return result;
}

std::vector<platform::Rect> TableLayout::rowDividerRects() const {
    std::vector<platform::Rect> dividers;
    for (std::size_t i = 1; i < rows_.size(); ++i) {
        const double bottom = rows_[i - 1].minY + rows_[i - 1].height;
        const double gap = rows_[i].minY - bottom;
        if (gap > 0) {
            dividers.emplace_back(bounds_.minX(), bottom, bounds_.width(), gap);
        }
    }
    return dividers;
}

std::vector<platform::Rect> TableLayout::columnDividerRects() const {
    std::vector<platform::Rect> dividers;
    for (std::size_t i = 1; i < columns_.size(); ++i) {
        const double right = columns_[i - 1].minX + columns_[i - 1].width;
        const double gap = columns_[i].minX - right;
        if (gap > 0) {
            dividers.emplace_back(right, bounds_.minY(), gap, bounds_.height());
        }
    }
    return dividers;
}

std::vector<platform::Rect> TableLayout::dividerRects() const {
    std::vector<platform::Rect> dividers = rowDividerRects();
    const std::vector<platform::Rect> columns = columnDividerRects();
    dividers.insert(dividers.end(), columns.begin(), columns.end());
    return dividers;
}

} // namespace vellum::structured

std::size_t std::hash<vellum::structured::TableLayout>::operator()(
    const vellum::structured::TableLayout& layout) const noexcept {
    using platform::hashCombine;
    // Negative zero folds into zero (x + 0.0), so that equal layouts hash alike.
    const auto mix = [](std::size_t seed, double value) {
        return hashCombine(seed, std::hash<double>()(value + 0.0));
    };
    const platform::Rect bounds = layout.bounds().standardized();
    std::size_t seed = 0;
    for (const double value :
         {bounds.origin.x, bounds.origin.y, bounds.size.width, bounds.size.height}) {
        seed = mix(seed, value);
    }
    seed = hashCombine(seed, layout.rows().size());
    for (const auto& row : layout.rows()) {
        seed = mix(mix(seed, row.minY), row.height);
    }
    seed = hashCombine(seed, layout.columns().size());
    for (const auto& column : layout.columns()) {
        seed = mix(mix(seed, column.minX), column.width);
    }
    return seed;
}
