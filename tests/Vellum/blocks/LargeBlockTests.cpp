// One large block in a document shown in a window: a list of a hundred thousand items, a table of
// a hundred thousand rows. The first screen shows while most items and rows are still estimated
// (counted by the styles that make them, not timed), looks as a whole layout would, and selection
// and copy still reach the items not yet laid out.

#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "platform/ui/UI.hpp"
#include "tests/Vellum/selection/DocumentTestSupport.hpp"

#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>

namespace {

namespace ui = platform::ui;
using ui::AnyView;
using ui::ViewContext;
using namespace vellum::structured;

// What the counting styles saw: how many paragraphs and markers were made, and where each
// marker's text ends, by ordinal.
struct Made {
    int paragraphs = 0;
    std::map<int, double> markerTrailing;
};

struct CountingParagraph final : ParagraphStyle {
    std::shared_ptr<Made> made;
    explicit CountingParagraph(std::shared_ptr<Made> m)
        : made(std::move(m)) {}
    AnyView makeBody(ViewContext&, const BlockStyleConfiguration& c) const override {
        ++made->paragraphs;
        return c.label.content;
    }
};

struct TrailingMarker final : OrderedListMarker {
    std::shared_ptr<Made> made;
    explicit TrailingMarker(std::shared_ptr<Made> m)
        : made(std::move(m)) {}
    AnyView makeBody(ViewContext&, const OrderedListMarkerConfiguration& c) const override {
        return AnyView(ui::Text(std::to_string(c.ordinal) + "."))
            .onGeometryChange<double>(
                [](const ui::GeometryProxy& p) {
                    return p.frame(ui::CoordinateSpace::global()).maxX();
                },
                [made = made, ordinal = c.ordinal](const double&, const double& x) {
                    made->markerTrailing[ordinal] = x;
                });
    }
};

// `markdown` 600 points wide in a window of 600 × 400 at its top.
std::shared_ptr<Made> firstScreenOf(const std::string& markdown) {
    auto made = std::make_shared<Made>();
    AnyView view = vellum::vellum(AnyView(vellum::StructuredText(markdown)))
                       .paragraphStyle(std::make_shared<CountingParagraph>(made));
    view = vellum::vellum(view).orderedListMarker(std::make_shared<TrailingMarker>(made));
    ui::OffscreenHost host(view, {600.0, std::nullopt});
    host.setVisibleRect(platform::Rect(0, 0, 600, 400));
    host.runUntilIdle(std::chrono::milliseconds(120000));
    return made;
}

std::string numberedList(int count) {
    std::string markdown;
    for (int i = 1; i <= count; ++i) {
        markdown += std::to_string(i) + ". item " + std::to_string(i) + "\n";
    }
    return markdown;
}

TEST(LargeBlocks, AHundredThousandItemListShowsWithMostItemsEstimated) {
    std::string bullets;
    for (int i = 0; i < 100000; ++i) {
        bullets += "- item " + std::to_string(i) + "\n";
    }
    const auto bulleted = firstScreenOf(bullets);
    EXPECT_GT(bulleted->paragraphs, 10);
    EXPECT_LT(bulleted->paragraphs, 1000) << "items laid out for the first screen";

    const auto numbered = firstScreenOf(numberedList(100000));
    EXPECT_GT(numbered->paragraphs, 10);
    EXPECT_LT(numbered->paragraphs, 1000);
    // The markers shown already take the width of the last one, as in a list laid out whole:
    // they end where "100000." ends.
    const auto alone = firstScreenOf("100000. item\n");
    ASSERT_TRUE(numbered->markerTrailing.count(1) && alone->markerTrailing.count(100000));
    EXPECT_DOUBLE_EQ(numbered->markerTrailing[1], alone->markerTrailing[100000]);
    EXPECT_DOUBLE_EQ(numbered->markerTrailing[1], numbered->markerTrailing[2]);
}

TEST(LargeBlocks, SelectAllOfALongListCopiesItemsNotYetLaidOut) {
    std::string markdown = "First words :smile: here.\n\n";
    for (int n = 0; n < 400; ++n) {
        markdown += "- Item " + std::to_string(n) + " of a long list\n";
    }
    markdown += "\nThe very last block.\n";
    vellum::test::SelectableDocument document(markdown, platform::Rect(0, 0, 560, 400));
    ASSERT_TRUE(document.shown());
    // Laid out lazily: the items far down have not been yet.
    ASSERT_LT(document.collection().layoutCount(), 200U);
    ASSERT_FALSE(document.textHolding("Item 300 of"));

    document.drag(document.at("First"), document.at("words"));
    document.command("a");
    document.command("c");
    const std::string plain = document.copied().plainText;
    EXPECT_NE(plain.find("Item 300 of a long list"), std::string::npos);
    EXPECT_NE(plain.find("Item 399 of a long list"), std::string::npos);
    EXPECT_TRUE(plain.ends_with("The very last block."))
        << plain.substr(plain.size() > 80 ? plain.size() - 80 : 0);
}

} // namespace
