// Tables (matrices and aligned environments): cells typeset one by one, columns as wide as their
// widest cell, rows set TeX's way (each at least a strut high and deep, a baseline skip apart
// unless the rows would come too close) and the whole centred on the math axis.

#include "Math/Typesetter.hpp"

#include <algorithm>

namespace Math {

std::shared_ptr<DisplayList> Typesetter::makeTable(const Table& table) {
    std::size_t columns = 0;
    for (const auto& row : table.cells) {
        columns = std::max(columns, row.size());
    }
    if (table.cells.empty() || columns == 0) {
        return std::make_shared<DisplayList>(std::vector<std::shared_ptr<DisplayNode>>{},
                                             table.indexRange);
    }

    // Cells, and the width of each column.
    std::vector<CGFloat> columnWidths(columns, 0);
    std::vector<std::vector<std::shared_ptr<DisplayList>>> cells;
    cells.reserve(table.cells.size());
    for (const auto& row : table.cells) {
        auto& cellRow = cells.emplace_back();
        for (std::size_t i = 0; i < row.size(); ++i) {
            static const AtomList empty;
            const auto finalized = finalizedAtomList(row[i] ? *row[i] : empty);
            auto cell = createLineWithOptions(*finalized, font, style, false, false, 0);
            if (!cell) {
                cell = std::make_shared<DisplayList>(std::vector<std::shared_ptr<DisplayNode>>{},
                                                     IndexRange{});
            }
            columnWidths[i] = std::max(columnWidths[i], cell->width());
            cellRow.push_back(std::move(cell));
        }
    }

    // Rows, each aligning its cells within their columns.
    const CGFloat unit = mu();
    std::vector<std::shared_ptr<DisplayNode>> rows;
    rows.reserve(cells.size());
    for (auto& cellRow : cells) {
        CGFloat pen = 0;
        IndexRange range = cellRow.empty() ? IndexRange{} : cellRow.front()->range;
        std::vector<std::shared_ptr<DisplayNode>> children;
        for (std::size_t i = 0; i < cellRow.size(); ++i) {
            auto& cell = cellRow[i];
            const CGFloat width = columnWidths[i];
            const auto alignment =
                i < table.alignments.size() ? table.alignments[i] : Table::ColumnAlignment::center;
            CGFloat shift = 0;
            if (alignment == Table::ColumnAlignment::center) {
                shift = (width - cell->width()) * 0.5;
            } else if (alignment == Table::ColumnAlignment::right) {
                shift = width - cell->width();
            }
            cell->setPosition({pen + shift, 0});
            if (i > 0) {
                // Union of the cells' ranges.
                const std::int64_t start = std::min(range.location, cell->range.location);
                const std::int64_t end = std::max(range.location + range.length,
                                                  cell->range.location + cell->range.length);
                range = {start, end - start};
            }
            pen += width + table.interColumnSpacing * unit;
            children.push_back(cell);
        }
        rows.push_back(std::make_shared<DisplayList>(std::move(children), range));
    }

    // Every row is at least as tall and as deep as a strut (0.7 and 0.3 of the baseline skip),
    // as in TeX's arrays: rows of short cells keep the baseline skip, and taller rows (fractions)
    // keep a line skip of clear space between their ink instead of touching.
    const CGFloat size = styleFont().font().size;
    const CGFloat strutHeight = 0.7 * kBaseLineSkipMultiplier * size;
    const CGFloat strutDepth = 0.3 * kBaseLineSkipMultiplier * size;
    for (auto& row : rows) {
        row->setAscent(std::max(row->ascent(), strutHeight));
        row->setDescent(std::max(row->descent(), strutDepth));
    }

    // Rows top to bottom, then the whole table centred on the axis.
    const CGFloat openup = table.interRowAdditionalSpacing * kJotMultiplier * size;
    const CGFloat baselineSkip = openup + kBaseLineSkipMultiplier * size;
    const CGFloat lineSkip = openup + kLineSkipMultiplier * size;
    const CGFloat lineSkipLimit = openup + kLineSkipLimitMultiplier * size;
    CGFloat pen = 0;
    rows.front()->setPosition({0, 0});
    const CGFloat ascent = rows.front()->ascent();
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const CGFloat gap = rows[i - 1]->descent() + rows[i]->ascent();
        CGFloat skip = baselineSkip;
        if (skip - gap < lineSkipLimit) {
            skip = gap + lineSkip;
        }
        pen -= skip;
        rows[i]->setPosition({0, pen});
    }
    const CGFloat descent = -pen + rows.back()->descent();
    const CGFloat shiftDown = 0.5 * (ascent - descent) - styleFont().metrics().axisHeight();
    for (auto& row : rows) {
        const Point p = row->position();
        row->setPosition({p.x, p.y - shiftDown});
    }
    auto result = std::make_shared<DisplayList>(std::move(rows), table.indexRange);
    result->setPosition(currentPosition);
    return result;
}

} // namespace Math
