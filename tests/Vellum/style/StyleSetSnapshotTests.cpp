// Every component style of both sets on one sample page, drawn in light and dark and with
// increased contrast, against PNG snapshots. Regenerate them after an intended change with
//
//     MOSS_UPDATE_SNAPSHOTS=1 build/<dir>/tests/Vellum/vellum_tests
//     --gtest_filter='StyleSetSnapshot*'
//
// run from the repository root, and look at every image before committing it.

#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/GitHubStyle.hpp"
#include "Vellum/style/Ordinal.hpp"
#include "platform/ui/UI.hpp"
#include "tests/support/PixelSnapshot.hpp"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using platform::ColorScheme;
using platform::ColorSchemeContrast;
using platform::Font;
using platform::ui::AnyView;
using platform::ui::Text;
using platform::ui::ViewContext;
using namespace vellum::structured;

constexpr double pageWidth = 420;

// Shows what a style builds in the context it is placed in, as the resolved style views do.
struct Styled {
    std::function<AnyView(ViewContext&)> make;
    AnyView body(ViewContext& context) const { return make(context); }
};

template <class S, class C>
AnyView styled(std::shared_ptr<const S> style, C configuration) {
    return Styled{[style, configuration](ViewContext& context) {
        return style->makeBody(context, configuration);
    }};
}

AnyView text(const std::string& string) {
    return AnyView(Text(string));
}

struct Set {
    std::shared_ptr<const HeadingStyle> heading;
    std::shared_ptr<const ParagraphStyle> paragraph;
    std::shared_ptr<const BlockQuoteStyle> quote;
    std::shared_ptr<const CodeBlockStyle> code;
    std::shared_ptr<const ListItemStyle> item;
    std::shared_ptr<const UnorderedListMarker> bullet;
    std::shared_ptr<const OrderedListMarker> number;
    std::shared_ptr<const TableStyle> table;
    std::shared_ptr<const TableCellStyle> cell;
    std::shared_ptr<const ThematicBreakStyle> rule;
};

template <class S>
Set members(const S& style) {
    return {std::make_shared<decltype(style.headingStyle)>(style.headingStyle),
            std::make_shared<decltype(style.paragraphStyle)>(style.paragraphStyle),
            std::make_shared<decltype(style.blockQuoteStyle)>(style.blockQuoteStyle),
            std::make_shared<decltype(style.codeBlockStyle)>(style.codeBlockStyle),
            std::make_shared<decltype(style.listItemStyle)>(style.listItemStyle),
            std::make_shared<decltype(style.unorderedListMarker)>(style.unorderedListMarker),
            std::make_shared<decltype(style.orderedListMarker)>(style.orderedListMarker),
            std::make_shared<decltype(style.tableStyle)>(style.tableStyle),
            std::make_shared<decltype(style.tableCellStyle)>(style.tableCellStyle),
            std::make_shared<decltype(style.thematicBreakStyle)>(style.thematicBreakStyle)};
}

AnyView page(const Set& set) {
    std::vector<AnyView> blocks;
    const auto heading = [&](int level, const std::string& title) {
        blocks.push_back(styled(
            set.heading, HeadingStyleConfiguration{ConfigurationContent(text(title)), 0, level}));
    };
    const auto paragraph = [&](const std::string& body) {
        return styled(set.paragraph, BlockStyleConfiguration{ConfigurationContent(text(body)), 0});
    };
    heading(1, "Field notes");
    heading(2, "The marsh at dawn");
    heading(3, "Birds seen");
    heading(6, "Level six");
    blocks.push_back(paragraph("Mist lay on the water until eight; the reeds were still wet and "
                               "the path along the dyke was soft underfoot."));
    blocks.push_back(
        styled(set.quote,
               BlockStyleConfiguration{
                   ConfigurationContent(paragraph("A bittern boomed twice, then nothing.")), 1}));
    const platform::AttributedString code("count = sum(tally.values())\nprint(count)");
    blocks.push_back(styled(
        set.code, CodeBlockStyleConfiguration{
                      ConfigurationContent(text("count = sum(tally.values())\nprint(count)")), 0,
                      std::string("python"), CodeBlockProxy{code.slice()},
                      vellum::HighlighterTheme::defaultTheme()}));
    for (const int level : {1, 2, 3}) {
        const AnyView marker = styled(set.bullet, UnorderedListMarkerConfiguration{level});
        blocks.push_back(AnyView(styled(set.item,
                                        ListItemStyleConfiguration{
                                            ConfigurationContent(marker),
                                            ConfigurationContent(
                                                text("Bullet at level " + std::to_string(level))),
                                            level}))
                             .padding(platform::ui::Edges::onlyLeading(), 24.0 * (level - 1)));
    }
    for (const int ordinal : {1, 9, 10}) {
        const AnyView marker = styled(set.number, OrderedListMarkerConfiguration{1, ordinal});
        blocks.push_back(styled(
            set.item, ListItemStyleConfiguration{ConfigurationContent(marker),
                                                 ConfigurationContent(text("Numbered item")), 1}));
    }
    std::vector<AnyView> rows;
    const std::vector<std::vector<std::string>> cells{
        {"Bird", "Count"}, {"Heron", "3"}, {"Teal", "14"}, {"Snipe", "2"}};
    for (std::size_t row = 0; row < cells.size(); ++row) {
        std::vector<AnyView> line;
        for (std::size_t column = 0; column < cells[row].size(); ++column) {
            line.push_back(styled(set.cell, TableCellStyleConfiguration{
                                                ConfigurationContent(text(cells[row][column])), 0,
                                                static_cast<int>(row), static_cast<int>(column)}));
        }
        rows.emplace_back(platform::ui::GridRow(std::move(line)));
    }
    blocks.push_back(styled(
        set.table,
        TableStyleConfiguration{ConfigurationContent(platform::ui::Grid(
                                    platform::ui::Alignment::leading(), 1, 1, std::move(rows))),
                                0}));
    blocks.push_back(styled(set.rule, BlockStyleConfiguration{ConfigurationContent(AnyView()), 0}));
    blocks.push_back(paragraph("After the rule."));
    return AnyView(platform::ui::VStack(platform::ui::HorizontalAlignment::leading(), 10,
                                        std::move(blocks)))
        .padding(16)
        .frame(pageWidth, std::nullopt, platform::ui::Alignment::topLeading())
        .font(Font::system(15.0));
}

void expectPage(const std::string& name, const Set& set) {
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        for (const ColorSchemeContrast contrast :
             {ColorSchemeContrast::standard, ColorSchemeContrast::increased}) {
            platform::ui::EnvironmentValues environment;
            environment.set<platform::ui::ColorSchemeKey>(scheme);
            environment.set<platform::ui::ColorSchemeContrastKey>(contrast);
            platform::ui::OffscreenHost host(page(set), {}, environment);
            host.runUntilIdle();
            const platform::Color paper = scheme == ColorScheme::light
                                              ? platform::Color::white()
                                              : platform::Color(0.11, 0.11, 0.12);
            const std::string file =
                "tests/fixtures/vellum-styles/" + name +
                (scheme == ColorScheme::light ? "-light" : "-dark") +
                (contrast == ColorSchemeContrast::increased ? "-contrast" : "") + ".png";
            moss_test::expectSnapshot(host.render(1.0, paper), file, 64, 0.003);
        }
    }
}

TEST(StyleSetSnapshot, DefaultSet) {
    expectPage("default", members(DefaultStyle()));
}

TEST(StyleSetSnapshot, GitHubSet) {
    expectPage("github", members(GitHubStyle()));
}

} // namespace
