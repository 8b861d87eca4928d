// The geometry of a table from its cells' bounds: rows and columns, bounds, and the divider
// rectangles the styles fill as grid lines, checked against values worked out by hand.

#include "Vellum/style/TableLayout.hpp"

#include <gtest/gtest.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

using platform::Rect;
using vellum::structured::TableCellBounds;
using vellum::structured::TableCellBoundsKey;
using vellum::structured::TableCellIdentifier;
using vellum::structured::TableLayout;
using Anchor = platform::ui::Anchor<Rect>;
using Cells = std::unordered_map<TableCellIdentifier, Rect>;

// A grid of `rows` × `columns` cells of the given sizes, `spacing` apart, from (x, y).
Cells grid(int rows, int columns, double width, double height, double spacing, double x = 0,
           double y = 0) {
    Cells cells;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            cells[{r, c}] =
                Rect(x + c * (width + spacing), y + r * (height + spacing), width, height);
        }
    }
    return cells;
}

TEST(TableLayoutGeometry, RowsAndColumnsTakeTopmostEdgeAndLargestExtent) {
    // Row 0: cells at y 2 (height 20) and y 0 (height 18): from 0, 20 high.
    // Column 1: cells at x 50 (width 30) and x 52 (width 40): from 50, 40 wide.
    const Cells cells{{{0, 0}, Rect(0, 2, 40, 20)},
                      {{0, 1}, Rect(50, 0, 30, 18)},
                      {{1, 0}, Rect(0, 30, 45, 10)},
                      {{1, 1}, Rect(52, 30, 40, 12)}};
    const TableLayout layout = TableLayout::makeTableLayout(cells);
    ASSERT_EQ(layout.rowCount(), 2);
    ASSERT_EQ(layout.columnCount(), 2);
    EXPECT_EQ(layout.rows()[0], (TableLayout::Row{0, 20}));
    EXPECT_EQ(layout.rows()[1], (TableLayout::Row{30, 12}));
    EXPECT_EQ(layout.columns()[0], (TableLayout::Column{0, 45}));
    EXPECT_EQ(layout.columns()[1], (TableLayout::Column{50, 40}));
    EXPECT_EQ(layout.bounds(), Rect(0, 0, 92, 42));
    EXPECT_EQ(layout.cellBounds(1, 1), Rect(50, 30, 40, 12));
    EXPECT_EQ(layout.rowBounds(0), Rect(0, 0, 90, 20));
    EXPECT_EQ(layout.columnBounds(1), Rect(50, 0, 40, 42));
}

TEST(TableLayoutGeometry, DividersFillTheGapsBetweenConsecutiveRowsThenColumns) {
    // Two rows at y 0–20 and 28–48 in a table 300 wide at x 10: one row divider (10, 20, 300, 8).
    const Cells twoRows{{{0, 0}, Rect(10, 0, 300, 20)}, {{1, 0}, Rect(10, 28, 300, 20)}};
    EXPECT_EQ(TableLayout::makeTableLayout(twoRows).dividerRects(),
              std::vector<Rect>{Rect(10, 20, 300, 8)});

    // 3 rows × 2 columns of 50 × 20 cells 1 point apart: two rows dividers 1 high across the
    // table's 101 points, one column divider 1 wide down its 62, row dividers first.
    const TableLayout layout = TableLayout::makeTableLayout(grid(3, 2, 50, 20, 1, 5, 7));
    EXPECT_EQ(layout.rowDividerRects(),
              (std::vector<Rect>{Rect(5, 27, 101, 1), Rect(5, 48, 101, 1)}));
    EXPECT_EQ(layout.columnDividerRects(), std::vector<Rect>{Rect(55, 7, 1, 62)});
    EXPECT_EQ(layout.dividerRects(),
              (std::vector<Rect>{Rect(5, 27, 101, 1), Rect(5, 48, 101, 1), Rect(55, 7, 1, 62)}));

    // Touching and overlapping neighbours, and a single cell, have no gap to fill.
    EXPECT_TRUE(TableLayout::makeTableLayout(grid(3, 3, 50, 20, 0)).dividerRects().empty());
    EXPECT_TRUE(TableLayout::makeTableLayout(grid(2, 2, 50, 20, -4)).dividerRects().empty());
    EXPECT_TRUE(TableLayout::makeTableLayout(grid(1, 1, 50, 20, 1)).dividerRects().empty());
}

TEST(TableLayoutGeometry, DividersFollowIndicesNotScreenOrder) {
    // Row 1 drawn above row 0 (as a right-to-left or flipped layout might): the pair (0, 1) has a
    // negative gap, so there is no divider, even though on screen the rows are 5 points apart.
    const Cells cells{{{0, 0}, Rect(0, 25, 10, 20)}, {{1, 0}, Rect(0, 0, 10, 20)}};
    EXPECT_TRUE(TableLayout::makeTableLayout(cells).rowDividerRects().empty());
}

TEST(TableLayoutGeometry, EmptyAndGappedInput) {
    const TableLayout empty = TableLayout::makeTableLayout({});
    EXPECT_TRUE(empty.bounds().isNull());
    EXPECT_EQ(empty.rowCount(), 0);
    EXPECT_EQ(empty.columnCount(), 0);
    EXPECT_TRUE(empty.dividerRects().empty());
    EXPECT_TRUE(empty.rowIndices().empty());
    EXPECT_EQ(empty, TableLayout());

    // Rows 0 and 2 (and a negative one, never counted): two rows, so row 2 is left out and row 1,
    // which no cell lies in, sits with no height where row 0 ends; no divider reaches off to
    // infinity.
    const Cells gapped{{{0, 0}, Rect(0, 0, 10, 20)},
                       {{2, 0}, Rect(0, 30, 10, 20)},
                       {{-1, 0}, Rect(0, 60, 10, 20)}};
    const TableLayout layout = TableLayout::makeTableLayout(gapped);
    ASSERT_EQ(layout.rowCount(), 2);
    EXPECT_EQ(layout.rows()[1], (TableLayout::Row{20, 0}));
    EXPECT_TRUE(layout.rowDividerRects().empty());
    EXPECT_EQ(layout.bounds(), Rect(0, 0, 10, 80));
}

TEST(TableLayoutGeometry, LayoutsCompareByBoundsRowsAndColumns) {
    const TableLayout a = TableLayout::makeTableLayout(grid(2, 2, 50, 20, 1));
    const TableLayout b = TableLayout::makeTableLayout(grid(2, 2, 50, 20, 1));
    const std::hash<TableLayout> hash;
    EXPECT_EQ(a, b);
    EXPECT_EQ(hash(a), hash(b));
    // Same bounds and rows; only the first column is narrower.
    const TableLayout wide =
        TableLayout::makeTableLayout({{{0, 0}, Rect(0, 0, 50, 20)}, {{0, 1}, Rect(60, 0, 40, 20)}});
    const TableLayout narrow =
        TableLayout::makeTableLayout({{{0, 0}, Rect(0, 0, 40, 20)}, {{0, 1}, Rect(60, 0, 40, 20)}});
    EXPECT_NE(wide, narrow);
    EXPECT_NE(hash(wide), hash(narrow));
    EXPECT_EQ((std::unordered_set<TableLayout>{a, b, wide, narrow}.size()), 3U);
}

TEST(TableLayoutGeometry, CellListsInAnyOrderWithTheLaterOfTwoCellsOfOnePlaceCounting) {
    // The cells of a 2 × 2 grid, listed backwards, with cell (0, 1) reported twice: first 90
    // wide and 5 points higher, then as it lies. Only the later counts: column 1 stays 40 wide
    // and row 0 starts at 0, as in the grid made from a map.
    const Cells expected{{{0, 0}, Rect(0, 0, 50, 20)},
                         {{0, 1}, Rect(60, 0, 40, 20)},
                         {{1, 0}, Rect(0, 30, 50, 20)},
                         {{1, 1}, Rect(60, 30, 40, 20)}};
    const TableLayout layout = TableLayout::fromCells({{{1, 1}, Rect(60, 30, 40, 20)},
                                                       {{0, 1}, Rect(60, -5, 90, 20)},
                                                       {{1, 0}, Rect(0, 30, 50, 20)},
                                                       {{0, 1}, Rect(60, 0, 40, 20)},
                                                       {{0, 0}, Rect(0, 0, 50, 20)}});
    EXPECT_EQ(layout, TableLayout::makeTableLayout(expected));
    EXPECT_EQ(layout.columns()[1], (TableLayout::Column{60, 40}));
    EXPECT_EQ(layout.bounds(), Rect(0, 0, 100, 50));

    // Gaps, repeats and negative indices count as in a map: rows 0 and 5 (two rows, so row 5 is
    // left out), columns 0, 3 and 3 again (two columns).
    const TableLayout gapped = TableLayout::fromCells({{{5, 3}, Rect(0, 40, 10, 10)},
                                                       {{0, 0}, Rect(0, 0, 10, 10)},
                                                       {{-1, 3}, Rect(20, 0, 10, 10)},
                                                       {{0, 3}, Rect(20, 0, 10, 10)}});
    EXPECT_EQ(gapped, TableLayout::makeTableLayout({{{5, 3}, Rect(0, 40, 10, 10)},
                                                    {{0, 0}, Rect(0, 0, 10, 10)},
                                                    {{-1, 3}, Rect(20, 0, 10, 10)},
                                                    {{0, 3}, Rect(20, 0, 10, 10)}}));
    EXPECT_EQ(gapped.rowCount(), 2);
    EXPECT_EQ(gapped.columnCount(), 2);
    EXPECT_EQ(TableLayout::fromCells({}), TableLayout());
}

TEST(TableCellBoundsMerging, EntriesKeepTreeOrderThroughSingleAndListForms) {
    const auto entry = [](int row, int column) {
        return TableCellBounds::Entry{{row, column}, Anchor(Rect(column * 10.0, row * 10.0, 9, 9))};
    };
    const auto places = [](const TableCellBounds& bounds) {
        std::vector<std::pair<int, int>> out;
        for (const auto& [identifier, anchor] : bounds) {
            out.emplace_back(identifier.row, identifier.column);
            EXPECT_EQ(anchor.rootValue().origin.x, identifier.column * 10.0);
        }
        return out;
    };
    using Places = std::vector<std::pair<int, int>>;

    // As the cells of a row merge on their way up: one entry each, combined by the key.
    TableCellBounds row = TableCellBoundsKey::defaultValue();
    EXPECT_TRUE(row.empty());
    TableCellBoundsKey::reduce(row, TableCellBounds{entry(0, 0)});
    EXPECT_EQ(places(row), (Places{{0, 0}}));
    TableCellBoundsKey::reduce(row, TableCellBounds{entry(0, 1)});
    TableCellBoundsKey::reduce(row, TableCellBounds{});
    TableCellBoundsKey::reduce(row, TableCellBounds{entry(0, 2)});
    EXPECT_EQ(places(row), (Places{{0, 0}, {0, 1}, {0, 2}}));

    // Rows merged into an empty value and into a single one; a copy is its own.
    TableCellBounds table;
    TableCellBoundsKey::reduce(table, row);
    TableCellBounds single{entry(1, 0)};
    TableCellBoundsKey::reduce(single, row);
    EXPECT_EQ(places(single), (Places{{1, 0}, {0, 0}, {0, 1}, {0, 2}}));
    TableCellBounds copy = table;
    TableCellBoundsKey::reduce(copy, single);
    EXPECT_EQ(places(table), (Places{{0, 0}, {0, 1}, {0, 2}}));
    EXPECT_EQ(copy.size(), 7U);

    // Equal by entries in order; cleared, a value takes entries again from the start.
    EXPECT_EQ(table, row);
    EXPECT_EQ(table, (TableCellBounds{entry(0, 0), entry(0, 1), entry(0, 2)}));
    EXPECT_NE(table, (TableCellBounds{entry(0, 1), entry(0, 0), entry(0, 2)}));
    EXPECT_NE(table, (TableCellBounds{entry(0, 0), entry(0, 1)}));
    table.clear();
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(table, TableCellBounds{});
    table.push_back(entry(2, 2));
    EXPECT_EQ(places(table), (Places{{2, 2}}));
    EXPECT_EQ(table, TableCellBounds{entry(2, 2)});
}

} // namespace
