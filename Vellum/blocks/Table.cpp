#include "Vellum/blocks/Table.hpp"

#include "Vellum/blocks/BlockContent.hpp"
#include "Vellum/blocks/TableCell.hpp"
#include "Vellum/markdown/BlockRuns.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "platform/foundation/AttributeScope.hpp"
#include "platform/ui/Containers.hpp"
#include "platform/ui/GridPlan.hpp"
#include "platform/ui/Node.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <numeric>
#include <utility>

namespace vellum::structured {

namespace {

namespace ui = platform::ui;
using platform::AttributedSubstring;
using platform::PresentationIntent;

ui::HorizontalAlignment columnAlignment(const std::vector<Table::TableColumn>& columns,
                                        std::size_t column) {
    if (column >= columns.size()) {
        return ui::HorizontalAlignment::leading();
    }
    switch (columns[column].alignment) {
    case PresentationIntent::TableColumnAlignment::center:
        return ui::HorizontalAlignment::center();
    case PresentationIntent::TableColumnAlignment::right:
        return ui::HorizontalAlignment::trailing();
    case PresentationIntent::TableColumnAlignment::left:
        break;
    }
    return ui::HorizontalAlignment::leading();
}

// The column a cell was written in, if its intent says so and that column lies after the cells
// already placed and within the row; else the next column. Bounded by the row's own size, so a
// made-up column index cannot make the row any longer than its cells and the table's columns.
std::size_t cellColumn(const std::optional<Table::IntentType>& intent, std::size_t next,
                       std::size_t limit) {
    if (intent && intent->kind() == PresentationIntent::Kind::tableCell) {
        const int written = intent->columnIndex();
        if (written >= 0 && static_cast<std::size_t>(written) >= next &&
            static_cast<std::size_t>(written) < limit) {
            return static_cast<std::size_t>(written);
        }
    }
    return next;
}

// The spacing the last table laid out found its style publishing, and that style. A table starts
// from it rather than from the grid's own spacing: a style asks every table for the same spacing
// (or nearly), so the first layout is then the last, where starting from the grid's spacing laid
// every table out twice, its cells measured at two widths. It is only a first guess: what the
// style publishes still decides, so a style that asks each table for another spacing costs that
// table the second layout, as before. The style is held weakly, so that a style released and
// another one made at its address do not share a guess.
class TableSpacingGuess {
public:
    static TableSpacingGuess& shared() {
        static TableSpacingGuess guess;
        return guess;
    }

    TableCellSpacing spacing(const std::shared_ptr<const TableStyle>& style) {
        const std::lock_guard lock(mutex_);
        return sameStyle(style) ? spacing_ : TableCellSpacing{};
    }

    void remember(const std::shared_ptr<const TableStyle>& style, const TableCellSpacing& spacing) {
        const std::lock_guard lock(mutex_);
        style_ = style;
        spacing_ = spacing;
    }

private:
    bool sameStyle(const std::shared_ptr<const TableStyle>& style) const {
        return style != nullptr && !style_.expired() && !style_.owner_before(style) &&
               !style.owner_before(style_);
    }

    std::mutex mutex_;
    std::weak_ptr<const TableStyle> style_;
    TableCellSpacing spacing_;
};

// Where the grid last placed each cell, in the grid's coordinates, kept with the table's identity:
// the grid writes it as it places the cells and publishes it, so that no cell needs a view (and a
// node) of its own to report its bounds. Every layout the table makes writes the same record, so
// that it holds the last placement whichever of two equal layouts the grid kept.
struct PlacedTableCells {
    std::vector<TableCellBounds::Entry> cells;

    // The cells' bounds, as anchors, for a grid whose own bounds are `grid`.
    [[nodiscard]] TableCellBounds anchored(const ui::Anchor<platform::Rect>& grid) const {
        TableCellBounds bounds;
        const platform::Point origin = grid.rootValue().origin;
        for (const TableCellBounds::Entry& cell : cells) {
            bounds.push_back(
                {cell.identifier,
                 ui::Anchor<platform::Rect>(cell.anchor.rootValue().offsetBy(origin.x, origin.y))});
        }
        return bounds;
    }
};

// The grid of a table's cells: columns as wide as their widest cell (narrowed, the widest first,
// when the offered width is smaller), rows as tall as their tallest cell, every cell centred in its
// row and placed in its column as the column says. The cells are the layout's own subviews in row
// order and the layout knows every cell's place and every column's alignment, so that no cell
// carries its place or alignment as a layout value (a view, and a node, per cell). The cells'
// padding (TableCellStyle::cellPadding) lies in the spacing between them and around the grid: a
// cell's bounds are the frame of its body grown by the padding. It notes them in `placed`.
class TableGridLayout final : public ui::Layout {
public:
    using CGFloat = platform::CGFloat;

    // A cell's place; `cells` lists them in the order of the subviews.
    using Place = ui::GridPlace;

    TableGridLayout(std::vector<Place> cells, std::vector<ui::HorizontalAlignment> alignments,
                    std::optional<CGFloat> horizontal, std::optional<CGFloat> vertical,
                    TableCellPadding padding, std::shared_ptr<PlacedTableCells> placed)
        : cells_(std::move(cells))
        , alignments_(std::move(alignments))
        , padding_(padding)
        , hSpacing_(ui::soundLength(horizontal.value_or(ui::ViewSpacing::standard), false) +
                    padding.horizontal + padding.horizontal)
        , vSpacing_(ui::soundLength(vertical.value_or(ui::ViewSpacing::standard), false) +
                    padding.vertical + padding.vertical)
        , placed_(std::move(placed)) {
        for (const Place& cell : cells_) {
            rows_ = std::max(rows_, cell.row + 1);
            columns_ = std::max(columns_, cell.column + 1);
        }
    }

    [[nodiscard]] ui::GridPlan plan(ui::ProposedViewSize p, ui::LayoutSubviews subviews) const {
        return ui::planGrid(p, subviews, cells_, rows_, columns_, hSpacing_, vSpacing_);
    }

    platform::Size sizeThatFits(ui::ProposedViewSize p, ui::LayoutSubviews subviews,
                                std::any& /*cache*/) const override {
        return plan(p, subviews).size;
    }

    void placeSubviews(platform::Rect bounds, ui::ProposedViewSize p, ui::LayoutSubviews subviews,
                       std::any& /*cache*/) const override {
        const ui::GridPlan pl = plan(p, subviews);
        const std::vector<CGFloat> xs = pl.columnStarts(bounds.origin.x, hSpacing_);
        const std::vector<CGFloat> ys = pl.rowStarts(bounds.origin.y, vSpacing_);
        const ui::VerticalAlignment v = ui::VerticalAlignment::center();
        const std::size_t count = std::min(subviews.size(), cells_.size());
        placed_->cells.clear();
        placed_->cells.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            const auto r = static_cast<std::size_t>(cells_[i].row);
            const auto c = static_cast<std::size_t>(cells_[i].column);
            const platform::Rect box(xs[c], ys[r], pl.columnWidths[c], pl.rowHeights[r]);
            const ui::HorizontalAlignment h =
                c < alignments_.size() ? alignments_[c] : ui::HorizontalAlignment::leading();
            const ui::ProposedViewSize proposal(box.size);
            const ui::ViewDimensions boxDims(box.size);
            const ui::ViewDimensions d = subviews[i].dimensions(proposal);
            subviews[i].place({box.origin.x + boxDims[h] - d[h], box.origin.y + boxDims[v] - d[v]},
                              ui::UnitPoint::topLeading(), proposal);
            // The frame the cell took, as the engine made it sound (and mirrored it, right to
            // left), in the grid's coordinates as every frame is in its parent's; with the
            // padding, as a padding in the cell would have made it.
            const platform::Rect frame = subviews[i].node().frame;
            const platform::Rect padded(
                frame.origin.x - padding_.horizontal, frame.origin.y - padding_.vertical,
                frame.size.width + padding_.horizontal + padding_.horizontal,
                frame.size.height + padding_.vertical + padding_.vertical);
            placed_->cells.push_back(
                {{cells_[i].row, cells_[i].column}, ui::Anchor<platform::Rect>(padded)});
        }
    }

    bool equals(const ui::Layout& other) const override {
        const auto* o = dynamic_cast<const TableGridLayout*>(&other);
        return o != nullptr && o->hSpacing_ == hSpacing_ && o->vSpacing_ == vSpacing_ &&
               o->alignments_ == alignments_ && o->cells_ == cells_ && o->padding_ == padding_ &&
               o->placed_ == placed_;
    }

private:
    std::vector<Place> cells_;
    std::vector<ui::HorizontalAlignment> alignments_;
    TableCellPadding padding_;
    CGFloat hSpacing_;
    CGFloat vSpacing_;
    int rows_ = 0;
    int columns_ = 0;
    std::shared_ptr<PlacedTableCells> placed_;
};
} // namespace

Table::Rows Table::rows(const AttributedSubstring& content, const std::optional<IntentType>& intent,
                        std::size_t columnCount) {
    const BlockRuns rowRuns(content, intent);
    Rows rows;
    rows.reserve(rowRuns.size() + 1);
    // An empty header row has no text and so no runs: the first run is then a body row.
    const AttributedSubstring empty = content[{content.startIndex(), content.startIndex()}];
    if (!rowRuns.empty()) {
        const std::optional<IntentType>& first = rowRuns[0].intent;
        if (first && first->kind() == PresentationIntent::Kind::tableRow) {
            rows.emplace_back(columnCount, empty);
        }
    }
    for (const BlockRuns::BlockRun& rowRun : rowRuns) {
        const AttributedSubstring rowText = content[rowRun.range];
        const BlockRuns cellRuns(rowText, rowRun.intent);
        const std::size_t limit = std::max(columnCount, cellRuns.size());
        std::vector<AttributedSubstring>& cells = rows.emplace_back();
        cells.reserve(limit);
        for (const BlockRuns::BlockRun& cellRun : cellRuns) {
            const std::size_t column = cellColumn(cellRun.intent, cells.size(), limit);
            const AttributedSubstring gap =
                rowText[{cellRun.range.lowerBound, cellRun.range.lowerBound}];
            cells.resize(column, gap);
            cells.push_back(rowText[cellRun.range]);
        }
        const AttributedSubstring end = rowText[{rowText.endIndex(), rowText.endIndex()}];
        if (cells.size() < columnCount) {
            cells.resize(columnCount, end);
        }
    }
    return rows;
}

ui::AnyView Table::body(ui::ViewContext& context) const {
    std::shared_ptr<const TableStyle> style = tableStyle(context.environment());
    const ui::State<TableCellSpacing> spacing =
        context.state<TableCellSpacing>(TableSpacingGuess::shared().spacing(style));
    const Rows cells = rows(content_, intent_, columns_.size());
    const std::shared_ptr<const TableCellStyle> cellStyle = tableCellStyle(context.environment());
    std::vector<TableGridLayout::Place> places;
    std::vector<ui::AnyView> gridCells;
    std::size_t columnCount = 0;
    for (const std::vector<AttributedSubstring>& row : cells) {
        columnCount = std::max(columnCount, row.size());
    }
    // Made here, in the table's body, where the style allows it: a view per cell fewer.
    const bool inTable = cellStyle != nullptr && cellStyle->makesBodiesInTable();
    places.reserve(cells.size() * columnCount);
    gridCells.reserve(cells.size() * columnCount);
    for (std::size_t r = 0; r < cells.size(); ++r) {
        for (std::size_t c = 0; c < cells[r].size(); ++c) {
            places.push_back({static_cast<int>(r), static_cast<int>(c)});
            const TableCell cell(cells[r][c], {static_cast<int>(r), static_cast<int>(c)},
                                 cellStyle != nullptr);
            gridCells.push_back(inTable ? cell.styled(context, cellStyle.get())
                                        : ui::AnyView(cell));
        }
    }
    std::vector<ui::HorizontalAlignment> alignments;
    alignments.reserve(columnCount);
    for (std::size_t c = 0; c < columnCount; ++c) {
        alignments.push_back(columnAlignment(columns_, c));
    }
    // Cells centred vertically in their rows, leading in their columns unless told otherwise.
    // The grid reports where its cells lie, once for them all.
    // The cells' padding lies between them and, here, around them all.
    std::shared_ptr<PlacedTableCells> placed =
        context.stateObject<PlacedTableCells>([] { return std::make_shared<PlacedTableCells>(); });
    const TableCellPadding padding =
        cellStyle ? cellStyle->cellPadding(context) : TableCellPadding{};
    ui::AnyView grid =
        ui::AnyView(ui::LayoutView(std::make_shared<const TableGridLayout>(
                                       std::move(places), std::move(alignments),
                                       spacing->horizontal, spacing->vertical, padding, placed),
                                   std::move(gridCells)))
            .anchorPreference<TableCellBoundsKey, platform::Rect>(
                ui::AnchorSource::bounds(),
                [placed = std::move(placed)](ui::Anchor<platform::Rect> bounds) {
                    return placed->anchored(bounds);
                });
    if (!(padding == TableCellPadding{})) {
        grid = grid.padding(platform::EdgeInsets(padding.vertical, padding.horizontal,
                                                 padding.vertical, padding.horizontal));
    }
    // What all cells share, once for the table rather than by a view per cell.
    if (cellStyle) {
        grid = cellStyle->makeCells(context, std::move(grid));
    }
    TableStyleConfiguration configuration;
    configuration.label = ConfigurationContent(grid);
    // The lists around the table, as for every other block at its place (quotes do not count).
    configuration.indentationLevel = firstRunIndentationLevel(content_);
    std::weak_ptr<const TableStyle> publisher = style;
    // The style's body stands in the table's place (one node fewer per table); what the style
    // reads or keeps belongs to the table's identity all the same.
    ui::AnyView styled = style ? style->makeBody(context, configuration) : ui::AnyView();
    return std::move(styled)
        .onPreferenceChange<TableCellSpacingKey>(
            [spacing, publisher = std::move(publisher)](const TableCellSpacing& published) {
                if (const std::shared_ptr<const TableStyle> style = publisher.lock()) {
                    TableSpacingGuess::shared().remember(style, published);
                }
                spacing.set(published);
            })
        // The cells' bounds are this table's; they would only be merged, to no use, with those
        // of every other table of the document on their way up.
        .transformPreference<TableCellBoundsKey>(
            [](TableCellBoundsKey::Value& bounds) { bounds.clear(); });
}

} // namespace vellum::structured
