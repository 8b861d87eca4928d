#pragma once

// The geometry of a rendered table, made from the bounds its cells report: where every row and
// column lies, the table's bounds, and the gaps between neighbouring rows and columns, which the
// table styles fill to draw their grid lines. A plain value; the table decoration modifiers build
// it from the cells' anchors and hand it to the style's drawing.

#include "Vellum/style/TableCellPreferences.hpp"
#include "platform/graphics/Geometry.hpp"

#include <cstddef>
#include <unordered_map>
#include <vector>

namespace vellum::structured {

class TableLayout {
public:
    struct Row {
        double minY = 0;
        double height = 0;
        friend bool operator==(const Row&, const Row&) = default;
    };
    struct Column {
        double minX = 0;
        double width = 0;
        friend bool operator==(const Column&, const Column&) = default;
    };

    // A cell's place and its bounds.
    struct Cell {
        TableCellIdentifier identifier;
        platform::Rect bounds;
    };

    // No rows, no columns, the null rectangle as bounds.
    TableLayout() = default;

    // A row spans from its topmost cell's top for the height of its tallest cell, a column from
    // its leftmost cell's left for the width of its widest cell; the order of the cells does not
    // matter. There are as many rows as distinct row indices (likewise columns), as a table
    // numbers its cells without gaps from 0. Should the indices have gaps anyway, an index at or
    // past that count (or negative) is left out, and a row or column no cell lies in keeps zero
    // extent where the one before it ends rather than lying off at infinity.
    [[nodiscard]] static TableLayout
    makeTableLayout(const std::unordered_map<TableCellIdentifier, platform::Rect>& cells);
    // The same from a list of cells in any order, where of two cells of the same place the later
    // one counts (as the cells of a table report their bounds).
    [[nodiscard]] static TableLayout fromCells(std::vector<Cell> cells);

    // The union of all cell rectangles.
    [[nodiscard]] platform::Rect bounds() const { return bounds_; }
    [[nodiscard]] const std::vector<Row>& rows() const { return rows_; }
    [[nodiscard]] const std::vector<Column>& columns() const { return columns_; }
    [[nodiscard]] int rowCount() const { return static_cast<int>(rows_.size()); }
    [[nodiscard]] int columnCount() const { return static_cast<int>(columns_.size()); }
    // 0 up to the count, for range-for (clang 14's ranges over libstdc++ 12 cannot take an iota
    // view, and the fuzz build compiles with it).
    class Indices {
    public:
        class iterator {
        public:
            using value_type = int;
            using difference_type = std::ptrdiff_t;
            iterator() = default;
            explicit iterator(int value)
                : value_(value) {}
            int operator*() const { return value_; }
            iterator& operator++() {
                ++value_;
                return *this;
            }
            iterator operator++(int) { return iterator(value_++); }
            friend bool operator==(iterator, iterator) = default;

        private:
            int value_ = 0;
        };
        explicit Indices(int count)
            : count_(count < 0 ? 0 : count) {}
        [[nodiscard]] iterator begin() const { return iterator(0); }
        [[nodiscard]] iterator end() const { return iterator(count_); }
        [[nodiscard]] bool empty() const { return count_ == 0; }
        [[nodiscard]] int size() const { return count_; }

    private:
        int count_;
    };
    [[nodiscard]] Indices rowIndices() const { return Indices(rowCount()); }
    [[nodiscard]] Indices columnIndices() const { return Indices(columnCount()); }

    // Indices must lie in rowIndices() and columnIndices().
    [[nodiscard]] platform::Rect cellBounds(int row, int column) const;
    // The union of the row's cells across all columns (null when there are none).
    [[nodiscard]] platform::Rect rowBounds(int row) const;
    // The union of the column's cells across all rows (null when there are none).
    [[nodiscard]] platform::Rect columnBounds(int column) const;

    // The gap between each pair of consecutive rows that do not touch, across the table's width.
    [[nodiscard]] std::vector<platform::Rect> rowDividerRects() const;
    // The gap between each pair of consecutive columns that do not touch, down its height.
    [[nodiscard]] std::vector<platform::Rect> columnDividerRects() const;
    // Row dividers first, then column dividers.
    [[nodiscard]] std::vector<platform::Rect> dividerRects() const;

    friend bool operator==(const TableLayout& a, const TableLayout& b) {
        return a.bounds_.equalTo(b.bounds_) && a.rows_ == b.rows_ && a.columns_ == b.columns_;
    }

private:
    platform::Rect bounds_ = platform::Rect::null();
    std::vector<Row> rows_;
    std::vector<Column> columns_;
};

} // namespace vellum::structured

template <>
struct std::hash<vellum::structured::TableLayout> {
    std::size_t operator()(const vellum::structured::TableLayout& layout) const noexcept;
};
