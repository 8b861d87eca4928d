// The eleven style values of the environment: what an untouched environment holds (the default
// style set), that a written value reaches the reader, and that a mistaken empty style never does.

#include "Vellum/style/DecimalListMarker.hpp"
#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/GitHubStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/style/SymbolListMarker.hpp"

#include <gtest/gtest.h>

namespace {

using platform::ui::EnvironmentValues;
using vellum::FontScaled;
using vellum::InlineStyle;
namespace st = vellum::structured;

template <class Concrete, class Any>
const Concrete* as(const Any& style) {
    return dynamic_cast<const Concrete*>(style.get());
}

TEST(StyleEnvironmentTest, UntouchedEnvironmentHoldsTheDefaultSet) {
    const EnvironmentValues environment;
    EXPECT_EQ(st::inlineStyle(environment), InlineStyle::defaultStyle());
    EXPECT_NE(as<st::DefaultHeadingStyle>(st::headingStyle(environment)), nullptr);
    EXPECT_NE(as<st::DefaultParagraphStyle>(st::paragraphStyle(environment)), nullptr);
    EXPECT_NE(as<st::DefaultBlockQuoteStyle>(st::blockQuoteStyle(environment)), nullptr);
    EXPECT_NE(as<st::DefaultCodeBlockStyle>(st::codeBlockStyle(environment)), nullptr);
    EXPECT_NE(as<st::DefaultTableStyle>(st::tableStyle(environment)), nullptr);
    EXPECT_NE(as<st::DefaultTableCellStyle>(st::tableCellStyle(environment)), nullptr);
    EXPECT_NE(as<st::DividerThematicBreakStyle>(st::thematicBreakStyle(environment)), nullptr);

    const auto* item = as<st::DefaultListItemStyle>(st::listItemStyle(environment));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->markerSpacing, FontScaled<double>(0.5));

    // A filled circle, not a dash.
    const auto* bullet = as<st::SymbolListMarker>(st::unorderedListMarker(environment));
    ASSERT_NE(bullet, nullptr);
    EXPECT_EQ(*bullet, st::SymbolListMarker("circle.fill", 0.33, FontScaled<double>(1.5)));

    const auto* number = as<st::DecimalListMarker>(st::orderedListMarker(environment));
    ASSERT_NE(number, nullptr);
    EXPECT_EQ(number->minWidth, FontScaled<double>(1.5));

    // One default value per process, so untouched environments compare equal.
    EXPECT_EQ(st::headingStyle(environment), st::headingStyle(EnvironmentValues()));
}

TEST(StyleEnvironmentTest, WrittenValuesReachTheReader) {
    EnvironmentValues environment;
    st::setInlineStyle(environment, InlineStyle::gitHub());
    st::setHeadingStyle(environment, st::HeadingStyle::gitHub());
    st::setThematicBreakStyle(environment, st::ThematicBreakStyle::gitHub());
    st::setUnorderedListMarker(environment, st::UnorderedListMarker::dash());
    st::setOrderedListMarker(environment, st::OrderedListMarker::upperRoman());
    st::setTableStyle(environment, st::TableStyle::overflow(2));

    EXPECT_EQ(st::inlineStyle(environment), InlineStyle::gitHub());
    EXPECT_NE(as<st::GitHubHeadingStyle>(st::headingStyle(environment)), nullptr);
    EXPECT_NE(as<st::GitHubThematicBreakStyle>(st::thematicBreakStyle(environment)), nullptr);
    EXPECT_EQ(as<st::SymbolListMarker>(st::unorderedListMarker(environment)), nullptr);
    EXPECT_EQ(as<st::DecimalListMarker>(st::orderedListMarker(environment)), nullptr);
    const auto* overflow = as<st::OverflowTableStyle>(st::tableStyle(environment));
    ASSERT_NE(overflow, nullptr);
    EXPECT_EQ(overflow->relativeWidth, 2);
    // The others keep their defaults.
    EXPECT_NE(as<st::DefaultParagraphStyle>(st::paragraphStyle(environment)), nullptr);
}

TEST(StyleEnvironmentTest, AnEmptyStyleReadsAsTheDefault) {
    EnvironmentValues environment;
    st::setHeadingStyle(environment, nullptr);
    st::setListItemStyle(environment, nullptr);
    st::setUnorderedListMarker(environment, nullptr);
    EXPECT_NE(as<st::DefaultHeadingStyle>(st::headingStyle(environment)), nullptr);
    EXPECT_NE(as<st::DefaultListItemStyle>(st::listItemStyle(environment)), nullptr);
    EXPECT_NE(as<st::SymbolListMarker>(st::unorderedListMarker(environment)), nullptr);
}

} // namespace
