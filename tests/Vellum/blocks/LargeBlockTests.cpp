// One large block in a document shown in a window: a list of a hundred thousand items, a table of
// a hundred thousand rows. The first screen shows while most items and rows are still estimated
// (counted by the styles that make them, not timed), looks as a whole layout would, and selection
// and copy still reach the items not yet laid out.

#include "Vellum/blocks/BlockContent.hpp"
#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/selection/LiveTextLayout.hpp"
#include "Vellum/style/OverflowContainer.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/style/TableLayout.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "platform/graphics/ImageSource.hpp"
#include "platform/ui/UI.hpp"
#include "tests/Vellum/selection/DocumentTestSupport.hpp"
#include "tests/platform/text/SamePixels.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
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

// The first 600 × 400 screen of `markdown` 600 points wide, styled by `styled`: as a document
// shows it, laying out its blocks as they come into view, or (`whole`) its blocks laid out whole.
platform::Image firstScreen(const std::string& markdown,
                            const std::function<AnyView(AnyView)>& styled, bool whole) {
    const AnyView blocks =
        whole
            ? AnyView(BlockContent(
                  std::nullopt, vellum::StructuredText::parse(
                                    vellum::AttributedStringMarkdownParser::markdown(), markdown)))
            : AnyView(vellum::StructuredText(markdown));
    ui::OffscreenHost host(styled(blocks), {600.0, std::nullopt});
    host.setVisibleRect(platform::Rect(0, 0, 600, 400));
    host.runUntilIdle(std::chrono::milliseconds(120000));
    return host.render(1.0, platform::Color::white());
}

// Both first screens of `markdown` alike, pixel for pixel.
void expectFirstScreenOfTheWhole(const std::string& markdown,
                                 const std::function<AnyView(AnyView)>& styled,
                                 const std::string& name) {
    const platform::Image lazy = firstScreen(markdown, styled, false);
    const platform::Image whole = firstScreen(markdown, styled, true);
    if (const char* keep = std::getenv("MOSS_KEEP_FIRST_SCREENS"); keep != nullptr) {
        for (const auto& [image, suffix] :
             {std::pair{&lazy, "-lazy"}, std::pair{&whole, "-whole"}}) {
            const auto png = platform::encodePNG(*image);
            std::ofstream(std::string(keep) + "/" + name + suffix + ".png", std::ios::binary)
                .write(reinterpret_cast<const char*>(png->data()), std::streamsize(png->size()));
        }
    }
    moss_test::expectSamePixelsWithInk(lazy, whole, 1000);
}

TEST(LargeBlocks, TheFirstScreenOfALongNumberedListIsThatOfTheWholeList) {
    // In Roman numerals the widest marker ("cxxxviii.") is neither the last nor near the top.
    expectFirstScreenOfTheWhole(
        numberedList(150),
        [](AnyView view) {
            return vellum::vellum(std::move(view))
                .orderedListMarker(OrderedListMarker::lowerRoman());
        },
        "roman");
    // A list nested far down numbers from a hundred thousand: the markers of every numbered list
    // around it are as wide.
    std::string nested;
    for (int i = 1; i <= 150; ++i) {
        nested += std::to_string(i) + ". item " + std::to_string(i) + "\n";
        if (i == 140) {
            nested += "     - a bullet\n\n       100000. deep\n";
        }
    }
    const auto plain = [](AnyView view) { return view; };
    expectFirstScreenOfTheWhole(nested, plain, "nested");
    // The same far down a long bulleted list in the second of three numbered items.
    std::string bullets = "1. one\n2. two\n";
    for (int i = 1; i <= 150; ++i) {
        bullets += "   - item " + std::to_string(i) + "\n";
        if (i == 140) {
            bullets += "\n     100000. deep\n";
        }
    }
    expectFirstScreenOfTheWhole(bullets + "3. three\n", plain, "bulleted");
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
    // Whether the table scrolls sideways in its column (as the overflow mode says).
    bool inOverflow = false;
    // Whether its cells stand a point apart, as the default style's do.
    bool spaced = false;
    AnyView makeBody(ViewContext&, const TableStyleConfiguration& c) const override {
        AnyView label =
            spaced ? vellum::vellum(c.label.content).tableCellSpacing(1, 1) : c.label.content;
        AnyView recorded = label.onPreferenceChange<TableCellBoundsKey>(
            [layout = layout, cells = cells](const TableCellBoundsKey::Value& bounds) {
                cells->clear();
                for (const auto& entry : bounds) {
                    (*cells)[entry.identifier] = entry.anchor.rootValue();
                }
                *layout = TableLayout::makeTableLayout(*cells);
            });
        if (!inOverflow) {
            return recorded;
        }
        return vellum::overflowContainer(
            [recorded](const vellum::OverflowState&) { return recorded; });
    }
};

TEST(LargeBlocks, TheFirstScreenOfALongTableIsThatOfTheWholeTable) {
    // Row 200 of 300 holds a word longer than its column's other cells, and row 250 the longest
    // line of the other column: the columns are as wide as they need for them from the first row.
    std::string markdown = "A table.\n\n| key | value |\n|---|---|\n";
    for (int i = 0; i < 300; ++i) {
        const std::string key = i == 200 ? "Floccinaucinihilipilificationsupercalifragilistic"
                                         : "r" + std::to_string(i);
        const std::string value =
            i == 250 ? "a few words, more of them than any other row holds" : "a few words";
        markdown += "| " + key + " | " + value + " |\n";
    }
    // The cells a point apart, unruled.
    const auto table = std::make_shared<RecordingTable>();
    table->spaced = true;
    expectFirstScreenOfTheWhole(
        markdown, [table](AnyView view) { return view.environment<TableStyleKey>(table); },
        "table");
    // In the default style, whose rules run to the table's right end.
    expectFirstScreenOfTheWhole(
        markdown, [](AnyView view) { return view; }, "ruled");
}

TEST(LargeBlocks, ALongTablesColumnsAreAsWideAsItsStyledCellsAndFormulasMakeThem) {
    // Far below the first rows, `styled`: narrow letters, fewer in the body font than several
    // plain words hold but wider in their own font; and a formula, one character in the text,
    // wider than the plain words of its column.
    const auto markdownWith = [](const std::string& styled) {
        std::string markdown = "A table.\n\n| key | styled | formula |\n|---|---|---|\n";
        for (int i = 0; i < 300; ++i) {
            std::string text = "w";
            std::string formula = "x";
            if (i >= 150 && i < 156) {
                text = "wwwwww" + std::to_string(i);
                formula = "xxxx" + std::to_string(i);
            } else if (i == 200) {
                text = styled;
            } else if (i == 220) {
                formula = "$a+b+c+d+e+f$";
            }
            markdown += "| r" + std::to_string(i) + " | " + text + " | " + formula + " |\n";
        }
        return markdown;
    };
    // A code span, set in a monospaced font.
    expectFirstScreenOfTheWhole(
        markdownWith("`iiiiiiiiiiiiiiii`"), [](AnyView view) { return view; }, "code");
    // Emphasis, which the document's inline style sets twice as large.
    expectFirstScreenOfTheWhole(
        markdownWith("*iiiiiiiiiiiiiiii*"),
        [](AnyView view) {
            return vellum::vellum(std::move(view))
                .inlineStyle(vellum::InlineStyle::defaultStyle().withEmphasis(
                    vellum::ItalicProperty(), vellum::FontScaleProperty{2}));
        },
        "emphasis");
}

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

// Notes the column of every cell made; each cell as its label.
struct ColumnNotingCell final : TableCellStyle {
    std::shared_ptr<std::vector<int>> columns = std::make_shared<std::vector<int>>();
    AnyView makeBody(ViewContext&, const TableCellStyleConfiguration& c) const override {
        columns->push_back(c.column);
        return c.label.content;
    }
};

// A paragraph, then a table of `rows` rows of `columns` cells of two letters each under headers
// that number the columns, then a last paragraph.
std::string wideTableDocument(int columns, int rows) {
    std::string header;
    std::string row;
    std::string delimiter;
    for (int column = 0; column < columns; ++column) {
        header += "| h" + std::to_string(column) + " ";
        row += "| c" + std::to_string(column % 10) + " ";
        delimiter += "|---";
    }
    std::string markdown = "A table of many columns.\n\n" + header + "|\n" + delimiter + "|\n";
    for (int n = 0; n < rows; ++n) {
        markdown += row + "|\n";
    }
    return markdown + "\nThe very last block.\n";
}

AnyView wideTableView(const std::string& markdown, const std::shared_ptr<ColumnNotingCell>& cells,
                      const std::shared_ptr<RecordingTable>& table) {
    return AnyView(vellum::StructuredText(markdown))
        .environment<TableStyleKey>(table)
        .environment<TableCellStyleKey>(cells);
}

TEST(LargeBlocks, AVeryWideTableLaysOutTheColumnsNearTheViewAndThoseScrolledIntoIt) {
    // A thousand columns, and ten thousand written in a row (the parser keeps a thousand, the
    // rest going to rows below).
    for (const auto& [columns, rows] : {std::pair{1000, 60}, std::pair{10000, 6}}) {
        SCOPED_TRACE(columns);
        const auto cells = std::make_shared<ColumnNotingCell>();
        const auto table = std::make_shared<RecordingTable>();
        table->inOverflow = true;
        ui::OffscreenHost host(wideTableView(wideTableDocument(columns, rows), cells, table),
                               {600.0, std::nullopt});
        host.setVisibleRect(platform::Rect(0, 0, 600, 400));
        host.runUntilIdle(std::chrono::milliseconds(120000));
        // Rows of the head, of the sample below it and of the screen, in the first columns only.
        const std::vector<int> first = *cells->columns;
        ASSERT_GT(first.size(), 100U);
        EXPECT_LT(first.size(), 3000U) << "cells made for the first screen, of 61,000";
        EXPECT_LT(*std::max_element(first.begin(), first.end()), 80);
        ASSERT_GE(table->layout->rowCount(), 10);

        // Scrolled sideways by five thousand points: the columns there are made, those between
        // are not.
        const platform::Rect row = table->layout->rowBounds(2);
        cells->columns->clear();
        host.scroll({300, row.midY()}, 5000, 0);
        host.runUntilIdle(std::chrono::milliseconds(120000));
        const std::vector<int> scrolled = *cells->columns;
        ASSERT_GT(scrolled.size(), 100U);
        EXPECT_LT(scrolled.size(), 3000U);
        const auto [least, most] = std::minmax_element(scrolled.begin(), scrolled.end());
        EXPECT_GT(*least, 100);
        EXPECT_GT(*most - *least, 10);
        EXPECT_LT(*most - *least, 120);
        // The cells shown are reported where the screen shows them.
        const TableLayout now = *table->layout;
        ASSERT_GE(now.columnCount(), 10);
        EXPECT_LT(now.bounds().minX(), 300);
        EXPECT_GT(now.bounds().maxX(), 300);
    }
}

TEST(LargeBlocks, ColumnsOfAVeryWideTableScrolledIntoViewDrawAsTheWholeTableDoes) {
    const std::string markdown = wideTableDocument(1000, 40);
    // The first screen, scrolled sideways in the table; `whole`: every column laid out first.
    const auto screen = [&markdown](bool whole) {
        // In a monospaced font the widths estimated for the columns not laid out yet are
        // their widths: the table scrolled by as much shows the same columns at the same place.
        ui::OffscreenHost host(AnyView(vellum::StructuredText(markdown))
                                   .environment<TableStyleKey>(TableStyle::overflow(1))
                                   .font(platform::Font::body().monospaced()),
                               {600.0, std::nullopt});
        host.setVisibleRect(platform::Rect(0, 0, 600, 400));
        host.runUntilIdle(std::chrono::milliseconds(120000));
        if (whole) {
            host.graph().environment().get<ui::LayOutDeferredKey>()();
            host.runUntilIdle(std::chrono::milliseconds(120000));
        }
        host.scroll({300, 150}, 5000, 0);
        host.scroll({300, 150}, 1234, 0);
        return host.render();
    };
    const platform::Image lazy = screen(false);
    const platform::Image whole = screen(true);
    if (const char* keep = std::getenv("MOSS_KEEP_WIDE_TABLE_SCREENS"); keep != nullptr) {
        for (const auto& [image, name] : {std::pair{&lazy, "lazy"}, std::pair{&whole, "whole"}}) {
            const auto png = platform::encodePNG(*image);
            std::ofstream(std::string(keep) + "/" + name + ".png", std::ios::binary)
                .write(reinterpret_cast<const char*>(png->data()), std::streamsize(png->size()));
        }
    }
    ASSERT_EQ(lazy.width(), whole.width());
    ASSERT_EQ(lazy.height(), whole.height());
    const std::vector<std::uint8_t> a = lazy.rgba();
    const std::vector<std::uint8_t> b = whole.rgba();
    std::size_t differing = 0;
    std::size_t inked = 0;
    for (std::size_t i = 0; i < a.size(); i += 4) {
        differing += std::equal(a.begin() + std::ptrdiff_t(i), a.begin() + std::ptrdiff_t(i + 4),
                                b.begin() + std::ptrdiff_t(i))
                         ? 0
                         : 1;
        inked += b[i] < 128 ? 1 : 0;
    }
    EXPECT_GT(inked, 1000U) << "the whole table's cells show";
    EXPECT_EQ(differing, 0U);
}

TEST(LargeBlocks, SelectAllOfAVeryWideTableCopiesColumnsNotYetLaidOut) {
    // 150 columns, each cell saying its place.
    std::string markdown = "First words :smile: here.\n\n";
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 150; ++column) {
            markdown += "| r" + std::to_string(row) + "c" + std::to_string(column) + " ";
        }
        markdown += "|\n";
        if (row == 0) {
            for (int column = 0; column < 150; ++column) {
                markdown += "|---";
            }
            markdown += "|\n";
        }
    }
    markdown += "\nThe very last block.\n";
    vellum::test::SelectableDocument document(markdown, platform::Rect(0, 0, 560, 400));
    ASSERT_TRUE(document.shown());
    ASSERT_TRUE(document.textHolding("r3c1"));
    ASSERT_FALSE(document.textHolding("r3c140")) << "a column far past the screen";

    document.drag(document.at("First"), document.at("words"));
    document.command("a");
    document.command("c");
    const std::string plain = document.copied().plainText;
    EXPECT_TRUE(plain.ends_with("The very last block."));
    for (const std::string cell : {"r0c149", "r3c140", "r7c149", "r7c0"}) {
        const std::size_t at = plain.find(cell);
        EXPECT_NE(at, std::string::npos) << cell;
        EXPECT_EQ(plain.find(cell, at + 1), std::string::npos) << cell;
    }
}

TEST(LargeBlocks,
     AVeryWideTableKeepsTheColumnsUnderTheViewerInPlaceAsTheColumnsBeforeThemAreMeasured) {
    // Headers of one to three digits in a proportional font: the widths estimated for the
    // columns not laid out are not quite their own.
    const std::string markdown = wideTableDocument(1000, 12);
    const auto texts = std::make_shared<ui::Text::LayoutKey::Value>();
    ui::OffscreenHost host(
        AnyView(vellum::StructuredText(markdown))
            .environment<TableStyleKey>(TableStyle::overflow(1))
            .onPreferenceChange<ui::Text::LayoutKey>(
                [texts](const ui::Text::LayoutKey::Value& now) { *texts = now; }),
        {600.0, std::nullopt});
    host.setVisibleRect(platform::Rect(0, 0, 600, 400));
    host.runUntilIdle(std::chrono::milliseconds(120000));
    // Where the text `text` starts, across the window.
    const auto leftOf = [&texts](const std::string& text) -> std::optional<double> {
        const vellum::LiveTextLayoutCollection collection(
            *texts, ui::GeometryProxy(platform::Rect(0, 0, 1, 1), nullptr));
        for (std::size_t i = 0; i < collection.layoutCount(); ++i) {
            if (collection.layout(i).string() == text) {
                return collection.layout(i).origin().x;
            }
        }
        return std::nullopt;
    };
    // Far to the right, past columns only estimated; then back to the left a little at a time,
    // each step laying out columns before the ones shown.
    host.scroll({300, 60}, 20000, 0);
    host.runUntilIdle(std::chrono::milliseconds(120000));
    std::optional<std::string> shown;
    for (int column = 0; column < 1000 && !shown; ++column) {
        const std::string header = "h" + std::to_string(column);
        if (const auto x = leftOf(header); x && *x > 50 && *x < 150) {
            shown = header;
        }
    }
    ASSERT_TRUE(shown.has_value());
    for (int step = 0; step < 5; ++step) {
        const std::optional<double> before = leftOf(*shown);
        ASSERT_TRUE(before.has_value());
        host.scroll({300, 60}, -100, 0);
        host.runUntilIdle(std::chrono::milliseconds(120000));
        const std::optional<double> after = leftOf(*shown);
        ASSERT_TRUE(after.has_value()) << step;
        EXPECT_NEAR(*after - *before, 100, 0.01) << "step " << step << ", " << *shown;
    }
}

} // namespace
