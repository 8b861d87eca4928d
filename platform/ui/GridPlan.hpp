#pragma once

// How a grid shares out its width and height among its cells: columns as wide as their widest
// cell (narrowed, the widest first, when the offered width is smaller), rows as tall as their
// tallest cell. The engine's Grid lays out with it, and so may any layout that places cells in
// rows and columns of its own.

#include "platform/ui/Layout.hpp"

#include <span>
#include <vector>

namespace platform::ui {

// A cell's place in the grid. A cell that spans its row takes the whole width of the grid and
// no part in the widths of the columns.
struct GridPlace {
    int row = 0;
    int column = 0;
    bool spansRow = false;
    friend bool operator==(const GridPlace&, const GridPlace&) = default;
};

struct GridPlan {
    std::vector<CGFloat> columnWidths;
    std::vector<CGFloat> rowHeights;
    Size size;

    // Where each column and each row starts, from `origin`, with the spacing given between them.
    [[nodiscard]] std::vector<CGFloat> columnStarts(CGFloat x, CGFloat spacing) const;
    [[nodiscard]] std::vector<CGFloat> rowStarts(CGFloat y, CGFloat spacing) const;
};

// The plan of `rows` × `columns` cells for the proposal `p`: `places[i]` is the place of
// `subviews[i]` (subviews beyond the places take no part).
[[nodiscard]] GridPlan planGrid(ProposedViewSize p, LayoutSubviews subviews,
                                std::span<const GridPlace> places, int rows, int columns,
                                CGFloat horizontalSpacing, CGFloat verticalSpacing);

} // namespace platform::ui
