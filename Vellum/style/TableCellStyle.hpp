#pragma once

// The look of one table cell. A style is a stateless value: the block view hands it a configuration
// and shows the view it builds. It may read the environment and keep per-identity state through the
// context, as if it were the showing view's own body.

#include "Vellum/style/StyleConfiguration.hpp"
#include "platform/ui/View.hpp"

#include <memory>

namespace vellum::structured {

// A cell's padding on each side: `horizontal` points left and right, `vertical` above and below.
struct TableCellPadding {
    double horizontal = 0;
    double vertical = 0;
    friend bool operator==(const TableCellPadding&, const TableCellPadding&) = default;
};

class TableCellStyle {
public:
    virtual ~TableCellStyle() = default;

    [[nodiscard]] virtual platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const TableCellStyleConfiguration& configuration) const = 0;

    // What every cell of a table shares, put once around all the table's cells (resolved in the
    // table's environment), whose configurations then say `sharedByTable`: a table has hundreds
    // of cells, and a view per cell for what they all share is a node per cell. None by default.
    [[nodiscard]] virtual platform::ui::AnyView makeCells(platform::ui::ViewContext& /*context*/,
                                                          platform::ui::AnyView cells) const {
        return cells;
    }

    // The padding of every cell `sharedByTable`, resolved in the table's environment: the table's
    // grid keeps it around each cell itself, as room between the cells and around them all, and
    // reports each cell's bounds with it, where a padding in every cell would be a view (and a
    // node) per cell. Such cells' bodies leave it out. None by default.
    [[nodiscard]] virtual TableCellPadding
    cellPadding(platform::ui::ViewContext& /*context*/) const {
        return {};
    }

    // Whether the table may make its cells' bodies in its own body, rather than each in a view of
    // its own: for a style whose bodies keep no state and read of the environment nothing that
    // `makeCells` changes (the font's size, not its weight), so that a table's environment gives
    // them what each cell's would. A view, and a node, fewer per cell. No by default.
    [[nodiscard]] virtual bool makesBodiesInTable() const { return false; }

    // The built-in styles, by the names call sites use.
    [[nodiscard]] static std::shared_ptr<const TableCellStyle> defaultStyle();
    [[nodiscard]] static std::shared_ptr<const TableCellStyle> gitHub();

protected:
    TableCellStyle() = default;
    TableCellStyle(const TableCellStyle&) = default;
    TableCellStyle(TableCellStyle&&) = default;
    TableCellStyle& operator=(const TableCellStyle&) = default;
    TableCellStyle& operator=(TableCellStyle&&) = default;
};

// Any table cell style, as the environment holds it.
using AnyTableCellStyle = std::shared_ptr<const TableCellStyle>;

} // namespace vellum::structured
