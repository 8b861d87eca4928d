// The two built-in style sets in a live view tree: what each component style does to the font,
// line spacing and colour its content sees, how much room it adds around it and which block
// spacing it asks for, at more than one font size where the unit (em or point) matters.

#include "Vellum/style/BlockSpacing.hpp"
#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/GitHubStyle.hpp"
#include "Vellum/style/GitHubTheme.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/style/StyleSetModifiers.hpp"
#include "platform/ui/UI.hpp"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

using platform::Font;
using platform::Size;
using platform::ui::AnyView;
using platform::ui::EnvironmentValues;
using platform::ui::OffscreenHost;
using platform::ui::ViewContext;
using namespace vellum::structured;
using vellum::HighlighterTheme;

constexpr double labelWidth = 100;
constexpr double labelHeight = 20;
const Font::Weight semibold = Font::Weight::semibold();

// A fixed-size label that records the environment it is shown in.
struct Probe {
    std::shared_ptr<EnvironmentValues> seen;
    AnyView body(ViewContext& context) const {
        *seen = context.environment();
        return AnyView(platform::Color::clear()).frame(labelWidth, labelHeight);
    }
};

// Calls a style's makeBody with the context of the place it is shown in.
struct StyleBody {
    std::function<AnyView(ViewContext&)> make;
    AnyView body(ViewContext& context) const { return make(context); }
};

struct Rendered {
    EnvironmentValues label;
    Size size;
    std::optional<BlockSpacing> spacing;

    [[nodiscard]] std::optional<Font> font() const { return label.font(); }
    [[nodiscard]] double lineSpacing() const { return label.get<platform::ui::LineSpacingKey>(); }
};

Rendered render(const std::function<AnyView(ViewContext&, AnyView label)>& style,
                double fontSize = 17, EnvironmentValues environment = {}) {
    Rendered rendered;
    auto seen = std::make_shared<EnvironmentValues>();
    auto spacing = std::make_shared<std::optional<BlockSpacing>>();
    const AnyView label(Probe{seen});
    const AnyView root =
        AnyView(StyleBody{[style, label](ViewContext& context) { return style(context, label); }})
            .onPreferenceChange<BlockSpacingKey>(
                [spacing](const BlockSpacing& value) { *spacing = value; })
            .font(Font::system(fontSize));
    OffscreenHost host(root, {}, std::move(environment));
    host.runUntilIdle();
    rendered.size = host.size();
    rendered.label = *seen;
    rendered.spacing = *spacing;
    return rendered;
}

std::function<AnyView(ViewContext&, AnyView)> heading(const HeadingStyle& style, int level) {
    return [&style, level](ViewContext& context, AnyView label) {
        HeadingStyleConfiguration configuration;
        configuration.label = ConfigurationContent(std::move(label));
        configuration.headingLevel = level;
        return style.makeBody(context, configuration);
    };
}

template <class S>
std::function<AnyView(ViewContext&, AnyView)> block(S style) {
    return [style](ViewContext& context, AnyView label) {
        BlockStyleConfiguration configuration;
        configuration.label = ConfigurationContent(std::move(label));
        return style.makeBody(context, configuration);
    };
}

template <class S>
std::function<AnyView(ViewContext&, AnyView)> cell(S style, int row) {
    return [style, row](ViewContext& context, AnyView label) {
        TableCellStyleConfiguration configuration;
        configuration.label = ConfigurationContent(std::move(label));
        configuration.row = row;
        configuration.column = 1;
        return style.makeBody(context, configuration);
    };
}

template <class S>
std::function<AnyView(ViewContext&, AnyView)> table(S style) {
    return [style](ViewContext& context, AnyView label) {
        TableStyleConfiguration configuration;
        configuration.label = ConfigurationContent(std::move(label));
        return style.makeBody(context, configuration);
    };
}

template <class S>
std::function<AnyView(ViewContext&, AnyView)>
codeBlock(S style, HighlighterTheme theme = HighlighterTheme::defaultTheme()) {
    return [style, theme](ViewContext& context, AnyView label) {
        const platform::AttributedString code("let x = 1");
        const CodeBlockStyleConfiguration configuration{ConfigurationContent(std::move(label)), 0,
                                                        std::nullopt, CodeBlockProxy{code.slice()},
                                                        theme};
        return style.makeBody(context, configuration);
    };
}

void expectSpacing(const Rendered& rendered, std::optional<double> top,
                   std::optional<double> bottom) {
    ASSERT_TRUE(rendered.spacing.has_value());
    ASSERT_EQ(rendered.spacing->top.has_value(), top.has_value());
    ASSERT_EQ(rendered.spacing->bottom.has_value(), bottom.has_value());
    if (top) {
        EXPECT_NEAR(*rendered.spacing->top, *top, 1e-9);
    }
    if (bottom) {
        EXPECT_NEAR(*rendered.spacing->bottom, *bottom, 1e-9);
    }
}

// ---- Default set ----

TEST(DefaultStyleSet, HeadingsScaleByLevelSemiboldWithEmSpacing) {
    const DefaultHeadingStyle style;
    const double scales[] = {2.353, 1.882, 1.647, 1.412, 1.294, 1.0};
    const double lineSpacings[] = {0.1, 0.25, 0.143, 0.167, 0.182, 0.471};
    for (int level = 1; level <= 6; ++level) {
        SCOPED_TRACE(level);
        const Rendered rendered = render(heading(style, level));
        ASSERT_TRUE(rendered.font());
        EXPECT_NEAR(rendered.font()->pointSize(), 17 * scales[level - 1], 1e-9);
        // The line spacing is measured against the font outside the heading's scale.
        EXPECT_NEAR(rendered.lineSpacing(), 17 * lineSpacings[level - 1], 1e-9);
        expectSpacing(rendered, 27.2, 13.6);
    }
    const Rendered first = render(heading(style, 1));
    EXPECT_EQ(*first.font(), Font::system(17.0).weight(semibold).scaled(2.353));
}

TEST(DefaultStyleSet, HeadingsBeyondSixLookLikeSixAndBelowOneDoNotFail) {
    const DefaultHeadingStyle style;
    const Rendered six = render(heading(style, 6));
    for (const int level : {7, 12}) {
        const Rendered deep = render(heading(style, level));
        EXPECT_EQ(deep.font(), six.font());
        EXPECT_EQ(deep.lineSpacing(), six.lineSpacing());
    }
    EXPECT_NEAR(render(heading(style, 0)).font()->pointSize(), 17 * 2.353, 1e-9);
}

TEST(DefaultStyleSet, ParagraphAsksOnlyForATopSpacing) {
    const Rendered rendered = render(block(DefaultParagraphStyle()), 20);
    EXPECT_NEAR(rendered.lineSpacing(), 0.23 * 20, 1e-9);
    expectSpacing(rendered, 16, std::nullopt);
}

TEST(DefaultStyleSet, BlockQuoteIsPaddedByEmAndPublishesNoSpacing) {
    const Rendered rendered = render(block(*std::dynamic_pointer_cast<const DefaultBlockQuoteStyle>(
                                         BlockQuoteStyle::defaultStyle())),
                                     17);
    EXPECT_NEAR(rendered.lineSpacing(), 0.471 * 17, 1e-9);
    EXPECT_NEAR(rendered.size.height, labelHeight + 2 * 0.941 * 17, 0.5);
    EXPECT_FALSE(rendered.spacing && (rendered.spacing->top || rendered.spacing->bottom));
}

TEST(DefaultStyleSet, CodeBlockIsMonospacedScaledAndFlushBelow) {
    const Rendered rendered = render(codeBlock(DefaultCodeBlockStyle()), 17);
    EXPECT_EQ(*rendered.font(), Font::system(17.0).monospaced().scaled(0.882));
    EXPECT_NEAR(rendered.lineSpacing(), 0.39 * 17 * 0.882, 1e-9);
    EXPECT_NEAR(rendered.size.width, labelWidth + 14, 0.5);
    EXPECT_NEAR(rendered.size.height, labelHeight + 16, 0.5);
    // Zero, present: not "no wish".
    expectSpacing(rendered, 0.88 * 17, 0.0);
}

TEST(DefaultStyleSet, ListItemPutsHalfAnEmBetweenMarkerAndBlock) {
    for (const double size : {12.0, 24.0}) {
        const Rendered rendered = render(
            [](ViewContext& context, AnyView label) {
                ListItemStyleConfiguration configuration;
                configuration.marker =
                    ConfigurationContent(AnyView(platform::Color::clear()).frame(10, 10));
                configuration.block = ConfigurationContent(std::move(label));
                return ListItemStyle::defaultStyle()->makeBody(context, configuration);
            },
            size);
        EXPECT_NEAR(rendered.size.width, 10 + 0.5 * size + labelWidth, 0.5) << size;
    }
}

TEST(DefaultStyleSet, TablesAndCells) {
    const Rendered tableView = render(table(DefaultTableStyle()), 10);
    EXPECT_NEAR(tableView.size.width, labelWidth + 2, 0.5);
    expectSpacing(tableView, 16, 16);
    expectSpacing(render(table(OverflowTableStyle(1.5)), 10), 16, 16);

    const Rendered head = render(cell(DefaultTableCellStyle(), 0), 17);
    const Rendered body = render(cell(DefaultTableCellStyle(), 1), 17);
    EXPECT_EQ(*head.font(), Font::system(17.0).weight(semibold));
    EXPECT_EQ(*body.font(), Font::system(17.0).weight(Font::Weight::regular()));
    EXPECT_NEAR(body.lineSpacing(), 0.471 * 17, 1e-9);
    EXPECT_NEAR(body.size.width, labelWidth + 2 * 0.588 * 17, 0.5);
}

TEST(DefaultStyleSet, ThematicBreakIsALineWithEmSpacing) {
    const Rendered rendered = render(block(DividerThematicBreakStyle()), 10);
    EXPECT_GE(rendered.size.height, 1);
    EXPECT_LT(rendered.size.height, labelHeight);
    expectSpacing(rendered, 16, 16);
}

TEST(DefaultStyleSet, EnvironmentDefaultsAreTheSetsMembers) {
    const EnvironmentValues untouched;
    const auto bullet =
        std::dynamic_pointer_cast<const SymbolListMarker>(untouched.get<UnorderedListMarkerKey>());
    ASSERT_TRUE(bullet);
    EXPECT_EQ(*bullet, DefaultStyle().unorderedListMarker);
    EXPECT_TRUE(
        std::dynamic_pointer_cast<const DecimalListMarker>(untouched.get<OrderedListMarkerKey>()));
    const auto quote = std::dynamic_pointer_cast<const DefaultBlockQuoteStyle>(
        untouched.get<BlockQuoteStyleKey>());
    ASSERT_TRUE(quote);
    EXPECT_EQ(quote->backgroundColor, vellum::defaultQuoteBackground());
    EXPECT_EQ(quote->borderColor, vellum::defaultQuoteBorder());
    EXPECT_TRUE(
        std::dynamic_pointer_cast<const DefaultHeadingStyle>(untouched.get<HeadingStyleKey>()));
    EXPECT_TRUE(std::dynamic_pointer_cast<const DividerThematicBreakStyle>(
        untouched.get<ThematicBreakStyleKey>()));
}

// ---- GitHub set ----

TEST(GitHubStyleSet, HeadingsScaleByLevelWithPointSpacing) {
    const GitHubHeadingStyle style;
    const double scales[] = {2.0, 1.5, 1.25, 1.0, 0.875, 0.85};
    for (int level = 1; level <= 6; ++level) {
        SCOPED_TRACE(level);
        for (const double size : {12.0, 24.0}) {
            const Rendered rendered = render(heading(style, level), size);
            EXPECT_NEAR(rendered.font()->pointSize(), size * scales[level - 1], 1e-9);
            EXPECT_NEAR(rendered.lineSpacing(), 0.125 * size, 1e-9);
            expectSpacing(rendered, 24, 16);
        }
    }
    EXPECT_EQ(*render(heading(style, 3)).font(), Font::system(17.0).weight(semibold).scaled(1.25));
}

TEST(GitHubStyleSet, TopTwoHeadingsHaveARuleAndDeepOnesAreMuted) {
    const GitHubHeadingStyle style;
    // A rule below the title and 0.3 em between them.
    const double withRule = labelHeight + 0.3 * 20 + 1;
    EXPECT_NEAR(render(heading(style, 1), 20).size.height, withRule, 0.5);
    EXPECT_NEAR(render(heading(style, 2), 20).size.height, withRule, 0.5);
    EXPECT_NEAR(render(heading(style, 3), 20).size.height, labelHeight, 0.5);

    const platform::Color muted =
        *vellum::gitHubMutedHeading().resolve(vellum::ColorEnvironmentValues());
    const platform::Color inherited = platform::Color(0.5, 0, 0);
    EnvironmentValues red;
    red.set<platform::ui::ForegroundStyleKey>(inherited);
    EXPECT_EQ(render(heading(style, 5), 17, red).label.get<platform::ui::ForegroundStyleKey>(),
              inherited);
    EXPECT_EQ(render(heading(style, 6), 17, red).label.get<platform::ui::ForegroundStyleKey>(),
              muted);
    // Eight: the level-six scale, muted, no rule.
    const Rendered eight = render(heading(style, 8), 20, red);
    EXPECT_NEAR(eight.font()->pointSize(), 0.85 * 20, 1e-9);
    EXPECT_EQ(eight.label.get<platform::ui::ForegroundStyleKey>(), muted);
    EXPECT_NEAR(eight.size.height, labelHeight, 0.5);
}

TEST(GitHubStyleSet, ParagraphSpacingIsInPointsWhateverTheFont) {
    for (const double size : {12.0, 30.0}) {
        const Rendered rendered = render(block(GitHubParagraphStyle()), size);
        EXPECT_NEAR(rendered.lineSpacing(), 0.25 * size, 1e-9);
        expectSpacing(rendered, 0, 16);
    }
}

TEST(GitHubStyleSet, BlockQuoteHasAnEmBarAndMutedText) {
    const Rendered rendered = render(block(GitHubBlockQuoteStyle()), 20);
    EXPECT_NEAR(rendered.size.width, 0.2 * 20 + 2 * 20 + labelWidth, 0.5);
    EXPECT_EQ(rendered.label.get<platform::ui::ForegroundStyleKey>(),
              *vellum::gitHubQuoteText().resolve(vellum::ColorEnvironmentValues()));
    EXPECT_FALSE(rendered.spacing && (rendered.spacing->top || rendered.spacing->bottom));
}

TEST(GitHubStyleSet, CodeBlockIsMonospacedScaledAndPadded) {
    const Rendered rendered = render(codeBlock(GitHubCodeBlockStyle()), 20);
    EXPECT_EQ(*rendered.font(), Font::system(20.0).monospaced().scaled(0.85));
    EXPECT_NEAR(rendered.lineSpacing(), 0.225 * 20 * 0.85, 1e-9);
    EXPECT_NEAR(rendered.size.width, labelWidth + 32, 0.5);
    EXPECT_NEAR(rendered.size.height, labelHeight + 32, 0.5);
    expectSpacing(rendered, 0, 16);
}

TEST(GitHubStyleSet, TablesCellsAndBreaks) {
    const Rendered tableView = render(table(GitHubTableStyle()), 30);
    EXPECT_NEAR(tableView.size.width, labelWidth + 2, 0.5);
    expectSpacing(tableView, 0, 16);

    const Rendered head = render(cell(GitHubTableCellStyle(), 0), 17);
    EXPECT_EQ(*head.font(), Font::system(17.0).weight(semibold));
    EXPECT_NEAR(head.size.width, labelWidth + 26, 0.5);
    EXPECT_NEAR(head.size.height, labelHeight + 12, 0.5);
    EXPECT_NEAR(head.lineSpacing(), 0.25 * 17, 1e-9);
    EXPECT_EQ(*render(cell(GitHubTableCellStyle(), 2), 17).font(),
              Font::system(17.0).weight(Font::Weight::regular()));

    const Rendered rule = render(block(GitHubThematicBreakStyle()), 20);
    EXPECT_NEAR(rule.size.height, 0.25 * 20, 0.5);
    expectSpacing(rule, 24, 24);
}

TEST(GitHubStyleSet, BulletsChangeShapeWithDepth) {
    const GitHubStyle style;
    const char* names[] = {"circle.fill", "circle", "square.fill", "circle.fill"};
    for (int level = 1; level <= 4; ++level) {
        const SymbolListMarker* marker = style.unorderedListMarker.marker(level);
        ASSERT_TRUE(marker);
        EXPECT_EQ(marker->symbolName, names[level - 1]) << level;
        EXPECT_EQ(marker->scale, 0.33);
        EXPECT_EQ(marker->minWidth, vellum::FontScaled<double>(1.5));
    }
}

} // namespace

namespace {

using platform::Rect;

// Rows and columns of a table whose cells are 1 pt apart, as the table layout reports them.
std::vector<Rect> tracks(int count, bool rows) {
    std::vector<Rect> result;
    for (int i = 0; i < count; ++i) {
        const double start = i * 21.0;
        result.push_back(rows ? Rect(0, start, 61, 20) : Rect(start, 0, 20, 83));
    }
    return result;
}

TEST(TableDecoration, GridLinesFillOnlyTheInnerGaps) {
    const Rect bounds(0, 0, 62, 83);
    const std::vector<Rect> gaps = tableGridGaps(tracks(4, true), tracks(3, false), bounds);
    ASSERT_EQ(gaps.size(), 3u + 2u);
    EXPECT_EQ(gaps[0], Rect(0, 20, 62, 1));
    EXPECT_EQ(gaps[2], Rect(0, 62, 62, 1));
    EXPECT_EQ(gaps[3], Rect(20, 0, 1, 83));
    // One cell: no neighbours, no lines; touching rows leave no gap to fill.
    EXPECT_TRUE(tableGridGaps(tracks(1, true), tracks(1, false), bounds).empty());
    const std::vector<Rect> touching{Rect(0, 0, 10, 10), Rect(0, 10, 10, 10)};
    EXPECT_TRUE(tableGridGaps(touching, {}, bounds).empty());
}

TEST(TableDecoration, GitHubStripesEverySecondBodyRow) {
    // A head row and four body rows: the second and fourth body rows.
    const std::vector<Rect> stripes = gitHubTableStripes(tracks(5, true), tracks(2, false));
    ASSERT_EQ(stripes.size(), 2u);
    EXPECT_EQ(stripes[0], Rect(0, 42, 41, 20));
    EXPECT_EQ(stripes[1], Rect(0, 84, 41, 20));
    EXPECT_TRUE(gitHubTableStripes(tracks(2, true), tracks(2, false)).empty());
    EXPECT_TRUE(gitHubTableStripes(tracks(5, true), {}).empty());
    // Rounded outwards to whole points.
    const std::vector<Rect> rows{Rect(0, 0, 9, 9), Rect(0, 9, 9, 9), Rect(0, 18.4, 9, 9.2)};
    const std::vector<Rect> columns{Rect(0.5, 0, 8.2, 27)};
    EXPECT_EQ(gitHubTableStripes(rows, columns).at(0), Rect(0, 18, 9, 10));
}

} // namespace

namespace {

// A cell as its table shows it: what all cells share put around a view of the cell's own, whose
// configuration says so, and the padding the table keeps; both in a bold font, which a cell's own
// weight overrides.
template <class S>
std::function<AnyView(ViewContext&, AnyView)> cellInTable(S style, int row, bool shared) {
    return [style, row, shared](ViewContext& /*context*/, AnyView label) {
        const AnyView own(StyleBody{[style, row, shared, label](ViewContext& context) {
            TableCellStyleConfiguration configuration;
            configuration.label = ConfigurationContent(label);
            configuration.row = row;
            configuration.column = 1;
            configuration.sharedByTable = shared;
            return style.makeBody(context, configuration);
        }});
        // Shared, the table keeps the padding around the cell.
        const AnyView cells = shared ? AnyView(StyleBody{[style, own](ViewContext& context) {
            const TableCellPadding padding = style.cellPadding(context);
            return style.makeCells(
                context, own.padding(platform::EdgeInsets(padding.vertical, padding.horizontal,
                                                          padding.vertical, padding.horizontal)));
        }})
                                     : own;
        return styleset::fontWeight(cells, Font::Weight::bold());
    };
}

template <class S>
void expectTheSameCellInATable(const S& style) {
    for (const int row : {0, 1, 2}) {
        for (const double size : {10.0, 17.0}) {
            const Rendered alone = render(cellInTable(style, row, false), size);
            const Rendered shared = render(cellInTable(style, row, true), size);
            ASSERT_TRUE(alone.font() && shared.font());
            EXPECT_EQ(*shared.font(), *alone.font()) << row << " " << size;
            EXPECT_EQ(*shared.font(), Font::system(size)
                                          .weight(Font::Weight::bold())
                                          .weight(row == 0 ? semibold : Font::Weight::regular()))
                << row << " " << size;
            EXPECT_NEAR(shared.lineSpacing(), alone.lineSpacing(), 1e-9) << row << " " << size;
            EXPECT_NEAR(shared.size.width, alone.size.width, 1e-9) << row << " " << size;
            EXPECT_NEAR(shared.size.height, alone.size.height, 1e-9) << row << " " << size;
        }
    }
}

} // namespace

TEST(TableCellStyles, ACellLooksTheSameWhetherItsTableSetsWhatAllCellsShareOrItselfDoes) {
    expectTheSameCellInATable(DefaultTableCellStyle());
    expectTheSameCellInATable(GitHubTableCellStyle());
}
