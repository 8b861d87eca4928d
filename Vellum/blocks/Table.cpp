#include "Vellum/blocks/Table.hpp"

#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/blocks/BlockContent.hpp"
#include "Vellum/blocks/BlockVStack.hpp"
#include "Vellum/blocks/TableCell.hpp"
#include "Vellum/markdown/BlockRuns.hpp"
#include "Vellum/style/InlineStyle.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/text/CharacterWidths.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "Vellum/text/TextPropertyAttributes.hpp"
#include "platform/foundation/AttributeScope.hpp"
#include "platform/ui/Containers.hpp"
#include "platform/ui/GridPlan.hpp"
#include "platform/ui/LazyVStack.hpp"
#include "platform/ui/Node.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <numeric>
#include <tuple>
#include <unordered_map>
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

// The room between two columns and between two rows: the spacing asked for (the grid's own when
// none) and the padding of the cells on either side.
platform::CGFloat horizontalSpacing(std::optional<platform::CGFloat> spacing,
                                    const TableCellPadding& padding) {
    return ui::soundLength(spacing.value_or(ui::ViewSpacing::standard), false) +
           padding.horizontal + padding.horizontal;
}
platform::CGFloat verticalSpacing(std::optional<platform::CGFloat> spacing,
                                  const TableCellPadding& padding) {
    return ui::soundLength(spacing.value_or(ui::ViewSpacing::standard), false) + padding.vertical +
           padding.vertical;
}

// A long table's plan: its grid's, and the width of the widest cell of each column at the
// column's width, among all its rows.
struct TablePlan : ui::GridPlan {
    std::vector<platform::CGFloat> widestCells;
};

// Places a cell in its box (centred vertically, in its column as the column says) and notes the
// frame it took, with the padding, in `placed`; in a long table (`widest`: the widest cell of its
// column), as wide as that one.
void placeCell(const ui::LayoutSubview& cell, const ui::GridPlace& place, const platform::Rect& box,
               const std::vector<ui::HorizontalAlignment>& alignments,
               const TableCellPadding& padding, PlacedTableCells& placed,
               std::optional<platform::CGFloat> widest = std::nullopt) {
    const auto c = static_cast<std::size_t>(place.column);
    const ui::HorizontalAlignment h =
        c < alignments.size() ? alignments[c] : ui::HorizontalAlignment::leading();
    const ui::VerticalAlignment v = ui::VerticalAlignment::center();
    const ui::ProposedViewSize proposal(box.size);
    const ui::ViewDimensions boxDims(box.size);
    const ui::ViewDimensions d = cell.dimensions(proposal);
    const platform::Point at{box.origin.x + boxDims[h] - d[h], box.origin.y + boxDims[v] - d[v]};
    cell.place(at, ui::UnitPoint::topLeading(), proposal);
    // The frame the cell took, as the engine made it sound (and mirrored it, right to left), in
    // its parent's coordinates as every frame is; with the padding, as a padding in the cell
    // would have made it.
    platform::Rect frame = cell.node().frame;
    if (widest && *widest > frame.size.width) {
        // Where the widest cell of its column would stand: the rows of a long table not laid out
        // may hold it, and a style draws a column as wide as its cells report it.
        const platform::CGFloat grow = *widest - frame.size.width;
        const platform::CGFloat left = ui::ViewDimensions(platform::Size{grow, 0})[h];
        const bool mirrored = cell.node().env.layoutDirection() == ui::LayoutDirection::rightToLeft;
        frame.origin.x -= mirrored ? grow - left : left;
        frame.size.width = *widest;
    }
    const platform::Rect padded(frame.origin.x - padding.horizontal,
                                frame.origin.y - padding.vertical,
                                frame.size.width + padding.horizontal + padding.horizontal,
                                frame.size.height + padding.vertical + padding.vertical);
    placed.cells.push_back({{place.row, place.column}, ui::Anchor<platform::Rect>(padded)});
}

// The columns a long table's first rows settled on, for the rows below them: the plans its head
// grid made, one per width it was offered (the last few). The rows below are offered the width the
// table was: they find their columns by it whatever width the head took, so that a head that
// narrows or widens leaves them at the same width, laid out again in the columns it settled on.
class ColumnPlans {
public:
    // Counts the texts the table was given: a new one may widen or narrow the columns, so that
    // the rows below lay out again.
    std::uint64_t versionFor(const AttributedSubstring& content) {
        if (!content_ || !sameContent(*content_, content)) {
            content_ = content;
            ++version_;
        }
        return version_;
    }

    // The plan the head grid made when offered `proposed`.
    void remember(std::optional<platform::CGFloat> proposed, const TablePlan& plan) {
        for (auto& [offered, kept] : plans_) {
            if (offered == proposed) {
                kept = plan;
                return;
            }
        }
        constexpr std::size_t kept = 4;
        if (plans_.size() == kept) {
            plans_.erase(plans_.begin());
        }
        plans_.emplace_back(proposed, plan);
    }
    // The plan of the head grid offered `proposed`, else the last one made; none before the
    // first.
    [[nodiscard]] const TablePlan* forWidth(std::optional<platform::CGFloat> proposed) const {
        for (const auto& [offered, kept] : plans_) {
            if (offered == proposed) {
                return &kept;
            }
        }
        return plans_.empty() ? nullptr : &plans_.back().second;
    }

private:
    std::vector<std::pair<std::optional<platform::CGFloat>, TablePlan>> plans_;
    std::optional<AttributedSubstring> content_;
    std::uint64_t version_ = 0;
};

// A table of more columns than this, in a document laid out as it comes into view, builds and
// lays out only the cells of the columns in and near the part of it shown, and its columns take
// their ideal widths (so many columns never fit a window, even narrowed to their longest words,
// and a column's width must not hang on the columns measured beside it).
constexpr std::size_t wideColumnCount = 100;

// The columns of a wide table: which are built, how wide each is (measured once built, else
// estimated from the length of its longest text), and what part of the table is shown, kept
// with the table's identity. The table's body builds the columns `window` gives; its grid
// measures them and settles the widths; the part shown is told after each layout. When the built
// columns no longer cover the part shown, the body is asked to build others.
class WideColumns {
public:
    using CGFloat = platform::CGFloat;
    struct Span {
        CGFloat from = 0;
        CGFloat to = 0;
    };
    struct Window {
        std::size_t first = 0;
        std::size_t end = 0;
    };

    // Starts again for a new text (or new spacing): `characters` is the length of each column's
    // longest text among the cells that decide its width.
    void reset(std::uint64_t version, std::vector<std::size_t> characters, CGFloat spacing) {
        if (version == version_ && spacing == spacing_ && characters == characters_) {
            return;
        }
        version_ = version;
        spacing_ = spacing;
        characters_ = std::move(characters);
        measured_.assign(characters_.size(), unknown);
        laidOut_.clear();
        perCharacter_ = unknown;
        all_ = false;
    }
    void setAsk(ui::State<std::uint64_t> ask) { ask_ = std::move(ask); }
    void setScrollBy(ui::ScrollByAction scrollBy) { scrollBy_ = std::move(scrollBy); }

    [[nodiscard]] std::size_t count() const { return characters_.size(); }
    [[nodiscard]] CGFloat width(std::size_t c) const {
        if (!std::isnan(measured_[c])) {
            return measured_[c];
        }
        const CGFloat each = std::isnan(perCharacter_) ? defaultPerCharacter : perCharacter_;
        return static_cast<CGFloat>(characters_[c]) * each;
    }

    // The columns to build: every one when the whole table was shown once, else those that
    // reach into the part shown or half its width either side of it (before anything is shown,
    // the first screen's worth).
    [[nodiscard]] Window window() const {
        if (all_) {
            return {0, count()};
        }
        const Span shown = shown_.value_or(Span{0, firstGuess});
        return columnsIn({shown.from - margin(shown), shown.to + margin(shown)});
    }
    void built(Window window) { built_ = window; }

    // The grid measured the columns built at `widths`: the others take their measured or
    // estimated widths there. Where the columns before the part shown changed width, the scroll
    // view around the table scrolls as far, so that what the viewer sees stays in place.
    void settle(std::vector<CGFloat>& widths) {
        widths.resize(count(), 0);
        for (std::size_t c = built_.first; c < built_.end && c < count(); ++c) {
            measured_[c] = widths[c];
        }
        if (std::isnan(perCharacter_)) {
            CGFloat width = 0;
            std::size_t characters = 0;
            for (std::size_t c = built_.first; c < built_.end && c < count(); ++c) {
                width += widths[c];
                characters += characters_[c];
            }
            if (characters > 0) {
                perCharacter_ = width / static_cast<CGFloat>(characters);
            }
        }
        for (std::size_t c = 0; c < count(); ++c) {
            if (c < built_.first || c >= built_.end) {
                widths[c] = width(c);
            }
        }
        if (shown_ && laidOut_.size() == widths.size() && laidOut_ != widths) {
            // The first column shown whose width did not change keeps its place on screen (the
            // columns that changed were estimated, and not drawn: they were not built). Where
            // every one shown changed, the one at the left edge.
            CGFloat before = 0;
            CGFloat after = 0;
            std::optional<std::pair<CGFloat, CGFloat>> edge;
            for (std::size_t c = 0; c < widths.size(); ++c) {
                if (before + laidOut_[c] > shown_->from) {
                    if (!edge) {
                        edge = {before, after};
                    }
                    if (laidOut_[c] == widths[c] || before > shown_->to) {
                        break;
                    }
                }
                before += laidOut_[c] + spacing_;
                after += widths[c] + spacing_;
            }
            if (edge && before > shown_->to) {
                std::tie(before, after) = *edge;
            }
            if (after != before) {
                shown_->from += after - before;
                shown_->to += after - before;
                scrollBy_(after - before);
            }
        }
        laidOut_ = widths;
    }

    // What the layout just placed shows `bounds` of the table: it builds other columns if those
    // built do not cover it. All of the table shown once, every column is built from then on
    // (a copy of all of a document's text reads every cell).
    void show(const platform::Rect& bounds) {
        if (bounds.isNull()) {
            return; // out of sight: the columns built stay
        }
        shown_ = Span{bounds.minX(), bounds.maxX()};
        if (!laidOut_.empty() && bounds.minX() <= 0.5 && bounds.maxX() >= total(laidOut_) - 0.5 &&
            !all_) {
            all_ = true;
            ask();
            return;
        }
        check();
    }
    // Asks for other columns if those built do not cover the part shown and some room either
    // side of it (half the margin they are built with): the columns are laid out before they
    // come into view, where the estimates they replace move nothing the viewer sees.
    void check() {
        if (!shown_ || all_) {
            return;
        }
        const CGFloat room = margin(*shown_) / 2;
        const Window needed = columnsIn({shown_->from - room, shown_->to + room});
        if (needed.first < needed.end && (needed.first < built_.first || needed.end > built_.end)) {
            ask();
        }
    }

private:
    static constexpr CGFloat unknown = std::numeric_limits<CGFloat>::quiet_NaN();
    static constexpr CGFloat defaultPerCharacter = 8;
    static constexpr CGFloat firstGuess = 1200;
    static constexpr CGFloat minimumMargin = 200;

    [[nodiscard]] static CGFloat margin(Span shown) {
        return std::max(platform::ui::marginAhead(shown.to - shown.from), minimumMargin);
    }
    [[nodiscard]] CGFloat total(const std::vector<CGFloat>& widths) const {
        return std::accumulate(widths.begin(), widths.end(), CGFloat(0)) +
               spacing_ * static_cast<CGFloat>(widths.empty() ? 0 : widths.size() - 1);
    }
    [[nodiscard]] Window columnsIn(Span span) const {
        Window window{count(), count()};
        CGFloat x = 0;
        for (std::size_t c = 0; c < count(); ++c) {
            const CGFloat w = width(c);
            if (x + w + spacing_ >= span.from && window.first == count()) {
                window.first = c;
            }
            if (x > span.to) {
                window.end = c;
                break;
            }
            x += w + spacing_;
        }
        window.end = std::max(window.first, window.end);
        return window;
    }
    void ask() {
        if (ask_) {
            ask_->set(**ask_ + 1);
        }
    }

    std::uint64_t version_ = std::numeric_limits<std::uint64_t>::max();
    CGFloat spacing_ = 0;
    std::vector<std::size_t> characters_;
    std::vector<CGFloat> measured_;
    // The widths of the last layout: what the viewer sees.
    std::vector<CGFloat> laidOut_;
    CGFloat perCharacter_ = unknown;
    std::optional<Span> shown_;
    Window built_;
    bool all_ = false;
    std::optional<ui::State<std::uint64_t>> ask_;
    ui::ScrollByAction scrollBy_;
};

// A wide table's columns, and its cells by row and column as long as its text is the same.
struct WideTable {
    std::shared_ptr<WideColumns> columns;

    const Table::Rows& rows(const AttributedSubstring& content,
                            const std::optional<Table::IntentType>& intent,
                            std::size_t columnCount) {
        // The very same slice of the very same text (the cells are slices of it).
        if (!content_ || content_->characters().data() != content.characters().data() ||
            !sameContent(*content_, content) || intent_ != intent || columnCount_ != columnCount) {
            rows_ = Table::rows(content, intent, columnCount);
            content_ = content;
            intent_ = intent;
            columnCount_ = columnCount;
        }
        return rows_;
    }

private:
    std::optional<AttributedSubstring> content_;
    std::optional<Table::IntentType> intent_;
    std::size_t columnCount_ = 0;
    Table::Rows rows_;
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
                    TableCellPadding padding, std::shared_ptr<PlacedTableCells> placed,
                    std::shared_ptr<ColumnPlans> plans = nullptr,
                    std::vector<int> sampleColumns = {},
                    std::shared_ptr<WideColumns> wide = nullptr)
        : cells_(std::move(cells))
        , alignments_(std::move(alignments))
        , padding_(padding)
        , hSpacing_(horizontalSpacing(horizontal, padding))
        , vSpacing_(verticalSpacing(vertical, padding))
        , placed_(std::move(placed))
        , plans_(std::move(plans))
        , sampleColumns_(std::move(sampleColumns))
        , wide_(std::move(wide)) {
        for (const Place& cell : cells_) {
            rows_ = std::max(rows_, cell.row + 1);
            columns_ = std::max(columns_, cell.column + 1);
        }
        if (wide_) {
            columns_ = std::max(columns_, static_cast<int>(wide_->count()));
        }
    }

    [[nodiscard]] TablePlan plan(ui::ProposedViewSize p, ui::LayoutSubviews subviews) const {
        if (wide_) {
            return widePlan(p, subviews);
        }
        const std::optional<CGFloat> offered = p.width;
        TablePlan planned = planWithSample(p, subviews);
        if (plans_ && p.width && planned.size.width > *p.width + 0.5) {
            // A long table whose columns do not fit even narrowed to their longest words runs past
            // its column whatever it does: its cells keep their lines whole rather than making it
            // taller too (a header that holds the text of the columns past the last one would
            // otherwise stand a word to a line).
            p.width = std::nullopt;
            planned = planWithSample(p, subviews);
        }
        if (plans_) {
            noteWidestCells(planned, subviews);
            plans_->remember(offered, planned);
        }
        return planned;
    }

    platform::Size sizeThatFits(ui::ProposedViewSize p, ui::LayoutSubviews subviews,
                                std::any& /*cache*/) const override {
        return plan(p, subviews).size;
    }

    void placeSubviews(platform::Rect bounds, ui::ProposedViewSize p, ui::LayoutSubviews subviews,
                       std::any& /*cache*/) const override {
        const TablePlan pl = plan(p, subviews);
        const std::vector<CGFloat> xs = pl.columnStarts(bounds.origin.x, hSpacing_);
        const std::vector<CGFloat> ys = pl.rowStarts(bounds.origin.y, vSpacing_);
        const std::size_t count = std::min(subviews.size(), cells_.size());
        placed_->cells.clear();
        placed_->cells.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            const auto r = static_cast<std::size_t>(cells_[i].row);
            const auto c = static_cast<std::size_t>(cells_[i].column);
            placeCell(subviews[i], cells_[i],
                      platform::Rect(xs[c], ys[r], pl.columnWidths[c], pl.rowHeights[r]),
                      alignments_, padding_, *placed_,
                      c < pl.widestCells.size() ? std::optional(pl.widestCells[c]) : std::nullopt);
        }
    }

    bool equals(const ui::Layout& other) const override {
        const auto* o = dynamic_cast<const TableGridLayout*>(&other);
        return o != nullptr && o->hSpacing_ == hSpacing_ && o->vSpacing_ == vSpacing_ &&
               o->alignments_ == alignments_ && o->cells_ == cells_ && o->padding_ == padding_ &&
               o->placed_ == placed_ && o->plans_ == plans_ &&
               o->sampleColumns_ == sampleColumns_ && o->wide_ == wide_;
    }

private:
    // A wide table's grid: the columns built at their ideal widths (widened for the cells
    // sampled below), the others as wide as they were measured or are estimated; rows as tall
    // as the cells built.
    [[nodiscard]] TablePlan widePlan(ui::ProposedViewSize p, ui::LayoutSubviews subviews) const {
        TablePlan planned = planWithSample({std::nullopt, std::nullopt}, subviews);
        wide_->settle(planned.columnWidths);
        planned.size.width =
            std::accumulate(planned.columnWidths.begin(), planned.columnWidths.end(), CGFloat(0)) +
            hSpacing_ * std::max(columns_ - 1, 0);
        if (plans_) {
            noteWidestCells(planned, subviews);
            plans_->remember(p.width, planned);
        }
        wide_->check();
        return planned;
    }

    // The plan of the grid's cells with the cells sampled from the rows below a long table's head
    // (the subviews after the grid's own, never placed): the columns as a grid of all of them
    // makes them, the rows those of the grid's own cells.
    [[nodiscard]] TablePlan planWithSample(ui::ProposedViewSize p,
                                           ui::LayoutSubviews subviews) const {
        if (sampleColumns_.empty()) {
            return {ui::planGrid(p, subviews, cells_, rows_, columns_, hSpacing_, vSpacing_), {}};
        }
        std::vector<Place> places = cells_;
        places.reserve(cells_.size() + sampleColumns_.size());
        for (std::size_t k = 0; k < sampleColumns_.size(); ++k) {
            places.push_back({rows_ + static_cast<int>(k), sampleColumns_[k]});
        }
        TablePlan plan{ui::planGrid(p, subviews, places,
                                    rows_ + static_cast<int>(sampleColumns_.size()), columns_,
                                    hSpacing_, vSpacing_),
                       {}};
        plan.rowHeights.resize(static_cast<std::size_t>(rows_));
        plan.size.height =
            std::accumulate(plan.rowHeights.begin(), plan.rowHeights.end(), CGFloat(0)) +
            vSpacing_ * std::max(rows_ - 1, 0);
        return plan;
    }

    // How wide the widest cell of each column is at the column's width, of the grid's own cells
    // and those sampled below them.
    void noteWidestCells(TablePlan& plan, ui::LayoutSubviews subviews) const {
        plan.widestCells.assign(plan.columnWidths.size(), 0);
        for (std::size_t i = 0; i < subviews.size() && i < cells_.size() + sampleColumns_.size();
             ++i) {
            const auto c = static_cast<std::size_t>(
                i < cells_.size() ? cells_[i].column : sampleColumns_[i - cells_.size()]);
            if (c < plan.columnWidths.size()) {
                plan.widestCells[c] =
                    std::max(plan.widestCells[c],
                             subviews[i].sizeThatFits({plan.columnWidths[c], std::nullopt}).width);
            }
        }
    }

    std::vector<Place> cells_;
    std::vector<ui::HorizontalAlignment> alignments_;
    TableCellPadding padding_;
    CGFloat hSpacing_;
    CGFloat vSpacing_;
    int rows_ = 0;
    int columns_ = 0;
    std::shared_ptr<PlacedTableCells> placed_;
    std::shared_ptr<ColumnPlans> plans_;
    std::vector<int> sampleColumns_;
    std::shared_ptr<WideColumns> wide_;
};

// A table of more rows than this, or of more cells than `longTableCellCount`, in a document laid
// out as it comes into view, lays out its first rows whole, in one grid, and the rest as they come
// into view. The first rows, with the cells below them that may be the widest of their columns or
// hold their longest words (found from the widths of their characters and attachments, a few of
// each column), decide the widths of the columns for all of them, as a grid of every row would: a
// row below them never changes the columns of the rows above.
constexpr std::size_t headRowCount = 100;
// The head holds up to about this many cells (a row at least), so that a table of very many columns
// costs a bounded number of cells too.
constexpr std::size_t headCellCount = 2000;
constexpr std::size_t longTableCellCount = 20000;

// When each row below a long table's head was last placed, so that of the rows placed (those in
// view now and those placed before, further away) the ones around the last placed are reported.
struct RowPlacements {
    std::uint64_t count = 0;
    std::unordered_map<int, std::uint64_t> last;
};

// One row below a long table's head: its cells in the columns the head settled on, as tall as its
// tallest cell, and noted in `placed` as the grid notes its cells.
class TableRowLayout final : public ui::Layout {
public:
    using CGFloat = platform::CGFloat;

    // `first`: the column of the first cell, in a wide table (whose other cells are not built).
    TableRowLayout(int row, std::vector<ui::HorizontalAlignment> alignments, CGFloat hSpacing,
                   TableCellPadding padding, std::shared_ptr<ColumnPlans> plans,
                   std::shared_ptr<PlacedTableCells> placed,
                   std::shared_ptr<RowPlacements> placements, std::uint64_t columnsVersion,
                   std::optional<std::size_t> first = std::nullopt)
        : first_(first)
        , row_(row)
        , alignments_(std::move(alignments))
        , hSpacing_(hSpacing)
        , padding_(padding)
        , plans_(std::move(plans))
        , placed_(std::move(placed))
        , placements_(std::move(placements))
        , columnsVersion_(columnsVersion) {}

    platform::Size sizeThatFits(ui::ProposedViewSize p, ui::LayoutSubviews subviews,
                                std::any& /*cache*/) const override {
        const std::vector<CGFloat> widths = columnWidths(p, subviews);
        CGFloat height = 0;
        for (std::size_t c = 0; c < subviews.size(); ++c) {
            height = std::max(height, subviews[c].sizeThatFits({widths[c], std::nullopt}).height);
        }
        if (first_) {
            const TablePlan* plan = plans_->forWidth(p.width);
            return {plan != nullptr ? plan->size.width : total(widths), height};
        }
        return {total(widths), height};
    }

    void placeSubviews(platform::Rect bounds, ui::ProposedViewSize p, ui::LayoutSubviews subviews,
                       std::any& /*cache*/) const override {
        const std::vector<CGFloat> widths = columnWidths(p, subviews);
        CGFloat height = 0;
        for (std::size_t c = 0; c < subviews.size(); ++c) {
            height = std::max(height, subviews[c].sizeThatFits({widths[c], std::nullopt}).height);
        }
        placed_->cells.clear();
        placed_->cells.reserve(subviews.size());
        CGFloat x = bounds.origin.x;
        const std::size_t first = first_.value_or(0);
        const TablePlan* plan = plans_->forWidth(p.width);
        if (plan != nullptr && first_) {
            for (std::size_t c = 0; c < first && c < plan->columnWidths.size(); ++c) {
                x += plan->columnWidths[c] + hSpacing_;
            }
        }
        for (std::size_t c = 0; c < subviews.size(); ++c) {
            const bool planned = plan != nullptr && first + c < plan->widestCells.size();
            placeCell(subviews[c], {row_, static_cast<int>(first + c)},
                      platform::Rect(x, bounds.origin.y, widths[c], height), alignments_, padding_,
                      *placed_, planned ? plan->widestCells[first + c] : widths[c]);
            x += widths[c] + hSpacing_;
        }
        placements_->last[row_] = ++placements_->count;
    }

    bool equals(const ui::Layout& other) const override {
        const auto* o = dynamic_cast<const TableRowLayout*>(&other);
        return o != nullptr && o->row_ == row_ && o->alignments_ == alignments_ &&
               o->hSpacing_ == hSpacing_ && o->padding_ == padding_ && o->plans_ == plans_ &&
               o->placed_ == placed_ && o->placements_ == placements_ &&
               o->columnsVersion_ == columnsVersion_ && o->first_ == first_;
    }

private:
    // The head's columns for this width; each cell's own ideal width before the head has any.
    [[nodiscard]] std::vector<CGFloat> columnWidths(ui::ProposedViewSize p,
                                                    ui::LayoutSubviews subviews) const {
        std::vector<CGFloat> widths(subviews.size(), 0);
        const TablePlan* plan = plans_->forWidth(p.width);
        const std::size_t first = first_.value_or(0);
        for (std::size_t c = 0; c < subviews.size(); ++c) {
            widths[c] = plan != nullptr && first + c < plan->columnWidths.size()
                            ? plan->columnWidths[first + c]
                            : subviews[c].sizeThatFits({}).width;
        }
        return widths;
    }
    [[nodiscard]] CGFloat total(const std::vector<CGFloat>& widths) const {
        return std::accumulate(widths.begin(), widths.end(), CGFloat(0)) +
               hSpacing_ * static_cast<CGFloat>(widths.empty() ? 0 : widths.size() - 1);
    }

    std::optional<std::size_t> first_;
    int row_;
    std::vector<ui::HorizontalAlignment> alignments_;
    CGFloat hSpacing_;
    TableCellPadding padding_;
    std::shared_ptr<ColumnPlans> plans_;
    std::shared_ptr<PlacedTableCells> placed_;
    std::shared_ptr<RowPlacements> placements_;
    std::uint64_t columnsVersion_;
};

// What a row below the head is made of; its view is made when the row comes near the screen.
struct TableRowParts {
    std::vector<ui::HorizontalAlignment> alignments;
    platform::CGFloat hSpacing = 0;
    TableCellPadding padding;
    std::shared_ptr<ColumnPlans> plans;
    std::shared_ptr<RowPlacements> placements;
    bool cellsInTable = false;
    bool hasCellStyle = false;
    std::uint64_t columnsVersion = 0;
    // In a wide table, the column of each row's first cell.
    std::optional<std::size_t> firstColumn;
    friend bool operator==(const TableRowParts&, const TableRowParts&) = default;
};

// The cells of a wide table, each under the key of its place: as other columns are built the
// cells keep their views (and their texts what a selection in them refers to) instead of taking
// over those of the cells now at their positions.
std::vector<ui::AnyView> keyedCells(std::vector<ui::AnyView> views,
                                    const std::vector<std::pair<int, int>>& places) {
    std::vector<std::pair<ui::ViewID, ui::AnyView>> keyed;
    keyed.reserve(views.size());
    for (std::size_t i = 0; i < views.size(); ++i) {
        keyed.emplace_back(ui::ViewID::pair(places[i].first, places[i].second),
                           std::move(views[i]));
    }
    return {ui::AnyView(ui::ForEach(keyed))};
}

class TableRowView {
public:
    TableRowView(int row, std::vector<AttributedSubstring> cells,
                 std::shared_ptr<const TableRowParts> parts)
        : row_(row)
        , cells_(std::move(cells))
        , parts_(std::move(parts)) {}

    [[nodiscard]] ui::AnyView body(ui::ViewContext& context) const {
        const std::shared_ptr<const TableCellStyle> cellStyle =
            tableCellStyle(context.environment());
        std::vector<ui::AnyView> views;
        views.reserve(cells_.size());
        const std::size_t first = parts_->firstColumn.value_or(0);
        for (std::size_t c = 0; c < cells_.size(); ++c) {
            const TableCell cell(cells_[c], {row_, static_cast<int>(first + c)},
                                 parts_->hasCellStyle);
            views.push_back(parts_->cellsInTable ? cell.styled(context, cellStyle.get())
                                                 : ui::AnyView(cell));
        }
        if (parts_->firstColumn) {
            std::vector<std::pair<int, int>> places;
            for (std::size_t c = 0; c < cells_.size(); ++c) {
                places.emplace_back(row_, static_cast<int>(first + c));
            }
            views = keyedCells(std::move(views), places);
        }
        std::shared_ptr<PlacedTableCells> placed = context.stateObject<PlacedTableCells>(
            [] { return std::make_shared<PlacedTableCells>(); });
        return ui::AnyView(
                   ui::LayoutView(std::make_shared<const TableRowLayout>(
                                      row_, parts_->alignments, parts_->hSpacing, parts_->padding,
                                      parts_->plans, placed, parts_->placements,
                                      parts_->columnsVersion, parts_->firstColumn),
                                  std::move(views)))
            .anchorPreference<TableCellBoundsKey, platform::Rect>(
                ui::AnchorSource::bounds(),
                [placed = std::move(placed)](ui::Anchor<platform::Rect> bounds) {
                    return placed->anchored(bounds);
                });
    }
    friend bool operator==(const TableRowView& a, const TableRowView& b) {
        return a.row_ == b.row_ && a.cells_ == b.cells_ &&
               (a.parts_ == b.parts_ || *a.parts_ == *b.parts_);
    }

private:
    int row_;
    std::vector<AttributedSubstring> cells_;
    std::shared_ptr<const TableRowParts> parts_;
};

// The rows below the head, one above the other with the grid's room between them.
class TableRowStackLayout final : public ui::LazyVStackLayout {
public:
    explicit TableRowStackLayout(platform::CGFloat spacing)
        : spacing_(spacing) {}
    platform::CGFloat rowSpacing(const ui::LayoutSubview& /*upper*/,
                                 const ui::LayoutSubview& /*lower*/) const override {
        return spacing_;
    }
    platform::CGFloat rowOffset(const ui::LayoutSubview& /*row*/, platform::Size /*size*/,
                                platform::CGFloat /*width*/) const override {
        return 0;
    }
    bool equals(const ui::Layout& other) const override {
        const auto* o = dynamic_cast<const TableRowStackLayout*>(&other);
        return o != nullptr && o->spacing_ == spacing_;
    }

private:
    platform::CGFloat spacing_;
};

// A long table: its head grid, then the rest of its rows below it, both offered the table's width.
// The table is as wide as its head: the rows below stand in the columns the head settled on. The
// width of the stack of rows is no measure of it, since rows not yet brought up to date keep the
// sizes they were measured at as estimates (columns spaced for a first guess at the spacing, say),
// and a table wider than its columns would draw what its style lays over it (the ends of the
// rules) otherwise than the whole table does.
class LongTableLayout final : public ui::Layout {
public:
    explicit LongTableLayout(platform::CGFloat spacing)
        : spacing_(spacing) {}
    platform::Size sizeThatFits(ui::ProposedViewSize p, ui::LayoutSubviews subviews,
                                std::any& /*cache*/) const override {
        const platform::Size head = subviews[0].sizeThatFits(p);
        const platform::Size rest = subviews[1].sizeThatFits({p.width, std::nullopt});
        return {head.width, head.height + spacing_ + rest.height};
    }
    void placeSubviews(platform::Rect bounds, ui::ProposedViewSize p, ui::LayoutSubviews subviews,
                       std::any& /*cache*/) const override {
        const platform::Size head = subviews[0].sizeThatFits(p);
        subviews[0].place(bounds.origin, ui::UnitPoint::topLeading(), p);
        subviews[1].place({bounds.origin.x, bounds.origin.y + head.height + spacing_},
                          ui::UnitPoint::topLeading(), {p.width, std::nullopt});
    }
    bool equals(const ui::Layout& other) const override {
        const auto* o = dynamic_cast<const LongTableLayout*>(&other);
        return o != nullptr && o->spacing_ == spacing_;
    }

private:
    platform::CGFloat spacing_;
};

// The cells' bounds a long table reports: a table layout counts its rows from 0 without gaps, and
// the rows below the head report only once placed. So the head's rows are reported when the rows
// placed below them follow on without a gap; otherwise only the run of rows around the one placed
// last (the part in view), numbered from 1 or 2 after empty rows of no height at its top, so that
// every row keeps the evenness of its number (a striped style stripes the same rows).
void reportPlacedRun(TableCellBounds& bounds, const RowPlacements& placements) {
    std::vector<int> rows;
    rows.reserve(bounds.size());
    for (const TableCellBounds::Entry& entry : bounds) {
        rows.push_back(entry.identifier.row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty() || rows.back() == static_cast<int>(rows.size()) - 1) {
        return; // from 0 without a gap
    }
    int latest = rows.back();
    std::uint64_t when = 0;
    for (const auto& [row, stamp] : placements.last) {
        if (stamp > when && std::binary_search(rows.begin(), rows.end(), row)) {
            when = stamp;
            latest = row;
        }
    }
    auto at = std::lower_bound(rows.begin(), rows.end(), latest);
    auto first = at;
    while (first != rows.begin() && *(first - 1) == *first - 1) {
        --first;
    }
    auto last = at;
    while (last + 1 != rows.end() && *(last + 1) == *last + 1) {
        ++last;
    }
    const int from = *first;
    const int to = *last;
    if (from == 0) {
        // The head and the rows below it, without a gap: the rows further away drop out.
        TableCellBounds kept;
        for (const TableCellBounds::Entry& entry : bounds) {
            if (entry.identifier.row <= to) {
                kept.push_back(entry);
            }
        }
        bounds = std::move(kept);
        return;
    }
    const int shift = from - (from % 2 == 0 ? 2 : 1);
    TableCellBounds kept;
    std::optional<platform::Rect> top;
    for (const TableCellBounds::Entry& entry : bounds) {
        if (entry.identifier.row >= from && entry.identifier.row <= to) {
            kept.push_back({{entry.identifier.row - shift, entry.identifier.column}, entry.anchor});
            if (entry.identifier.row == from && entry.identifier.column == 0) {
                top = entry.anchor.rootValue();
            }
        }
    }
    if (top) {
        const platform::Rect empty(top->origin.x, top->origin.y, 0, 0);
        for (int row = 0; row < from - shift; ++row) {
            kept.push_back({{row, 0}, ui::Anchor<platform::Rect>(empty)});
        }
    }
    bounds = std::move(kept);
}
// The cells' bounds a wide table reports: a table layout counts its columns from 0 without gaps,
// and a wide table places only the columns from `first` on. They are numbered from 1 or 2 after
// empty columns of no width at their left, so that every column keeps the evenness of its number.
void reportBuiltColumns(TableCellBounds& bounds, std::size_t first) {
    if (first < 2 || bounds.empty()) {
        return;
    }
    const int shift = static_cast<int>(first) - (first % 2 == 0 ? 2 : 1);
    TableCellBounds kept;
    std::optional<platform::Rect> left;
    for (const TableCellBounds::Entry& entry : bounds) {
        kept.push_back({{entry.identifier.row, entry.identifier.column - shift}, entry.anchor});
        const platform::Rect rect = entry.anchor.rootValue();
        if (!left || rect.minX() < left->minX() ||
            (rect.minX() == left->minX() && rect.minY() < left->minY())) {
            left = rect;
        }
    }
    const platform::Rect empty(left->origin.x, left->origin.y, 0, 0);
    const int row = bounds.begin()->identifier.row;
    for (int column = 0; column < static_cast<int>(first) - shift; ++column) {
        kept.push_back({{row, column}, ui::Anchor<platform::Rect>(empty)});
    }
    bounds = std::move(kept);
}

// The widest cells of one column by one measure, the widest first, each text in each look kept
// once.
struct WidestCells {
    static constexpr std::size_t kept = 4;
    std::array<std::pair<double, std::size_t>, kept> cells{};
    std::size_t count = 0;

    void offer(double width, std::size_t row, const Table::Rows& rows, std::size_t column) {
        if (count == kept && width <= cells[kept - 1].first) {
            return;
        }
        for (std::size_t k = 0; k < count; ++k) {
            // The same text in the same look; in another (a code span), it may be wider.
            if (cells[k].first == width &&
                rows[cells[k].second][column].characters() == rows[row][column].characters()) {
                return;
            }
        }
        std::size_t at = std::min(count, kept - 1);
        count = std::min(count + 1, kept);
        while (at > 0 && cells[at - 1].first < width) {
            cells[at] = cells[at - 1];
            --at;
        }
        cells[at] = {width, row};
    }
};

// The widths of cells told from their characters, as a cell's layout would give them but for
// kerning and ligatures: each run in the font the inline style gives it (code, strong emphasis,
// a link's look), and each attachment (a formula, an image, an emoji picture) at the size it asks
// for in a line, which its characters (one replacement character) cannot tell. Each distinct
// look is styled once, each character laid out once per font, and each distinct attachment
// measured once, up to `measuredAttachments` of them: past those (a table of that many distinct
// formulas) an attachment counts as its text form in its run's font, so that ranking a table
// never costs more than that many attachments' layouts.
class CellWidths {
public:
    static constexpr std::size_t measuredAttachments = 1000;

    // For the cells of `table`, measured in the order of their text: each finds its runs from
    // where the last one's ended, rather than by a search of all of the table's runs.
    CellWidths(const AttributedSubstring& table, InlineStyle style,
               TextEnvironmentValues environment)
        : runs_(table.runs())
        , style_(std::move(style))
        , environment_(std::move(environment)) {}

    CharacterWidths::Measure measure(const AttributedSubstring& cell) {
        using Foundation = platform::AttributeScopes::FoundationAttributes;
        CharacterWidths::Measure measure;
        double word = 0;
        const std::string_view text = cell.characters();
        const std::size_t from = cell.startIndex().offset;
        const std::size_t to = cell.endIndex().offset;
        at_ = std::min(at_, runs_.empty() ? 0 : runs_.size() - 1);
        while (at_ > 0 && runs_.range(at_).lowerBound.offset > from) {
            --at_;
        }
        while (at_ < runs_.size() && runs_.range(at_).upperBound.offset <= from) {
            ++at_;
        }
        for (std::size_t i = at_; i < runs_.size(); ++i) {
            const platform::AttributedString::Range range = runs_.range(i);
            if (range.lowerBound.offset >= to) {
                break;
            }
            const std::size_t lower = std::max(range.lowerBound.offset, from);
            const std::string_view characters =
                text.substr(lower - from, std::min(range.upperBound.offset, to) - lower);
            const auto [intent, link, font, attachment] =
                runs_.attributes(i)
                    .getAll<Foundation::InlinePresentationIntentAttribute,
                            Foundation::LinkAttribute, TextAttributeScope::FontAttribute,
                            VellumAttributes::AttachmentAttribute>();
            Look& look = lookOf(intent != nullptr ? intent->rawValue : 0, link, font);
            if (attachment == nullptr) {
                look.widths->extend(characters, measure, word);
            } else if (const std::optional<double> width = attachmentWidth(*attachment, look)) {
                // A box in the line, which breaks around it as around a word.
                measure.width += *width;
                word += *width;
                measure.widestWord = std::max(measure.widestWord, word);
            } else {
                look.widths->extend(attachment->description(), measure, word);
            }
        }
        return measure;
    }

private:
    // What decides the font of a run: its inline intent, whether it is a link, its own font.
    struct Look {
        std::uint32_t intent = 0;
        bool link = false;
        std::optional<platform::Font> own;
        platform::Font font;
        CharacterWidths* widths = nullptr;
    };

    Look& lookOf(std::uint32_t intent, const platform::URL* link, const platform::Font* own) {
        for (Look& look : looks_) {
            if (look.intent == intent && look.link == (link != nullptr) &&
                (own == nullptr ? !look.own : look.own && *look.own == *own)) {
                return look;
            }
        }
        // The run's look styled as the cell's text is, on one character.
        using Foundation = platform::AttributeScopes::FoundationAttributes;
        platform::AttributeContainer attributes;
        if (intent != 0) {
            attributes.set<Foundation::InlinePresentationIntentAttribute>(
                platform::InlinePresentationIntent{intent});
        }
        if (link != nullptr) {
            attributes.set<Foundation::LinkAttribute>(*link);
        }
        if (own != nullptr) {
            attributes.set<TextAttributeScope::FontAttribute>(*own);
        }
        const platform::AttributedString styled =
            style_.styled(platform::AttributedString("x", std::move(attributes)), environment_);
        const platform::Font* font =
            styled.runs().attributes(0).get<TextAttributeScope::FontAttribute>();
        Look look{intent, link != nullptr, own != nullptr ? std::optional(*own) : std::nullopt,
                  font != nullptr ? *font : environment_.font.value_or(platform::Font::body())};
        look.widths = &widthsIn(look.font);
        return looks_.emplace_back(std::move(look));
    }

    CharacterWidths& widthsIn(const platform::Font& font) {
        for (auto& [known, widths] : fonts_) {
            if (known == font) {
                return *widths;
            }
        }
        return *fonts_.emplace_back(font, std::make_unique<CharacterWidths>(font)).second;
    }

    std::optional<double> attachmentWidth(const AnyAttachment& attachment, const Look& look) {
        const auto found = attachments_.find(attachment);
        if (found != attachments_.end()) {
            for (const auto& [font, width] : found->second) {
                if (font == look.font) {
                    return width;
                }
            }
        }
        if (measured_ == measuredAttachments) {
            return std::nullopt;
        }
        TextEnvironmentValues environment = environment_;
        environment.font = look.font;
        const double width = attachment.sizeThatFits({}, environment).width;
        attachments_[attachment].emplace_back(look.font, width);
        ++measured_;
        return width;
    }

    platform::AttributedString::Runs runs_;
    std::size_t at_ = 0;
    InlineStyle style_;
    TextEnvironmentValues environment_;
    std::vector<Look> looks_;
    std::vector<std::pair<platform::Font, std::unique_ptr<CharacterWidths>>> fonts_;
    // The widths of the attachments measured, in each font they were measured in.
    std::unordered_map<AnyAttachment, std::vector<std::pair<platform::Font, double>>> attachments_;
    std::size_t measured_ = 0;
};

// Of the cells of `rows` from row `first` on, those that may be the widest of their column on one
// line and those that may hold its widest word, a few of each, ranked by their widths told from
// their characters and attachments: (row, column) in row order.
std::vector<std::pair<std::size_t, std::size_t>>
widestCells(const Table::Rows& rows, std::size_t first, CellWidths& widths) {
    std::vector<WidestCells> lines;
    std::vector<WidestCells> words;
    for (std::size_t r = first; r < rows.size(); ++r) {
        if (rows[r].size() > lines.size()) {
            lines.resize(rows[r].size());
            words.resize(rows[r].size());
        }
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            if (rows[r][c].empty()) {
                continue;
            }
            const CharacterWidths::Measure measure = widths.measure(rows[r][c]);
            lines[c].offer(measure.width, r, rows, c);
            words[c].offer(measure.widestWord, r, rows, c);
        }
    }
    std::vector<std::pair<std::size_t, std::size_t>> widest;
    for (std::size_t c = 0; c < lines.size(); ++c) {
        for (const WidestCells* column : {&lines[c], &words[c]}) {
            for (std::size_t k = 0; k < column->count; ++k) {
                widest.emplace_back(column->cells[k].second, c);
            }
        }
    }
    std::sort(widest.begin(), widest.end());
    widest.erase(std::unique(widest.begin(), widest.end()), widest.end());
    return widest;
}

// The cells `widestCells` found for a table's text, kept with the table's identity: its body is
// made again as its spacing arrives or, in a wide table, as other columns come into view.
struct WidestCellsFound {
    std::optional<AttributedSubstring> content;
    std::size_t first = 0;
    std::optional<std::pair<InlineStyle, TextEnvironmentValues>> look;
    std::vector<std::pair<std::size_t, std::size_t>> cells;

    const std::vector<std::pair<std::size_t, std::size_t>>&
    of(const AttributedSubstring& table, const Table::Rows& rows, std::size_t head,
       const InlineStyle& style, const TextEnvironmentValues& environment) {
        if (!content || !sameContent(*content, table) || first != head || !look ||
            !(look->first == style) || !(look->second == environment)) {
            CellWidths widths(table, style, environment);
            cells = widestCells(rows, head, widths);
            content = table;
            first = head;
            look.emplace(style, environment);
        }
        return cells;
    }
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
    // A wide table's state, kept by every table so that the slots line up whichever it is.
    const std::shared_ptr<WideTable> wideTable =
        context.stateObject<WideTable>([] { return std::make_shared<WideTable>(); });
    const ui::State<std::uint64_t> columnsAsked = context.state<std::uint64_t>(0);
    const bool isWide =
        columns_.size() > wideColumnCount && context.environment<InLazyDocumentKey>();
    // A wide table's body is evaluated again for every other run of columns shown: its cells are
    // split by row and column once for its text.
    Rows split;
    const Rows& cells = isWide ? wideTable->rows(content_, intent_, columns_.size())
                               : (split = rows(content_, intent_, columns_.size()));
    const std::shared_ptr<const TableCellStyle> cellStyle = tableCellStyle(context.environment());
    std::vector<TableGridLayout::Place> places;
    std::vector<ui::AnyView> gridCells;
    std::vector<std::pair<int, int>> gridPlaces;
    std::size_t columnCount = 0;
    for (const std::vector<AttributedSubstring>& row : cells) {
        columnCount = std::max(columnCount, row.size());
    }
    // Made here, in the table's body, where the style allows it: a view per cell fewer.
    const bool inTable = cellStyle != nullptr && cellStyle->makesBodiesInTable();
    // In a document laid out as it comes into view, a long table lays out its first rows whole
    // and the others as they come near the screen, in the columns the first ones settled on.
    const std::size_t headRows = std::clamp<std::size_t>(
        headCellCount / std::max<std::size_t>(columnCount, 1), 2, headRowCount);
    const bool long_ =
        (cells.size() > headRowCount || cells.size() * columnCount > longTableCellCount) &&
        cells.size() > headRows && context.environment<InLazyDocumentKey>();
    const std::size_t gridRows = long_ ? headRows : cells.size();
    // The cells below the head that may be the widest of their columns or hold their longest
    // words, found from their texts: laid out unseen beside the head's cells, they make the
    // columns as wide as a grid of all the rows makes them.
    const std::shared_ptr<WidestCellsFound> widest =
        context.stateObject<WidestCellsFound>([] { return std::make_shared<WidestCellsFound>(); });
    const std::vector<std::pair<std::size_t, std::size_t>> noSample;
    const std::vector<std::pair<std::size_t, std::size_t>>& sample =
        long_ ? widest->of(content_, cells, gridRows, inlineStyle(context.environment()),
                           TextEnvironmentValues(context.environment()))
              : noSample;
    std::shared_ptr<PlacedTableCells> placed =
        context.stateObject<PlacedTableCells>([] { return std::make_shared<PlacedTableCells>(); });
    const std::shared_ptr<ColumnPlans> plans =
        context.stateObject<ColumnPlans>([] { return std::make_shared<ColumnPlans>(); });
    const std::shared_ptr<RowPlacements> placements =
        context.stateObject<RowPlacements>([] { return std::make_shared<RowPlacements>(); });
    const TableCellPadding padding =
        cellStyle ? cellStyle->cellPadding(context) : TableCellPadding{};
    // A wide table builds only the columns in and near the part shown.
    std::shared_ptr<WideColumns> wide;
    WideColumns::Window window{0, columnCount};
    if (isWide) {
        if (!wideTable->columns) {
            wideTable->columns = std::make_shared<WideColumns>();
        }
        wide = wideTable->columns;
        std::vector<std::size_t> characters(columnCount, 0);
        const auto longest = [&](std::size_t r) {
            for (std::size_t c = 0; c < cells[r].size() && c < columnCount; ++c) {
                characters[c] = std::max(characters[c], cells[r][c].characters().size());
            }
        };
        for (std::size_t r = 0; r < gridRows; ++r) {
            longest(r);
        }
        for (const auto& [r, c] : sample) {
            characters[c] = std::max(characters[c], cells[r][c].characters().size());
        }
        wide->reset(plans->versionFor(content_), std::move(characters),
                    horizontalSpacing(spacing->horizontal, padding));
        wide->setAsk(columnsAsked);
        window = wide->window();
        wide->built(window);
    }
    places.reserve(gridRows * (window.end - window.first));
    gridCells.reserve(gridRows * (window.end - window.first));
    for (std::size_t r = 0; r < gridRows; ++r) {
        for (std::size_t c = window.first; c < std::min(window.end, cells[r].size()); ++c) {
            places.push_back({static_cast<int>(r), static_cast<int>(c)});
            if (wide) {
                gridPlaces.emplace_back(static_cast<int>(r), static_cast<int>(c));
            }
            const TableCell cell(cells[r][c], {static_cast<int>(r), static_cast<int>(c)},
                                 cellStyle != nullptr);
            gridCells.push_back(inTable ? cell.styled(context, cellStyle.get())
                                        : ui::AnyView(cell));
        }
    }
    // The rows sampled below the head, made as cells are, unseen, never placed, publishing
    // nothing (their texts are not the document's twice), measured only.
    std::vector<int> sampleColumns;
    for (const auto& [r, c] : sample) {
        if (c >= window.first && c < window.end) {
            sampleColumns.push_back(static_cast<int>(c));
            if (wide) {
                gridPlaces.emplace_back(static_cast<int>(r), static_cast<int>(c));
            }
            const TableCell cell(cells[r][c], {static_cast<int>(r), static_cast<int>(c)},
                                 cellStyle != nullptr);
            gridCells.push_back(
                ui::detail::transformPreferences(
                    inTable ? cell.styled(context, cellStyle.get()) : ui::AnyView(cell),
                    [](ui::PreferenceValues& values, const ui::GeometryProxy& /*proxy*/) {
                        values = ui::PreferenceValues();
                    })
                    .opacity(0));
        }
    }
    if (wide) {
        gridCells = keyedCells(std::move(gridCells), gridPlaces);
    }
    std::vector<ui::HorizontalAlignment> alignments;
    alignments.reserve(columnCount);
    for (std::size_t c = 0; c < columnCount; ++c) {
        alignments.push_back(columnAlignment(columns_, c));
    }
    // Cells centred vertically in their rows, leading in their columns unless told otherwise.
    // The grid reports where its cells lie, once for them all.
    // The cells' padding lies between them and, here, around them all.
    ui::AnyView grid =
        ui::AnyView(
            ui::LayoutView(std::make_shared<const TableGridLayout>(
                               std::move(places), alignments, spacing->horizontal,
                               spacing->vertical, padding, placed, long_ || wide ? plans : nullptr,
                               std::move(sampleColumns), wide),
                           std::move(gridCells)))
            .anchorPreference<TableCellBoundsKey, platform::Rect>(
                ui::AnchorSource::bounds(),
                [placed = std::move(placed)](ui::Anchor<platform::Rect> bounds) {
                    return placed->anchored(bounds);
                });
    if (long_) {
        auto parts = std::make_shared<TableRowParts>();
        parts->alignments = std::move(alignments);
        parts->hSpacing = horizontalSpacing(spacing->horizontal, padding);
        parts->padding = padding;
        parts->plans = plans;
        parts->placements = placements;
        parts->cellsInTable = inTable;
        parts->hasCellStyle = cellStyle != nullptr;
        parts->columnsVersion = plans->versionFor(content_);
        if (wide) {
            parts->firstColumn = window.first;
        }
        const std::shared_ptr<const TableRowParts> shared = std::move(parts);
        std::vector<std::pair<ui::ViewID, ui::AnyView>> rest;
        rest.reserve(cells.size() - gridRows);
        for (std::size_t r = gridRows; r < cells.size(); ++r) {
            std::vector<AttributedSubstring> row =
                wide ? std::vector<AttributedSubstring>(
                           cells[r].begin() +
                               static_cast<std::ptrdiff_t>(std::min(window.first, cells[r].size())),
                           cells[r].begin() +
                               static_cast<std::ptrdiff_t>(std::min(window.end, cells[r].size())))
                     : cells[r];
            rest.emplace_back(
                static_cast<int>(r),
                ui::AnyView(TableRowView(static_cast<int>(r), std::move(row), shared)));
        }
        const platform::CGFloat rowSpacing = verticalSpacing(spacing->vertical, padding);
        grid =
            ui::AnyView(ui::LayoutView(std::make_shared<const LongTableLayout>(rowSpacing),
                                       {std::move(grid),
                                        ui::AnyView(ui::LazyVStack(
                                            std::make_shared<const TableRowStackLayout>(rowSpacing),
                                            {ui::AnyView(ui::ForEach(rest))}))}))
                .transformPreference<TableCellBoundsKey>(
                    [placements](TableCellBoundsKey::Value& bounds) {
                        reportPlacedRun(bounds, *placements);
                    });
    }
    if (wide) {
        grid = std::move(grid).transformPreference<TableCellBoundsKey>(
            [first = window.first](TableCellBoundsKey::Value& bounds) {
                reportBuiltColumns(bounds, first);
            });
        grid = grid.onVisibleBoundsChange(
            [wide](const platform::Rect& /*old*/, const platform::Rect& now) { wide->show(now); });
        // The scroll view the style puts the table in lies between the table and its grid: the
        // grid's environment holds the action that scrolls it.
        grid =
            ui::detail::transformEnvironment(std::move(grid), [wide](ui::EnvironmentValues& env) {
                wide->setScrollBy(env.get<ui::ScrollByKey>());
            });
    }
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
