// Tables from parsed markdown, in a live view tree: which cell lands in which row and column
// (header first, empty and missing cells kept in place), how columns align their cells, and how
// the spacing a table style publishes reaches the grid.

#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/blocks/Table.hpp"
#include "Vellum/blocks/TableCell.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/markdown/BlockRuns.hpp"
#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/style/TableCellStyle.hpp"
#include "Vellum/style/TableLayout.hpp"
#include "Vellum/style/TableStyle.hpp"
#include "platform/foundation/AttributeScope.hpp"
#include "platform/ui/UI.hpp"

#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using platform::AttributedString;
using platform::PresentationIntent;
using platform::Rect;
using platform::ui::AnyView;
using platform::ui::OffscreenHost;
using platform::ui::ViewContext;
using namespace vellum::structured;
using IntentType = PresentationIntent::IntentType;
using IntentAttribute =
    platform::AttributeScopes::FoundationAttributes::PresentationIntentAttribute;

// The first table of a parsed document, as the block dispatch builds it.
struct ParsedTable {
    AttributedString document;
    std::optional<Table> table;
    std::optional<IntentType> intent;
};

ParsedTable parse(const std::string& markdown) {
    ParsedTable parsed;
    parsed.document = vellum::AttributedStringMarkdownParser::markdown(
                          std::nullopt, vellum::AttributedStringMarkdownParser::PatternOptions{})
                          .attributedString(markdown);
    for (const vellum::BlockRuns::BlockRun& run : vellum::BlockRuns(parsed.document)) {
        if (run.intent && run.intent->kind() == PresentationIntent::Kind::table) {
            parsed.intent = run.intent;
            parsed.table.emplace(run.intent, parsed.document[run.range], run.intent->columns());
            break;
        }
    }
    return parsed;
}

std::vector<std::vector<std::string>> texts(const Table::Rows& rows) {
    std::vector<std::vector<std::string>> result;
    for (const auto& row : rows) {
        auto& cells = result.emplace_back();
        for (const auto& cell : row) {
            cells.emplace_back(cell.characters());
        }
    }
    return result;
}

// What a table style and its cells' style saw: the cells' bounds (in root coordinates, the table
// lying at the root's origin), every cell's configuration, and the spacing the table settled on.
struct Seen {
    std::map<std::pair<int, int>, Rect> bounds;
    std::vector<TableCellStyleConfiguration> cells;
    int tableIndentation = -1;
};

// Shows the grid as it is, publishing the spacings given (in this order, as siblings) and
// recording the cells' bounds.
class ProbeTableStyle final : public TableStyle {
public:
    ProbeTableStyle(std::shared_ptr<Seen> seen, std::vector<TableCellSpacing> publish = {})
        : seen_(std::move(seen))
        , publish_(std::move(publish)) {}

    AnyView makeBody(ViewContext& /*context*/,
                     const TableStyleConfiguration& configuration) const override {
        seen_->tableIndentation = configuration.indentationLevel;
        std::vector<AnyView> layers{configuration.label.content};
        for (const TableCellSpacing& spacing : publish_) {
            layers.push_back(AnyView(platform::Color::clear())
                                 .frame(0, 0)
                                 .preference<TableCellSpacingKey>(spacing));
        }
        return AnyView(platform::ui::ZStack(platform::ui::Alignment::topLeading(), layers))
            .onPreferenceChange<TableCellBoundsKey>(
                [seen = seen_](const TableCellBoundsKey::Value& bounds) {
                    seen->bounds.clear();
                    for (const auto& [identifier, anchor] : bounds) {
                        seen->bounds[{identifier.row, identifier.column}] = anchor.rootValue();
                    }
                });
    }

private:
    std::shared_ptr<Seen> seen_;
    std::vector<TableCellSpacing> publish_;
};

// The label with 4 points of padding; records the configuration.
class ProbeCellStyle final : public TableCellStyle {
public:
    explicit ProbeCellStyle(std::shared_ptr<Seen> seen)
        : seen_(std::move(seen)) {}
    AnyView makeBody(ViewContext& /*context*/,
                     const TableCellStyleConfiguration& configuration) const override {
        seen_->cells.push_back(configuration);
        return configuration.label.content.padding(4);
    }

private:
    std::shared_ptr<Seen> seen_;
};

Rect at(const Seen& seen, int row, int column) {
    const auto found = seen.bounds.find({row, column});
    return found != seen.bounds.end() ? found->second : Rect::null();
}

TableLayout layoutOf(const Seen& seen) {
    std::unordered_map<TableCellIdentifier, Rect> cells;
    for (const auto& [key, rect] : seen.bounds) {
        cells[{key.first, key.second}] = rect;
    }
    return TableLayout::makeTableLayout(cells);
}

std::shared_ptr<Seen> render(const Table& table, std::vector<TableCellSpacing> publish = {}) {
    auto seen = std::make_shared<Seen>();
    const AnyView root =
        AnyView(table)
            .environment<TableStyleKey>(std::make_shared<ProbeTableStyle>(seen, std::move(publish)))
            .environment<TableCellStyleKey>(std::make_shared<ProbeCellStyle>(seen))
            .font(platform::Font::system(15));
    OffscreenHost host(root);
    host.runUntilIdle();
    return seen;
}

TEST(TableCells, HeaderIsRowZeroAndEveryCellKeepsItsColumn) {
    const ParsedTable parsed = parse("| H1 | H2 | H3 |\n"
                                     "|----|----|----|\n"
                                     "| a  |    | c  |\n"
                                     "| d  |\n");
    ASSERT_TRUE(parsed.table);
    // The empty cell keeps column 1 (c stays under H3); the short row is filled out.
    const Table::Rows rows = Table::rows(parsed.document[parsed.document.fullRange()],
                                         parsed.intent, parsed.intent->columns().size());
    EXPECT_EQ(texts(rows), (std::vector<std::vector<std::string>>{
                               {"H1", "H2", "H3"}, {"a", "", "c"}, {"d", "", ""}}));

    const std::shared_ptr<Seen> seen = render(*parsed.table);
    // One bounds entry per cell, empty ones included.
    ASSERT_EQ(seen->bounds.size(), 9U);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            EXPECT_TRUE(seen->bounds.contains({row, column})) << row << ", " << column;
        }
    }
    const TableLayout layout = layoutOf(*seen);
    ASSERT_EQ(layout.rowCount(), 3);
    // Row 0 is the header, above the body rows.
    EXPECT_LT(layout.rows()[0].minY, layout.rows()[1].minY);
    EXPECT_LT(layout.rows()[1].minY, layout.rows()[2].minY);
}

TEST(TableCells, AnEmptyHeaderRowStaysRowZero) {
    const ParsedTable parsed = parse("|   |   |\n"
                                     "|---|---|\n"
                                     "| a | b |\n");
    ASSERT_TRUE(parsed.table);
    const Table::Rows rows = Table::rows(parsed.document[parsed.document.fullRange()],
                                         parsed.intent, parsed.intent->columns().size());
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(texts(rows)[1], (std::vector<std::string>{"a", "b"}));
    for (const auto& cell : rows[0]) {
        EXPECT_TRUE(std::string(cell.characters()).find_first_not_of(" ") == std::string::npos);
    }

    const std::shared_ptr<Seen> seen = render(*parsed.table);
    // The body row is not taken for the header: its cells are row 1.
    int bodyCells = 0;
    for (const TableCellStyleConfiguration& cell : seen->cells) {
        bodyCells += cell.row == 1 ? 1 : 0;
    }
    EXPECT_GE(bodyCells, 2);
    EXPECT_EQ(seen->bounds.size(), 4U);
}

TEST(TableCells, CellsPastTheDescribedColumnsAreNumberedOnAndLeading) {
    // A row of four cells in a table that describes three columns (the parser drops such cells;
    // other producers of attributed text may not).
    const IntentType table = IntentType::table({{PresentationIntent::TableColumnAlignment::right},
                                                {PresentationIntent::TableColumnAlignment::right},
                                                {PresentationIntent::TableColumnAlignment::right}},
                                               1);
    const PresentationIntent tableIntent({table});
    const IntentType header = IntentType::tableHeaderRow(2);
    const IntentType body = IntentType::tableRow(1, 7);
    AttributedString content;
    int identity = 2;
    for (const auto& [row, cells] : std::vector<std::pair<IntentType, std::vector<std::string>>>{
             {header, {"Wide header one", "Wide header two", "Wide header three", "Wide four"}},
             {body, {"a", "b", "c", "d"}}}) {
        ++identity;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            platform::AttributeContainer attributes;
            attributes.set<IntentAttribute>(PresentationIntent(
                {IntentType::tableCell(static_cast<int>(c), identity * 10 + static_cast<int>(c)),
                 row, table}));
            content.append(cells[c], attributes);
        }
    }
    const Table view(table, content[content.fullRange()], table.columns());
    const std::shared_ptr<Seen> seen = render(view);
    ASSERT_EQ(seen->bounds.size(), 8U);
    ASSERT_TRUE(seen->bounds.contains({1, 3}));
    // Columns 0–2 are right-aligned: "c" ends where its header ends. Column 3 has no
    // description, so "d" starts where its header starts.
    EXPECT_NEAR(at(*seen, 1, 2).maxX(), at(*seen, 0, 2).maxX(), 0.01);
    EXPECT_NEAR(at(*seen, 1, 3).minX(), at(*seen, 0, 3).minX(), 0.01);
    EXPECT_LT(at(*seen, 1, 3).maxX(), at(*seen, 0, 3).maxX() - 1);
}

TEST(TableCells, ColumnsAlignTheirCells) {
    const ParsedTable parsed =
        parse("| left column | center column | right column | plain column |\n"
              "|:------------|:-------------:|-------------:|--------------|\n"
              "| a | b | c | d |\n");
    ASSERT_TRUE(parsed.table);
    const std::shared_ptr<Seen> seen = render(*parsed.table);
    ASSERT_EQ(seen->bounds.size(), 8U);
    for (int column = 0; column < 4; ++column) {
        // Every body cell is narrower than its header.
        ASSERT_LT(at(*seen, 1, column).width(), at(*seen, 0, column).width() - 10) << column;
    }
    EXPECT_NEAR(at(*seen, 1, 0).minX(), at(*seen, 0, 0).minX(), 0.01);
    EXPECT_NEAR(at(*seen, 1, 1).midX(), at(*seen, 0, 1).midX(), 0.01);
    EXPECT_NEAR(at(*seen, 1, 2).maxX(), at(*seen, 0, 2).maxX(), 0.01);
    EXPECT_NEAR(at(*seen, 1, 3).minX(), at(*seen, 0, 3).minX(), 0.01);
}

TEST(TableCellSpacing, PublishedSpacingReachesTheGrid) {
    const ParsedTable parsed = parse("| a | b |\n|---|---|\n| c | d |\n| e | f |\n");
    ASSERT_TRUE(parsed.table);

    // Horizontal 3, vertical absent: columns 3 apart, rows the grid's own 8.
    const TableLayout published = layoutOf(*render(*parsed.table, {{3.0, std::nullopt}}));
    ASSERT_EQ(published.columnDividerRects().size(), 1U);
    EXPECT_NEAR(published.columnDividerRects()[0].width(), 3, 1e-9);
    ASSERT_EQ(published.rowDividerRects().size(), 2U);
    for (const Rect& divider : published.rowDividerRects()) {
        EXPECT_NEAR(divider.height(), platform::ui::ViewSpacing::standard, 1e-9);
    }

    // Two publishers: the later one in tree order wins.
    const TableLayout later = layoutOf(*render(*parsed.table, {{2.0, 2.0}, {1.0, 5.0}}));
    ASSERT_EQ(later.columnDividerRects().size(), 1U);
    EXPECT_NEAR(later.columnDividerRects()[0].width(), 1, 1e-9);
    EXPECT_NEAR(later.rowDividerRects()[0].height(), 5, 1e-9);
}

} // namespace

namespace {

// Whether every line of `layout` but the first starts where a line may break: after a space or
// a hyphen, or at a line feed's end.
bool breaksOnlyBetweenWords(const platform::TextLayout& layout) {
    for (const platform::TextLayout::Line& line :
         layout.lines().subspan(std::min<std::size_t>(1, layout.lines().size()))) {
        const std::size_t start = line.characterRange.lowerBound;
        const std::string before = layout.substring({start - 1, start});
        if (before != " " && before != "-" && before != "\n") {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(SqueezedTable, NarrowedColumnsBreakNoWordAndStayWithinTheWidth) {
    // Eight columns whose ideal widths add up to far more than 560 points, with the default
    // styles: the cells wrap between words only, and the table keeps within the width. At 360
    // points even the longest words do not fit side by side: still none is broken, and the
    // table is as wide as they are.
    const ParsedTable parsed = parse(
        "| Stage | From | To | Distance (km) | Ascent (m) | Surface | Typical time | Notes on the "
        "way |\n"
        "|:------|:-----|:---|--------------:|-----------:|:-------:|:------------:|:----------|\n"
        "| 1 | Car park | Old mill | 1.8 | 40 | gravel | 0:30 | Toilets and a water tap |\n"
        "| 2 | Old mill | Ford | 2.1 | 150 | earth | 0:50 | Stepping stones, slippery after "
        "rain |\n");
    ASSERT_TRUE(parsed.table);
    for (const double width : {560.0, 360.0}) {
        auto shown = std::make_shared<platform::ui::Text::LayoutKey::Value>();
        const AnyView root =
            AnyView(*parsed.table)
                .onPreferenceChange<platform::ui::Text::LayoutKey>(
                    [shown](const platform::ui::Text::LayoutKey::Value& value) { *shown = value; });
        OffscreenHost host(root, {width, std::nullopt});
        host.runUntilIdle();
        SCOPED_TRACE(width);
        ASSERT_EQ(shown->size(), 24u);
        bool wrapped = false;
        for (const platform::ui::Text::AnchoredLayout& text : *shown) {
            const platform::TextLayout& layout = text.layout.base();
            EXPECT_TRUE(breaksOnlyBetweenWords(layout)) << layout.string();
            if (width > 500) {
                EXPECT_LE(text.origin.rootValue().x + layout.size().width, width + 0.01)
                    << layout.string();
            }
            wrapped = wrapped || layout.lines().size() > 1;
        }
        EXPECT_TRUE(wrapped);
        if (width > 500) {
            EXPECT_LE(host.size().width, width + 0.01);
        } else {
            EXPECT_GT(host.size().width, width);
        }
    }
}

namespace {

// A table style that publishes whatever spacing it is told to at the time, as a style that
// derives its spacing from the environment would, and counts how often it was asked for a body
// (once per layout the table was given).
class SettableSpacingStyle final : public TableStyle {
public:
    explicit SettableSpacingStyle(TableCellSpacing spacing)
        : spacing_(std::make_shared<TableCellSpacing>(spacing)) {}

    AnyView makeBody(ViewContext& /*context*/,
                     const TableStyleConfiguration& configuration) const override {
        ++*bodies_;
        return configuration.label.content.preference<TableCellSpacingKey>(*spacing_)
            .onPreferenceChange<TableCellBoundsKey>(
                [seen = seen_](const TableCellBoundsKey::Value& bounds) {
                    seen->bounds.clear();
                    for (const auto& [identifier, anchor] : bounds) {
                        seen->bounds[{identifier.row, identifier.column}] = anchor.rootValue();
                    }
                });
    }

    void publish(TableCellSpacing spacing) const { *spacing_ = spacing; }
    // Bodies made since the last call.
    int takeBodies() const { return std::exchange(*bodies_, 0); }
    const Seen& seen() const { return *seen_; }

private:
    std::shared_ptr<TableCellSpacing> spacing_;
    std::shared_ptr<int> bodies_ = std::make_shared<int>(0);
    std::shared_ptr<Seen> seen_ = std::make_shared<Seen>();
};

void showTable(const Table& table, const std::shared_ptr<const TableStyle>& style) {
    OffscreenHost host(
        AnyView(table).environment<TableStyleKey>(style).font(platform::Font::system(15)));
    host.runUntilIdle();
}

} // namespace

TEST(TableCellSpacing, ATableStartsFromTheSpacingItsStyleLastPublished) {
    const ParsedTable parsed = parse("| a | b |\n|---|---|\n| c | d |\n");
    ASSERT_TRUE(parsed.table);
    const auto style = std::make_shared<SettableSpacingStyle>(TableCellSpacing{3.0, 3.0});

    // The first table of a style learns its spacing from the first layout and is laid out
    // again; the next one starts from it and is laid out once.
    showTable(*parsed.table, style);
    EXPECT_EQ(style->takeBodies(), 2);
    showTable(*parsed.table, style);
    EXPECT_EQ(style->takeBodies(), 1);
    EXPECT_NEAR(layoutOf(style->seen()).columnDividerRects().at(0).width(), 3, 1e-9);

    // The spacing started from is only a guess: a table whose style now publishes another
    // ends with that one.
    style->publish({5.0, std::nullopt});
    showTable(*parsed.table, style);
    const TableLayout changed = layoutOf(style->seen());
    EXPECT_NEAR(changed.columnDividerRects().at(0).width(), 5, 1e-9);
    EXPECT_NEAR(changed.rowDividerRects().at(0).height(), platform::ui::ViewSpacing::standard,
                1e-9);
}

namespace {

// A live host showing `table`, whose root can be swapped for another table.
struct LiveTable {
    std::shared_ptr<Seen> seen = std::make_shared<Seen>();
    std::optional<OffscreenHost> host;

    AnyView root(const Table& table) const {
        return AnyView(table)
            .environment<TableStyleKey>(std::make_shared<ProbeTableStyle>(seen))
            .environment<TableCellStyleKey>(std::make_shared<ProbeCellStyle>(seen))
            .font(platform::Font::system(15));
    }
    explicit LiveTable(const Table& table) {
        host.emplace(root(table));
        host->runUntilIdle();
    }
    void show(const Table& table) {
        host->setRootView(root(table));
        host->runUntilIdle();
    }
};

} // namespace

TEST(LiveTable, ANewColumnAlignmentAloneMovesTheCells) {
    // The same cells, only the second column's alignment told otherwise: a layout that took the
    // new table's grid for the old one would keep the cells where they were.
    const ParsedTable parsed = parse("| left column | wide second column |\n"
                                     "|:---|:---|\n"
                                     "| a | b |\n");
    ASSERT_TRUE(parsed.table);
    using Alignment = PresentationIntent::TableColumnAlignment;
    const auto columns = [](Alignment second) {
        return std::vector<Table::TableColumn>{{Alignment::left}, {second}};
    };
    std::optional<platform::AttributedSubstring> content;
    for (const vellum::BlockRuns::BlockRun& run : vellum::BlockRuns(parsed.document)) {
        if (run.intent && run.intent->kind() == PresentationIntent::Kind::table) {
            content = parsed.document[run.range];
            break;
        }
    }
    ASSERT_TRUE(content);
    const Table leading(parsed.intent, *content, columns(Alignment::left));
    const Table trailing(parsed.intent, *content, columns(Alignment::right));
    LiveTable live(leading);
    ASSERT_EQ(live.seen->bounds.size(), 4U);
    EXPECT_NEAR(at(*live.seen, 1, 1).minX(), at(*live.seen, 0, 1).minX(), 0.01);
    live.show(trailing);
    ASSERT_EQ(live.seen->bounds.size(), 4U);
    EXPECT_NEAR(at(*live.seen, 1, 1).maxX(), at(*live.seen, 0, 1).maxX(), 0.01);
    live.show(leading);
    EXPECT_NEAR(at(*live.seen, 1, 1).minX(), at(*live.seen, 0, 1).minX(), 0.01);
}

namespace {

// Cells that measure where they lie themselves, in root coordinates, so that what the table
// reports can be held against it.
class SelfMeasuringCellStyle final : public TableCellStyle {
public:
    explicit SelfMeasuringCellStyle(std::shared_ptr<std::map<std::pair<int, int>, Rect>> frames)
        : frames_(std::move(frames)) {}
    AnyView makeBody(ViewContext& /*context*/,
                     const TableCellStyleConfiguration& configuration) const override {
        const std::pair<int, int> place{configuration.row, configuration.column};
        return configuration.label.content.padding(4).onGeometryChange<Rect>(
            [](const platform::ui::GeometryProxy& proxy) {
                return proxy.frame(platform::ui::CoordinateSpace::global());
            },
            [frames = frames_, place](const Rect& /*old*/, const Rect& now) {
                (*frames)[place] = now;
            });
    }

private:
    std::shared_ptr<std::map<std::pair<int, int>, Rect>> frames_;
};

// A table below a block of `above` points and indented, in `direction`.
struct PlacedTable {
    std::shared_ptr<Seen> seen = std::make_shared<Seen>();
    std::shared_ptr<std::map<std::pair<int, int>, Rect>> measured =
        std::make_shared<std::map<std::pair<int, int>, Rect>>();
    std::optional<OffscreenHost> host;

    AnyView root(const Table& table, double above, platform::ui::LayoutDirection direction) const {
        const AnyView styled =
            AnyView(table)
                .environment<TableStyleKey>(std::make_shared<ProbeTableStyle>(seen))
                .environment<TableCellStyleKey>(std::make_shared<SelfMeasuringCellStyle>(measured))
                .font(platform::Font::system(15));
        return AnyView(
                   platform::ui::VStack(platform::ui::HorizontalAlignment::leading(), 0,
                                        {AnyView(platform::Color::clear()).frame(10, above),
                                         styled.padding(platform::ui::Edges::onlyLeading(), 25)}))
            .environment<platform::ui::LayoutDirectionKey>(direction);
    }
    void
    show(const Table& table, double above,
         platform::ui::LayoutDirection direction = platform::ui::LayoutDirection::leftToRight) {
        if (host) {
            host->setRootView(root(table, above, direction));
        } else {
            host.emplace(root(table, above, direction));
        }
        host->runUntilIdle();
    }
    // Every cell reported exactly where it measured itself.
    void expectReportedWhereMeasured() const {
        ASSERT_EQ(seen->bounds.size(), measured->size());
        for (const auto& [place, frame] : *measured) {
            const Rect reported = at(*seen, place.first, place.second);
            EXPECT_TRUE(reported.equalTo(frame))
                << place.first << ", " << place.second << ": " << reported.minX() << " "
                << reported.minY() << " " << reported.width() << " " << reported.height() << " vs "
                << frame.minX() << " " << frame.minY() << " " << frame.width() << " "
                << frame.height();
        }
    }
};

} // namespace

TEST(TableCellBounds, TheGridReportsWhereItsCellsLieAsTheTableMovesAndMirrors) {
    const ParsedTable parsed = parse("| Head | Longer head |\n"
                                     "|:---|---:|\n"
                                     "| a | b |\n"
                                     "| a wider cell | c |\n");
    ASSERT_TRUE(parsed.table);
    PlacedTable placed;
    placed.show(*parsed.table, 30);
    ASSERT_EQ(placed.measured->size(), 6U);
    placed.expectReportedWhereMeasured();
    EXPECT_NEAR(at(*placed.seen, 0, 0).minX(), 25, 1e-9);
    EXPECT_NEAR(at(*placed.seen, 0, 0).minY(), 30, 1e-9);

    // Moved down by what is above it, the table itself unchanged: the bounds follow.
    placed.show(*parsed.table, 70);
    placed.expectReportedWhereMeasured();
    EXPECT_NEAR(at(*placed.seen, 0, 0).minY(), 70, 1e-9);

    // Right to left, the first column lies to the right of the second.
    placed.show(*parsed.table, 70, platform::ui::LayoutDirection::rightToLeft);
    placed.expectReportedWhereMeasured();
    EXPECT_GT(at(*placed.seen, 0, 0).minX(), at(*placed.seen, 0, 1).maxX());
}

namespace {

// A style that puts a line spacing around all of a table's cells and notes, per cell, the line
// spacing its body was made in; it does not let the table make its bodies.
class SharedSpacingCellStyle final : public TableCellStyle {
public:
    AnyView makeBody(ViewContext& context,
                     const TableCellStyleConfiguration& configuration) const override {
        seen_->push_back(context.environment<platform::ui::LineSpacingKey>());
        return configuration.label.content;
    }
    AnyView makeCells(ViewContext& /*context*/, AnyView cells) const override {
        return cells.lineSpacing(7);
    }
    std::shared_ptr<std::vector<double>> seen_ = std::make_shared<std::vector<double>>();
};

} // namespace

TEST(TableCells, AStyleThatKeepsItsBodiesToTheCellsMakesThemInEachCellsEnvironment) {
    const ParsedTable parsed = parse("| a | b |\n|---|---|\n| c | d |\n");
    ASSERT_TRUE(parsed.table);
    const auto style = std::make_shared<SharedSpacingCellStyle>();
    ASSERT_FALSE(style->makesBodiesInTable());
    OffscreenHost host(AnyView(*parsed.table)
                           .environment<TableStyleKey>(TableStyle::defaultStyle())
                           .environment<TableCellStyleKey>(style));
    host.runUntilIdle();
    // Every cell saw what the style put around them all.
    ASSERT_GE(style->seen_->size(), 4U);
    for (const double spacing : *style->seen_) {
        EXPECT_EQ(spacing, 7);
    }
    // The built-in styles read nothing of it: the table makes their bodies itself.
    EXPECT_TRUE(TableCellStyle::defaultStyle()->makesBodiesInTable());
    EXPECT_TRUE(TableCellStyle::gitHub()->makesBodiesInTable());
}

namespace {

// The default cell style with its padding in every cell's body rather than kept by the grid.
class PaddedInEachCellStyle final : public TableCellStyle {
public:
    AnyView makeBody(ViewContext& context,
                     const TableCellStyleConfiguration& configuration) const override {
        const TableCellPadding padding = style_.cellPadding(context);
        return style_.makeBody(context, configuration)
            .padding(platform::EdgeInsets(padding.vertical, padding.horizontal, padding.vertical,
                                          padding.horizontal));
    }
    AnyView makeCells(ViewContext& context, AnyView cells) const override {
        return style_.makeCells(context, std::move(cells));
    }

private:
    DefaultTableCellStyle style_;
};

struct ShownTable {
    std::map<std::pair<int, int>, Rect> bounds;
    platform::Size size;
};

ShownTable showWith(const Table& table, const std::shared_ptr<const TableCellStyle>& cellStyle,
                    double width, platform::ui::LayoutDirection direction) {
    auto seen = std::make_shared<Seen>();
    OffscreenHost host(AnyView(table)
                           .environment<TableStyleKey>(std::make_shared<ProbeTableStyle>(seen))
                           .environment<TableCellStyleKey>(cellStyle)
                           .font(platform::Font::system(15))
                           .environment<platform::ui::LayoutDirectionKey>(direction),
                       {width, std::nullopt});
    host.runUntilIdle();
    return {seen->bounds, host.size()};
}

} // namespace

TEST(TableCellBounds, PaddingKeptByTheGridPlacesAndReportsCellsAsAPaddingInEachCellWould) {
    const ParsedTable parsed =
        parse("| Name | Description of the value | Unit |\n"
              "|:---|:---:|---:|\n"
              "| width | how wide the column is when nothing narrows it | pt |\n"
              "| a | b | c |\n");
    ASSERT_TRUE(parsed.table);
    const auto grid = std::make_shared<DefaultTableCellStyle>();
    const auto inCells = std::make_shared<PaddedInEachCellStyle>();
    for (const auto direction :
         {platform::ui::LayoutDirection::leftToRight, platform::ui::LayoutDirection::rightToLeft}) {
        // Wide enough, and narrowed so that the long cell wraps.
        for (const double width : {800.0, 220.0}) {
            const ShownTable kept = showWith(*parsed.table, grid, width, direction);
            const ShownTable padded = showWith(*parsed.table, inCells, width, direction);
            ASSERT_EQ(kept.bounds.size(), 9U);
            ASSERT_EQ(padded.bounds.size(), kept.bounds.size());
            EXPECT_NEAR(kept.size.width, padded.size.width, 1e-9) << width;
            EXPECT_NEAR(kept.size.height, padded.size.height, 1e-9) << width;
            for (const auto& [place, frame] : padded.bounds) {
                const Rect other = kept.bounds.at(place);
                EXPECT_NEAR(other.minX(), frame.minX(), 1e-9) << place.first << "," << place.second;
                EXPECT_NEAR(other.minY(), frame.minY(), 1e-9) << place.first << "," << place.second;
                EXPECT_NEAR(other.width(), frame.width(), 1e-9)
                    << place.first << "," << place.second;
                EXPECT_NEAR(other.height(), frame.height(), 1e-9)
                    << place.first << "," << place.second;
            }
        }
    }
}

namespace {

// The levels a document's table and its cells report.
std::shared_ptr<Seen> levelsIn(const std::string& markdown) {
    auto seen = std::make_shared<Seen>();
    OffscreenHost host(AnyView(vellum::StructuredText(markdown))
                           .environment<TableStyleKey>(std::make_shared<ProbeTableStyle>(seen))
                           .environment<TableCellStyleKey>(std::make_shared<ProbeCellStyle>(seen)),
                       {400.0, std::nullopt});
    host.runUntilIdle();
    return seen;
}

} // namespace

TEST(TableLevels, ATableAndItsCellsStandAtTheLevelOfTheBlocksBesideThem) {
    // In a quote: level 0, as the quote's paragraph (quotes do not count).
    const auto quoted = levelsIn("> text\n>\n> | a | b |\n> |---|---|\n> | c | d |\n");
    EXPECT_EQ(quoted->tableIndentation, 0);
    ASSERT_EQ(quoted->cells.size(), 4U);
    for (const TableCellStyleConfiguration& cell : quoted->cells) {
        EXPECT_EQ(cell.indentationLevel, 0) << cell.row << "," << cell.column;
    }
    // In a list inside a quote: the list counts, the quote does not.
    const auto listed = levelsIn("> - item\n>\n>   | a | b |\n>   |---|---|\n>   | c | d |\n");
    EXPECT_EQ(listed->tableIndentation, 1);
    ASSERT_EQ(listed->cells.size(), 4U);
    for (const TableCellStyleConfiguration& cell : listed->cells) {
        EXPECT_EQ(cell.indentationLevel, 1) << cell.row << "," << cell.column;
    }
}
