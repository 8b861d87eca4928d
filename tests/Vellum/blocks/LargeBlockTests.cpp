// One large block in a document shown in a window: a list of a hundred thousand items, a table of
// a hundred thousand rows. The first screen shows while most items and rows are still estimated
// (counted by the styles that make them, not timed), looks as a whole layout would, and selection
// and copy still reach the items not yet laid out.

#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/style/TableLayout.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "platform/ui/UI.hpp"
#include "tests/Vellum/selection/DocumentTestSupport.hpp"

#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

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

TEST(LargeBlocks, SelectAllOfALongTableCopiesRowsNotYetLaidOutOnce) {
    std::string markdown = "First words :smile: here.\n\n| key | value |\n|---|---|\n";
    for (int n = 0; n < 400; ++n) {
        markdown += "| row" + std::to_string(n) + " | value " + std::to_string(n) + " |\n";
    }
    markdown += "\nThe very last block.\n";
    vellum::test::SelectableDocument document(markdown, platform::Rect(0, 0, 560, 400));
    ASSERT_TRUE(document.shown());
    ASSERT_FALSE(document.textHolding("row300"));

    document.drag(document.at("First"), document.at("words"));
    document.command("a");
    document.command("c");
    const std::string plain = document.copied().plainText;
    EXPECT_TRUE(plain.ends_with("The very last block."))
        << plain.substr(plain.size() > 80 ? plain.size() - 80 : 0);
    // Every row once: those sampled for the columns' widths are not the document's text again.
    for (const std::string row : {"\nrow5,", "\nrow300,", "\nrow399,"}) {
        const std::size_t at = plain.find(row);
        EXPECT_NE(at, std::string::npos) << row;
        EXPECT_EQ(plain.find(row, at + 1), std::string::npos) << row;
    }
}

// Counts the cells made; each cell as its label.
struct CountingCell final : TableCellStyle {
    std::shared_ptr<int> made = std::make_shared<int>(0);
    AnyView makeBody(ViewContext&, const TableCellStyleConfiguration& c) const override {
        ++*made;
        return c.label.content;
    }
};

// Shows the grid as it is and keeps the table layout of the cells' reported bounds.
struct RecordingTable final : TableStyle {
    std::shared_ptr<TableLayout> layout = std::make_shared<TableLayout>();
    std::shared_ptr<std::unordered_map<TableCellIdentifier, platform::Rect>> cells =
        std::make_shared<std::unordered_map<TableCellIdentifier, platform::Rect>>();
    AnyView makeBody(ViewContext&, const TableStyleConfiguration& c) const override {
        return c.label.content.onPreferenceChange<TableCellBoundsKey>(
            [layout = layout, cells = cells](const TableCellBoundsKey::Value& bounds) {
                cells->clear();
                for (const auto& entry : bounds) {
                    (*cells)[entry.identifier] = entry.anchor.rootValue();
                }
                *layout = TableLayout::makeTableLayout(*cells);
            });
    }
};

TEST(LargeBlocks, AHundredThousandRowTableShowsWithMostRowsEstimated) {
    std::string markdown = "| n | word |\n|---|---|\n";
    for (int i = 0; i < 100000; ++i) {
        markdown += "| " + std::to_string(i) + " | w |\n";
    }
    const auto cells = std::make_shared<CountingCell>();
    const auto table = std::make_shared<RecordingTable>();
    ui::OffscreenHost host(AnyView(vellum::StructuredText(markdown))
                               .environment<TableStyleKey>(table)
                               .environment<TableCellStyleKey>(cells),
                           {600.0, std::nullopt});
    host.setVisibleRect(platform::Rect(0, 0, 600, 400));
    host.runUntilIdle(std::chrono::milliseconds(120000));
    EXPECT_GT(*cells->made, 20);
    EXPECT_LT(*cells->made, 2000) << "cells made for the first screen";
    const TableLayout top = *table->layout;
    ASSERT_GE(top.rowCount(), 10);
    ASSERT_EQ(top.columnCount(), 2);
    // The columns are wide enough for the numbers far below, as laid out whole.
    EXPECT_GT(top.columnBounds(0).width(), top.columnBounds(1).width());

    // Far down: the rows there are laid out, in the same columns, and reported (counted from
    // the run in view, as a table layout counts them) so that a style draws their rules.
    host.setVisibleRect(platform::Rect(0, 1000000, 600, 400));
    host.runUntilIdle(std::chrono::milliseconds(120000));
    EXPECT_LT(*cells->made, 4000);
    const TableLayout far = *table->layout;
    ASSERT_GE(far.rowCount(), 10);
    ASSERT_EQ(far.columnCount(), 2);
    EXPECT_GT(far.bounds().minY(), 900000);
    EXPECT_DOUBLE_EQ(far.columnBounds(1).minX(), top.columnBounds(1).minX());
    EXPECT_DOUBLE_EQ(far.columnBounds(0).width(), top.columnBounds(0).width());
    // A rule between every two rows reported, but for the empty ones that keep the rows' evenness.
    EXPECT_GE(far.rowDividerRects().size() + 3, static_cast<std::size_t>(far.rowCount()));
}

TEST(LargeBlocks, AFewRowsOfVeryManyCellsAreLaidOutAsTheyComeIntoViewToo) {
    // 80 rows of 400 columns: fewer rows than a long table has, more cells than a grid lays out
    // whole, and too wide for the column even with every column narrowed to its longest word.
    std::string header = "| a header of words that would stand one to a line ";
    std::string row = "| c ";
    std::string delimiter = "|---";
    for (int column = 1; column < 400; ++column) {
        header += "| h" + std::to_string(column % 10) + " ";
        row += "| c" + std::to_string(column % 10) + " ";
        delimiter += "|---";
    }
    std::string markdown = header + "|\n" + delimiter + "|\n";
    for (int n = 0; n < 80; ++n) {
        markdown += row + "|\n";
    }
    const auto cells = std::make_shared<CountingCell>();
    const auto table = std::make_shared<RecordingTable>();
    ui::OffscreenHost host(AnyView(vellum::StructuredText(markdown))
                               .environment<TableStyleKey>(table)
                               .environment<TableCellStyleKey>(cells),
                           {600.0, std::nullopt});
    host.setVisibleRect(platform::Rect(0, 0, 600, 400));
    host.runUntilIdle(std::chrono::milliseconds(120000));
    EXPECT_GT(*cells->made, 400);
    EXPECT_LT(*cells->made, 25000) << "of 32,400 cells";
    // Running past the column anyway, the cells keep their lines whole: the header is a line
    // high, as the rows are.
    ASSERT_GE(table->layout->rowCount(), 2);
    EXPECT_LT(table->layout->rowBounds(0).height(), 1.5 * table->layout->rowBounds(1).height());
}

TEST(LargeBlocks, ALongTablesRowsFollowColumnsThatAnEditWidens) {
    const auto markdownWith = [](const std::string& third) {
        std::string markdown = "| n | word |\n|---|---|\n";
        for (int i = 0; i < 150; ++i) {
            markdown +=
                "| " + (i == 3 ? third : "r" + std::to_string(i)) +
                " | words enough to fill a line of the column and wrap in it, more of them than "
                "one line of a narrow window holds, so that the table fills its width |\n";
        }
        return markdown;
    };
    const auto table = std::make_shared<RecordingTable>();
    const auto view = [&table](const std::string& markdown) {
        return AnyView(vellum::StructuredText(markdown)).environment<TableStyleKey>(table);
    };
    // A table as wide as the column, whose columns share its width: widening one narrows the
    // other, and the table keeps its width. A window tall enough to show the first rows and some
    // laid out below them.
    ui::OffscreenHost host(view(markdownWith("r3")), {600.0, std::nullopt});
    host.setVisibleRect(platform::Rect(0, 0, 600, 5000));
    host.runUntilIdle(std::chrono::milliseconds(60000));
    // Where the second column starts in each row of the first 121, in view before and after.
    const auto secondColumnStarts = [&table] {
        std::vector<double> starts;
        for (const auto& [identifier, rect] : *table->cells) {
            if (identifier.column == 1 && identifier.row <= 120) {
                starts.push_back(rect.minX());
            }
        }
        return starts;
    };
    ASSERT_TRUE(table->cells->count({120, 1})) << "a row below the first ones is shown";
    const double before = secondColumnStarts().front();

    host.setRootView(view(markdownWith("a much longer text in the first column, wrapping too")));
    host.runUntilIdle(std::chrono::milliseconds(60000));
    ASSERT_TRUE(table->cells->count({120, 1}));
    const std::vector<double> after = secondColumnStarts();
    ASSERT_GT(after.front(), before + 50);
    for (const double start : after) {
        EXPECT_DOUBLE_EQ(start, after.front()) << "every row in the widened columns";
    }
}

} // namespace
