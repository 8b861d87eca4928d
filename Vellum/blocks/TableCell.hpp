#pragma once

// One cell of a table: its inline text in the environment's table cell style. The table's grid
// reports where each cell lies, under its row and column, so that the table's style can draw rules
// and fills where the cells really lie.

#include "Vellum/style/TableCellPreferences.hpp"
#include "Vellum/style/TableCellStyle.hpp"
#include "platform/foundation/AttributedString.hpp"
#include "platform/ui/View.hpp"

#include <utility>

namespace vellum::structured {

class TableCell {
public:
    using Identifier = TableCellIdentifier;
    using Spacing = TableCellSpacing;
    using SpacingKey = TableCellSpacingKey;
    using BoundsKey = TableCellBoundsKey;

    // `sharedByTable`: the table put what its cells share around them all (see
    // TableCellStyle::makeCells).
    TableCell(platform::AttributedSubstring content, Identifier identifier,
              bool sharedByTable = false)
        : content_(std::move(content))
        , identifier_(identifier)
        , sharedByTable_(sharedByTable) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const TableCell&, const TableCell&) = default;

    // The body `style` makes for the cell, in `context`: the cell's own, or the table's where the
    // style allows it (TableCellStyle::makesBodiesInTable).
    [[nodiscard]] platform::ui::AnyView styled(platform::ui::ViewContext& context,
                                               const TableCellStyle* style) const;

private:
    platform::AttributedSubstring content_;
    Identifier identifier_;
    bool sharedByTable_ = false;
};

} // namespace vellum::structured
