// Tables drawn by the built-in table styles: the grid lines in the gaps between the measured
// cells, the GitHub stripes behind every second body row, the layout the decoration modifiers hand
// their closures, and the overflow table style's width in both overflow modes. Pixels are read at
// twice the point size, in the middle of each 1-point line or band.

#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/blocks/Table.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/markdown/BlockRuns.hpp"
#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/DefaultTheme.hpp"
#include "Vellum/style/GitHubStyle.hpp"
#include "Vellum/style/GitHubTheme.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "platform/ui/UI.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using platform::Color;
using platform::ColorScheme;
using platform::Image;
using platform::Rect;
using platform::ui::AnyView;
using platform::ui::OffscreenHost;
using platform::ui::ProposedViewSize;
using platform::ui::ViewContext;
using namespace vellum::structured;

Table parseTable(const std::string& markdown) {
    static std::vector<platform::AttributedString> documents;
    documents.push_back(vellum::AttributedStringMarkdownParser::markdown(
                            std::nullopt, vellum::AttributedStringMarkdownParser::PatternOptions{})
                            .attributedString(markdown));
    const platform::AttributedString& document = documents.back();
    const vellum::BlockRuns::BlockRun run = vellum::BlockRuns(document)[0];
    return Table(run.intent, document[run.range], run.intent->columns());
}

const std::string fiveRows = "| Name | Value |\n|------|-------|\n| one | 1 |\n| two | 2 |\n"
                             "| three | 3 |\n| four | 4 |\n";

// A built-in table style that also reports the layout it is drawn with (in its grid's
// coordinates), as a caller's own decoration would see it.
class Reporting final : public TableStyle {
public:
    Reporting(std::shared_ptr<const TableStyle> style, std::shared_ptr<TableLayout> seen,
              std::shared_ptr<Rect> frame = std::make_shared<Rect>())
        : style_(std::move(style))
        , seen_(std::move(seen))
        , frame_(std::move(frame)) {}
    AnyView makeBody(ViewContext& context,
                     const TableStyleConfiguration& configuration) const override {
        EXPECT_EQ(configuration.layout(), TableLayout());
        TableStyleConfiguration reporting = configuration;
        reporting.label = ConfigurationContent(
            vellum::vellum(configuration.label.content)
                .tableOverlay([seen = seen_](const TableLayout& layout) {
                    *seen = layout;
                    return AnyView();
                })
                .onGeometryChange<Rect>(
                    [](const platform::ui::GeometryProxy& proxy) {
                        return proxy.frame(platform::ui::CoordinateSpace::global());
                    },
                    [frame = frame_](const Rect& /*old*/, const Rect& now) { *frame = now; }));
        return style_->makeBody(context, reporting);
    }

private:
    std::shared_ptr<const TableStyle> style_;
    std::shared_ptr<TableLayout> seen_;
    std::shared_ptr<Rect> frame_;
};

struct Drawn {
    Image image;
    TableLayout layout;
};

Drawn draw(const Table& table, std::shared_ptr<const TableStyle> style,
           std::shared_ptr<const TableCellStyle> cellStyle, ColorScheme scheme) {
    auto seen = std::make_shared<TableLayout>();
    platform::ui::EnvironmentValues environment;
    environment.set<platform::ui::ColorSchemeKey>(scheme);
    const AnyView root = AnyView(table)
                             .environment<TableStyleKey>(std::make_shared<Reporting>(style, seen))
                             .environment<TableCellStyleKey>(std::move(cellStyle))
                             .font(platform::Font::system(15));
    OffscreenHost host(root, ProposedViewSize(360, std::nullopt), environment);
    host.runUntilIdle();
    return {host.render(2.0, scheme == ColorScheme::light ? Color::white() : Color::black()),
            *seen};
}

// The pixel in the middle of `rect` (points, in the grid's coordinates; the grid lies 1 point in,
// inside the table's padding).
Image::Pixel middle(const Image& image, Rect rect) {
    return image.pixel(static_cast<int>(std::floor((rect.midX() + 1) * 2)),
                       static_cast<int>(std::floor((rect.midY() + 1) * 2)));
}

Image::Pixel rgb(const vellum::DynamicColor& color, ColorScheme scheme) {
    platform::ui::EnvironmentValues environment;
    environment.set<platform::ui::ColorSchemeKey>(scheme);
    const platform::RGBA resolved = color.resolve(environment).resolve();
    const auto channel = [](double value) {
        return static_cast<std::uint8_t>(std::lround(value * 255));
    };
    return {channel(resolved.red), channel(resolved.green), channel(resolved.blue), 255};
}

TEST(TableDecoration, DefaultStyleDrawsTheInnerGridLinesInBothSchemes) {
    const Table table = parseTable(fiveRows);
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        SCOPED_TRACE(scheme == ColorScheme::light ? "light" : "dark");
        const Drawn drawn =
            draw(table, TableStyle::defaultStyle(), TableCellStyle::defaultStyle(), scheme);
        ASSERT_EQ(drawn.layout.rowCount(), 5);
        ASSERT_EQ(drawn.layout.columnCount(), 2);
        // One point between the cells: four row lines and one column line.
        const auto rows = drawn.layout.rowDividerRects();
        const auto columns = drawn.layout.columnDividerRects();
        ASSERT_EQ(rows.size(), 4U);
        ASSERT_EQ(columns.size(), 1U);
        const Image::Pixel border = rgb(vellum::defaultTableBorder(), scheme);
        for (const Rect& line : rows) {
            EXPECT_EQ(middle(drawn.image, line), border);
        }
        EXPECT_EQ(middle(drawn.image, columns[0]), border);
        // Inside a cell, away from its text, and in the outer margin: no line.
        const Rect cell = drawn.layout.cellBounds(2, 1);
        const Image::Pixel paper = scheme == ColorScheme::light ? Image::Pixel{255, 255, 255, 255}
                                                                : Image::Pixel{0, 0, 0, 255};
        EXPECT_EQ(middle(drawn.image, Rect(cell.maxX() - 2, cell.minY(), 1, 1)), paper);
        EXPECT_EQ(drawn.image.pixel(1, static_cast<int>((rows[0].midY() + 1) * 2)), paper);
    }
}

TEST(TableDecoration, GitHubStripesLieBehindEverySecondBodyRow) {
    const Table table = parseTable(fiveRows);
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        SCOPED_TRACE(scheme == ColorScheme::light ? "light" : "dark");
        const Drawn drawn = draw(table, TableStyle::gitHub(), TableCellStyle::gitHub(), scheme);
        ASSERT_EQ(drawn.layout.rowCount(), 5);
        const Image::Pixel stripe = rgb(vellum::gitHubSecondaryBackground(), scheme);
        const Image::Pixel paper = scheme == ColorScheme::light ? Image::Pixel{255, 255, 255, 255}
                                                                : Image::Pixel{0, 0, 0, 255};
        // Rows 2 and 4 (the second and fourth body rows) are striped, at the trailing end of a
        // cell where there is no text; the header and rows 1 and 3 are not.
        for (int row = 0; row < 5; ++row) {
            const Rect cell = drawn.layout.cellBounds(row, 1);
            EXPECT_EQ(middle(drawn.image, Rect(cell.maxX() - 3, cell.minY(), 1, cell.height())),
                      row == 2 || row == 4 ? stripe : paper)
                << "row " << row;
        }
        // The grid lines and the outline in the border colour.
        const Image::Pixel border = rgb(vellum::gitHubBorder(), scheme);
        EXPECT_EQ(middle(drawn.image, drawn.layout.rowDividerRects()[1]), border);
        EXPECT_EQ(drawn.image.pixel(0, drawn.image.height() / 2), border);
    }
}

TEST(TableDecoration, ATableOfOneCellHasNoGridLine) {
    const Drawn drawn = draw(parseTable("| only |\n|------|\n"), TableStyle::defaultStyle(),
                             TableCellStyle::defaultStyle(), ColorScheme::light);
    EXPECT_EQ(drawn.layout.rowCount(), 1);
    EXPECT_TRUE(drawn.layout.dividerRects().empty());
}

TEST(TableDecoration, WithoutATableTheDecorationGetsNoCells) {
    auto seen = std::make_shared<std::optional<TableLayout>>();
    const AnyView root = vellum::vellum(AnyView(platform::ui::Text("no table")))
                             .tableBackground([seen](const TableLayout& layout) {
                                 *seen = layout;
                                 return AnyView();
                             });
    OffscreenHost host(root);
    host.runUntilIdle();
    ASSERT_TRUE(seen->has_value());
    EXPECT_EQ(**seen, TableLayout());
}

TEST(TableDecoration, OverflowTableIsWiderThanItsContainerOnlyWhenScrolling) {
    const Table table = parseTable("| a | b |\n|---|---|\n| c | d |\n");
    for (const vellum::OverflowMode mode :
         {vellum::OverflowMode::scroll, vellum::OverflowMode::wrap}) {
        auto seen = std::make_shared<TableLayout>();
        auto grid = std::make_shared<Rect>();
        platform::ui::EnvironmentValues environment;
        environment.set<vellum::OverflowModeKey>(mode);
        const AnyView root = AnyView(table)
                                 .environment<TableStyleKey>(std::make_shared<Reporting>(
                                     TableStyle::overflow(1.5), seen, grid))
                                 .font(platform::Font::system(15));
        OffscreenHost host(root, ProposedViewSize(400, std::nullopt), environment);
        host.runUntilIdle();
        EXPECT_EQ(host.size().width, 400);
        EXPECT_LT(seen->bounds().width(), 100);
        EXPECT_EQ(grid->minX(), 1);
        // Scrolled as far as it goes: a table laid out 1.5 × 400 wide (and its 1-point margins)
        // moves by what lies beyond the 400 shown; wrapped, it does not move at all.
        host.scroll({200, 10}, 1000, 0);
        host.runUntilIdle();
        EXPECT_NEAR(grid->minX(), mode == vellum::OverflowMode::scroll ? 1 - (600 + 2 - 400) : 1,
                    1e-9);
    }
}

// Every table shown, in the order first shown, with the layout its decoration is drawn with (in
// its grid's coordinates).
class ReportingEach final : public TableStyle {
public:
    using Layouts = std::vector<std::shared_ptr<TableLayout>>;
    ReportingEach(std::shared_ptr<const TableStyle> style, std::shared_ptr<Layouts> seen)
        : style_(std::move(style))
        , seen_(std::move(seen)) {}
    AnyView makeBody(ViewContext& context,
                     const TableStyleConfiguration& configuration) const override {
        const std::shared_ptr<TableLayout> layout =
            context.stateObject<TableLayout>([seen = seen_] {
                seen->push_back(std::make_shared<TableLayout>());
                return seen->back();
            });
        TableStyleConfiguration reporting = configuration;
        reporting.label = ConfigurationContent(vellum::vellum(configuration.label.content)
                                                   .tableOverlay([layout](const TableLayout& now) {
                                                       *layout = now;
                                                       return AnyView();
                                                   }));
        return style_->makeBody(context, reporting);
    }

private:
    std::shared_ptr<const TableStyle> style_;
    std::shared_ptr<Layouts> seen_;
};

std::vector<TableLayout> documentTableLayouts(const std::string& markdown) {
    auto seen = std::make_shared<ReportingEach::Layouts>();
    const AnyView document =
        vellum::vellum(vellum::vellum(AnyView(vellum::StructuredText(markdown)))
                           .tableStyle(std::make_shared<ReportingEach>(TableStyle::gitHub(), seen)))
            .structuredTextStyle(vellum::StructuredText::GitHubStyle());
    OffscreenHost host(document, ProposedViewSize(800, std::nullopt));
    host.runUntilIdle();
    std::vector<TableLayout> layouts;
    for (const std::shared_ptr<TableLayout>& layout : *seen) {
        layouts.push_back(*layout);
    }
    return layouts;
}

std::string longTable(const std::vector<std::string>& names, int firstLine) {
    std::string table = "| Name | Kind | Line |\n|:-----|:----:|-----:|\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        table += "| `" + names[i] + "` | " + (i < 2 ? "class" : "function") + " | " +
                 std::to_string(firstLine + 3 * static_cast<int>(i)) + " |\n";
    }
    return table;
}

TEST(TableDecoration, EachOfTwoLongTablesIsDrawnWhereItsOwnCellsLie) {
    // Long enough that a table's cells are many children of its grid. Whichever table comes
    // second moves when the first settles its spacing, and must be drawn as it is shown alone.
    const std::string first =
        longTable({"Font", "TextStyle", "Design", "Weight", "ultraLight", "thin", "light",
                   "regular", "medium", "semibold", "bold", "heavy"},
                  20);
    const std::string second = longTable(
        {"GlyphID", "GlyphFace", "fromData", "fromFile", "postScriptName", "familyName",
         "unitsPerEm", "glyphCount", "ascender", "descender", "hasMathTable", "glyphName"},
        20);
    const auto expectSame = [](const TableLayout& shown, const TableLayout& alone) {
        ASSERT_EQ(shown.rowCount(), 13);
        ASSERT_EQ(shown.rowCount(), alone.rowCount());
        ASSERT_EQ(shown.columnCount(), alone.columnCount());
        for (const int row : alone.rowIndices()) {
            EXPECT_NEAR(shown.rows()[row].minY, alone.rows()[row].minY, 1e-6) << "row " << row;
            EXPECT_NEAR(shown.rows()[row].height, alone.rows()[row].height, 1e-6) << "row " << row;
        }
        for (const int column : alone.columnIndices()) {
            EXPECT_NEAR(shown.columns()[column].minX, alone.columns()[column].minX, 1e-6);
            EXPECT_NEAR(shown.columns()[column].width, alone.columns()[column].width, 1e-6);
        }
    };
    for (const auto& [top, bottom] : {std::pair{first, second}, std::pair{second, first}}) {
        SCOPED_TRACE(top == first ? "in the order written" : "swapped");
        const std::vector<TableLayout> alone = documentTableLayouts(bottom);
        const std::vector<TableLayout> both = documentTableLayouts(top + "\n" + bottom);
        ASSERT_EQ(alone.size(), 1U);
        ASSERT_EQ(both.size(), 2U);
        expectSame(both[1], alone[0]);
        expectSame(both[0], documentTableLayouts(top).at(0));
    }
}

} // namespace
