// Resolving styles the way the block views do: every component style of a set applied to 1,000
// configurations (bodies evaluated and laid out, with labels that cost nothing to lay out, so the
// styles' own modifier chains are what is measured), and the text of 1,000 list numbers.

#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/GitHubStyle.hpp"
#include "Vellum/style/Ordinal.hpp"
#include "platform/ui/UI.hpp"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace {

using platform::ui::AnyView;
using platform::ui::ViewContext;
using namespace vellum::structured;

constexpr int configurations = 1000;

struct Styled {
    std::function<AnyView(ViewContext&)> make;
    AnyView body(ViewContext& context) const { return make(context); }
};

template <class P, class C>
AnyView styled(P style, C configuration) {
    return Styled{[style, configuration](ViewContext& context) {
        return style->makeBody(context, configuration);
    }};
}

AnyView label() {
    return AnyView(platform::Color::clear()).frame(120, 16);
}

template <class Set>
AnyView everyComponent(const Set& set) {
    const auto heading = std::make_shared<decltype(set.headingStyle)>(set.headingStyle);
    const auto paragraph = std::make_shared<decltype(set.paragraphStyle)>(set.paragraphStyle);
    const auto quote = std::make_shared<decltype(set.blockQuoteStyle)>(set.blockQuoteStyle);
    const auto code = std::make_shared<decltype(set.codeBlockStyle)>(set.codeBlockStyle);
    const auto item = std::make_shared<decltype(set.listItemStyle)>(set.listItemStyle);
    const auto bullet =
        std::make_shared<decltype(set.unorderedListMarker)>(set.unorderedListMarker);
    const auto number = std::make_shared<decltype(set.orderedListMarker)>(set.orderedListMarker);
    const auto table = std::make_shared<decltype(set.tableStyle)>(set.tableStyle);
    const auto cell = std::make_shared<decltype(set.tableCellStyle)>(set.tableCellStyle);
    const auto rule = std::make_shared<decltype(set.thematicBreakStyle)>(set.thematicBreakStyle);
    const platform::AttributedString source("x");

    std::vector<AnyView> blocks;
    blocks.reserve(configurations * 10);
    for (int n = 0; n < configurations; ++n) {
        const ConfigurationContent content(label());
        blocks.push_back(styled(heading, HeadingStyleConfiguration{content, 0, n % 8 + 1}));
        blocks.push_back(styled(paragraph, BlockStyleConfiguration{content, 0}));
        blocks.push_back(styled(quote, BlockStyleConfiguration{content, 1}));
        blocks.push_back(styled(code, CodeBlockStyleConfiguration{
                                          content, 0, std::nullopt, CodeBlockProxy{source.slice()},
                                          vellum::HighlighterTheme::defaultTheme()}));
        blocks.push_back(styled(item, ListItemStyleConfiguration{
                                          ConfigurationContent(styled(
                                              bullet, UnorderedListMarkerConfiguration{n % 4 + 1})),
                                          content, n % 4 + 1}));
        blocks.push_back(styled(
            item, ListItemStyleConfiguration{ConfigurationContent(styled(
                                                 number, OrderedListMarkerConfiguration{1, n + 1})),
                                             content, 1}));
        blocks.push_back(
            styled(table, TableStyleConfiguration{
                              ConfigurationContent(styled(
                                  cell, TableCellStyleConfiguration{content, 0, n % 3, n % 2})),
                              0}));
        blocks.push_back(styled(rule, BlockStyleConfiguration{content, 0}));
    }
    return platform::ui::VStack(platform::ui::HorizontalAlignment::leading(), 0, std::move(blocks))
        .font(platform::Font::system(15.0));
}

template <class Set>
void resolveEveryComponent(benchmark::State& state) {
    const Set set;
    for (auto _ : state) {
        platform::ui::OffscreenHost host(everyComponent(set), {480, std::nullopt});
        benchmark::DoNotOptimize(host.size());
    }
    state.SetItemsProcessed(state.iterations() * configurations);
}

void BM_DefaultSetEveryComponent(benchmark::State& state) {
    resolveEveryComponent<DefaultStyle>(state);
}
BENCHMARK(BM_DefaultSetEveryComponent)->Unit(benchmark::kMillisecond);

void BM_GitHubSetEveryComponent(benchmark::State& state) {
    resolveEveryComponent<GitHubStyle>(state);
}
BENCHMARK(BM_GitHubSetEveryComponent)->Unit(benchmark::kMillisecond);

// The text of 1,000 ordered-list markers in each numbering system.
void BM_OrdinalText(benchmark::State& state) {
    for (auto _ : state) {
        for (std::int64_t n = 1; n <= configurations; ++n) {
            benchmark::DoNotOptimize(vellum::decimalOrdinal(n));
            benchmark::DoNotOptimize(vellum::upperRomanOrdinal(n));
            benchmark::DoNotOptimize(vellum::lowerRomanOrdinal(n));
            benchmark::DoNotOptimize(vellum::lowerAlphaOrdinal(n));
        }
    }
    state.SetItemsProcessed(state.iterations() * configurations);
}
BENCHMARK(BM_OrdinalText);

} // namespace

BENCHMARK_MAIN();
