// A rendered document in a real window, used the way a reader uses it: the pointer and keyboard
// are the X server's (its test extension), and what is copied is read back through a second
// connection to the display, as another program would paste it.

#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/selection/LiveTextLayout.hpp"
#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionInteraction.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/style/TableStyle.hpp"
#include "platform/appkit/Pasteboard.hpp"
#include "platform/appkit/ViewHostWidget.hpp"
#include "platform/ui/UI.hpp"
#include "tests/support/ClipboardReader.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/MainLoopWait.hpp"
#include "tests/support/PopoverMenus.hpp"
#include "tests/support/XInput.hpp"

#include <cairo.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace ui = platform::ui;
using moss_test::ClipboardReader;
using platform::Point;

std::string fixture(const std::string& name) {
    return moss_test::readFile(std::filesystem::path(MOSS_SELECTION_WINDOW_FIXTURES) / name);
}

using moss_test::waitUntil;

// What the document told the test: its laid-out texts (in the window's coordinates) and the
// links it asked to open.
struct Seen {
    ui::Text::LayoutKey::Value layouts;
    std::vector<std::string> opened;
};

// With `overflowTables`, a table too wide for the column scrolls sideways inside it.
ui::AnyView documentView(const std::string& markdown, const std::shared_ptr<Seen>& seen,
                         bool overflowTables) {
    ui::AnyView text{vellum::StructuredText(markdown)};
    if (overflowTables) {
        text = text.environment<vellum::structured::TableStyleKey>(
            vellum::structured::TableStyle::overflow(1));
    }
    const ui::AnyView document = text.padding(16).onPreferenceChange<ui::Text::LayoutKey>(
        [seen](const ui::Text::LayoutKey::Value& layouts) { seen->layouts = layouts; });
    return vellum::textSelection(document, vellum::EnabledTextSelectability())
        .environment<ui::OpenURLKey>(ui::OpenURLAction([seen](const platform::URL& url) {
            seen->opened.push_back(url.absoluteString());
            return ui::OpenURLAction::Result::handled;
        }));
}

// The document and what it told the test, made before the window that shows it.
struct Document {
    Document(const std::string& markdown, bool overflowTables)
        : host_(documentView(markdown, seen_, overflowTables)) {}
    std::shared_ptr<Seen> seen_ = std::make_shared<Seen>();
    platform::ViewHostWidget host_;
};

// A document shown in a toplevel window of its own, 480 points wide; a long one scrolls in a
// window 400 points tall.
class DocumentWindow : private Document, public moss_test::InputWindow {
public:
    DocumentWindow(const std::string& markdown, bool scrolled, bool overflowTables = false)
        : Document(markdown, overflowTables)
        , InputWindow(GTK_WIDGET(host_.gtkWidget())) {
        gtk_window_set_default_size(window(), 480, scrolled ? 400 : -1);
        GtkWidget* child = widget();
        if (scrolled) {
            child = gtk_scrolled_window_new();
            gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(child), GTK_POLICY_NEVER,
                                           GTK_POLICY_AUTOMATIC);
            gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(child), widget());
        }
        show(child, [&] { return host_.framesDrawn() > 0 && !seen_->layouts.empty(); });
        focus(); // there is no window manager to do it
        waitUntil([&] { return gtk_window_is_active(window()) != FALSE; });
    }

    [[nodiscard]] platform::ViewHostWidget& host() { return host_; }
    [[nodiscard]] const Seen& seen() const { return *seen_; }

    // A point a little into the character `offset` characters after the start of `needle`, in
    // the first laid-out text holding it, once the window shows it. The fixtures are ASCII, so
    // bytes count characters. A window not scrolled first takes the height its document
    // estimates; the blocks that lie below that (the last one measured for its baseline and not
    // placed) have no position until they are placed, and show once the window has grown to the
    // document's height.
    [[nodiscard]] Point at(const std::string& needle, long offset = 0) {
        std::optional<Point> point;
        const auto shows = [this](Point p) {
            return p.x >= 0 && p.y >= 0 && p.x < gtk_widget_get_width(widget()) &&
                   p.y < gtk_widget_get_height(widget());
        };
        waitUntil([&] {
            point = placedPoint(needle, offset);
            if (point && shows(*point)) {
                return true;
            }
            // Everything laid out and placed, the window as tall as it will be: no use waiting.
            ui::ViewGraph& graph = host_.graph();
            return !graph.hasDeferredLayout() && !graph.needsUpdate() &&
                   gtk_widget_get_height(widget()) >= int(graph.size().height);
        });
        if (!point || !shows(*point)) {
            ADD_FAILURE() << "no text shown holds \"" << needle << "\"";
        }
        return point.value_or(Point{});
    }

private:
    [[nodiscard]] std::optional<Point> placedPoint(const std::string& needle, long offset) const {
        const vellum::LiveTextLayoutCollection texts(
            seen_->layouts, ui::GeometryProxy(platform::Rect(0, 0, 1, 1), nullptr));
        for (std::size_t layout = 0; layout < texts.layoutCount(); ++layout) {
            const std::size_t found = texts.layout(layout).string().find(needle);
            if (found == std::string::npos) {
                continue;
            }
            if (!texts.layout(layout).placed()) {
                return std::nullopt;
            }
            const long index = long(found) + offset;
            const auto here = vellum::positionForCharacterIndex(texts, layout, index);
            const auto next = vellum::positionForCharacterIndex(texts, layout, index + 1);
            if (!here || !next) {
                return std::nullopt;
            }
            const platform::Rect a = vellum::caretRect(texts, *here);
            const platform::Rect b = vellum::caretRect(texts, *next);
            return Point{a.minX() + (b.minX() - a.minX()) / 4, a.midY()};
        }
        return std::nullopt;
    }
};

// The action of the item titled `title` in the popover menu the widget shows, once it shows one.
std::string menuAction(GtkWidget* widget, const std::string& title) {
    std::string action;
    waitUntil([&] {
        for (const moss_test::ShownMenu& menu : moss_test::shownMenus(widget)) {
            for (const moss_test::ShownMenuItem& item : menu.items) {
                if (item.label == title && !item.action.empty()) {
                    action = item.action;
                }
            }
        }
        return !action.empty();
    });
    return action;
}

bool menuShown(GtkWidget* widget) {
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child != nullptr;
         child = gtk_widget_get_next_sibling(child)) {
        if (GTK_IS_POPOVER(child) && gtk_widget_get_visible(child)) {
            return true;
        }
    }
    return false;
}

class SelectionWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* why = moss_test::startToolkitWithXTest()) {
            GTEST_SKIP() << why;
        }
    }
};

TEST_F(SelectionWindowTest, ADragSelectsAcrossBlocksAndCopiesThemForOtherPrograms) {
    DocumentWindow shown(fixture("document.md"), false);
    ClipboardReader reader;
    ASSERT_TRUE(reader.connected());
    const std::string expectedText = fixture("selection.txt");
    const std::string expectedHTML = fixture("selection.html");

    // From "can" in the paragraph, over the list, to the middle of "beta" in the table.
    shown.moveTo(shown.at("can be"));
    shown.button(1, true);
    ASSERT_TRUE(waitUntil([&] { return shown.host().graph().hasFocus(); }));
    for (const Point to : {shown.at("second item"), shown.at("beta", 2)}) {
        const std::uint64_t frames = shown.host().framesDrawn();
        shown.moveTo(to);
        ASSERT_TRUE(waitUntil([&] { return shown.host().framesDrawn() > frames; }));
    }
    shown.button(1, false);
    shown.key("c", {"Control_L"});
    ASSERT_TRUE(waitUntil([&] { return reader.offersHTML(); }));
    cairo_surface_t* const screen = shown.screenshot();
    moss_test::keepScreenshot(screen, "moss-selection-window.png");
    cairo_surface_destroy(screen);
    EXPECT_EQ(reader.plainText(), expectedText);
    EXPECT_EQ(reader.html(), expectedHTML);

    // The context menu's Copy, opened inside the selection, copies the same.
    platform::Pasteboard::general().clearContents();
    ASSERT_TRUE(waitUntil([&] { return !reader.offersHTML(); }));
    shown.click(shown.at("first item"), 3);
    const std::string copy = menuAction(shown.widget(), "Copy");
    ASSERT_FALSE(copy.empty());
    EXPECT_FALSE(menuAction(shown.widget(), "Share").empty());
    ASSERT_TRUE(gtk_widget_activate_action(shown.widget(), copy.c_str(), nullptr));
    ASSERT_TRUE(waitUntil([&] { return reader.offersHTML(); }));
    EXPECT_EQ(reader.plainText(), expectedText);
    EXPECT_EQ(reader.html(), expectedHTML);
    shown.key("Escape");
    ASSERT_TRUE(waitUntil([&] { return !menuShown(shown.widget()); }));

    // A click on the link opens it through the environment's action.
    shown.click(shown.at("links", 2));
    ASSERT_TRUE(waitUntil([&] { return !shown.seen().opened.empty(); }));
    EXPECT_EQ(shown.seen().opened, (std::vector<std::string>{"https://example.com/links"}));
}

// Another window taking the keyboard, as another program's would.
class OtherWindow {
public:
    OtherWindow()
        : window_(GTK_WINDOW(gtk_window_new())) {
        gtk_window_set_default_size(window_, 100, 100);
        gtk_window_present(window_);
        waitUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window_)) != FALSE; });
        moss_test::xtest::focus(window_);
    }
    ~OtherWindow() { gtk_window_destroy(window_); }
    OtherWindow(const OtherWindow&) = delete;
    OtherWindow& operator=(const OtherWindow&) = delete;

private:
    GtkWindow* window_;
};

TEST_F(SelectionWindowTest, FocusLeavesWithTheWindowAndComesBackWithIt) {
    DocumentWindow shown(fixture("document.md"), false);
    shown.click(shown.at("closing"));
    ASSERT_TRUE(waitUntil([&] { return shown.host().graph().hasFocus(); }));
    {
        const OtherWindow other;
        ASSERT_TRUE(waitUntil([&] { return !gtk_window_is_active(shown.window()); }));
        EXPECT_FALSE(shown.host().graph().hasFocus());
        shown.focus();
        ASSERT_TRUE(waitUntil([&] { return gtk_window_is_active(shown.window()) != FALSE; }));
    }
    EXPECT_TRUE(shown.host().graph().hasFocus());
    // The keys reach the text again.
    ClipboardReader reader;
    ASSERT_TRUE(reader.connected());
    shown.key("a", {"Control_L"});
    shown.key("c", {"Control_L"});
    ASSERT_TRUE(waitUntil([&] { return reader.offersHTML(); }));
    EXPECT_EQ(reader.plainText()->rfind("Rendered text can be selected", 0), 0U);
}

// A window showing a document takes keys for it before any click, and after a click beside its
// text: in its margin or padding.
TEST_F(SelectionWindowTest, KeysReachTheDocumentWithoutAClickOnItsText) {
    ClipboardReader reader;
    ASSERT_TRUE(reader.connected());
    {
        DocumentWindow shown(fixture("document.md"), true);
        shown.key("a", {"Control_L"});
        // The selection's end one character back: "open" loses its full stop.
        shown.key("Left", {"Shift_L"});
        shown.key("c", {"Control_L"});
        ASSERT_TRUE(waitUntil([&] { return reader.offersHTML(); }));
        const std::optional<std::string> text = reader.plainText();
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(text->rfind("Rendered text can be selected", 0), 0U) << *text;
        EXPECT_TRUE(text->ends_with("A closing paragraph")) << *text;
    }
    platform::Pasteboard::general().clearContents();
    ASSERT_TRUE(waitUntil([&] { return !reader.offersHTML(); }));
    {
        DocumentWindow shown(fixture("document.md"), false);
        shown.click({4, 4}); // in the padding, above and left of every text
        ASSERT_TRUE(waitUntil([&] { return shown.host().graph().hasFocus(); }));
        shown.key("a", {"Control_L"});
        shown.key("c", {"Control_L"});
        ASSERT_TRUE(waitUntil([&] { return reader.offersHTML(); }));
        EXPECT_EQ(reader.plainText()->rfind("Rendered text can be selected", 0), 0U);
    }
}

// Two clicks select a word as the desktop's word boundaries say, three a cell of a table, which
// copies as that cell alone, a body cell still.
TEST_F(SelectionWindowTest, DoubleAndTripleClicksSelectAWordAndATableCell) {
    DocumentWindow shown("Call wasm_bindgen first.\n\n"
                         "| Step | Runs | Mean | Time |\n|------|------|-----:|-----:|\n"
                         "| parse | 3 | 0.1 | 0.167s |\n| build | 2 | 0.2 | 1.500s |\n",
                         false);
    ClipboardReader reader;
    ASSERT_TRUE(reader.connected());
    const auto clicks = [&shown](Point at, int count) {
        shown.moveTo(at);
        for (int n = 0; n < count; ++n) {
            shown.button(1, true);
            shown.button(1, false);
        }
    };
    const auto copied = [&] {
        platform::Pasteboard::general().clearContents();
        EXPECT_TRUE(waitUntil([&] { return !reader.offersHTML(); }));
        shown.key("c", {"Control_L"});
        EXPECT_TRUE(waitUntil([&] { return reader.offersHTML(); }));
        return std::pair{reader.plainText().value_or(""), reader.html().value_or("")};
    };

    clicks(shown.at("bindgen", 2), 2);
    EXPECT_EQ(copied().first, "wasm_bindgen");

    clicks(shown.at("0.167s", 2), 3);
    const auto [text, html] = copied();
    EXPECT_EQ(text, "0.167s");
    EXPECT_EQ(html, "<table>\n<tbody>\n<tr>\n<td align=\"right\">0.167s</td>\n</tr>\n</tbody>\n"
                    "</table>");
}

// About 100 KB: long paragraphs (the text is what costs in a window test's debug build; the cost
// of many small blocks is the benchmarks' to measure), a list and a table every few sections.
std::string longDocument() {
    std::string out;
    for (int section = 1; out.size() < 100 * 1024; ++section) {
        const std::string n = std::to_string(section);
        out += "Paragraph " + n + " says what the section is about";
        for (int sentence = 0; sentence < 12; ++sentence) {
            out += ", with *emphasis* and a [link](https://example.com/" + n + ") in a sentence";
        }
        out += ".\n\n";
        if (section % 5 == 1) {
            out += "- item one of " + n + "\n- item two with `code`\n\n";
            out += "| Key | Value |\n|-----|------:|\n| a" + n + " | " + n + " |\n| b" + n +
                   " | 2 |\n\n";
        }
    }
    return out;
}

// Every move of the pointer during a drag is taken up and drawn before the next one comes, over
// a long document as over a short one.
TEST_F(SelectionWindowTest, ADragOverALongDocumentKeepsUpWithThePointer) {
    DocumentWindow shown(longDocument(), true);
    shown.moveTo(shown.at("Paragraph 1 "));
    shown.button(1, true);
    ASSERT_TRUE(waitUntil([&] { return shown.host().graph().hasFocus(); }));
    constexpr int moves = 6;
    int drawn = 0;
    for (int step = 1; step <= moves; ++step) {
        const std::uint64_t frames = shown.host().framesDrawn();
        // Down the first screen, a line or more at a time, to and fro across the column.
        shown.moveTo({step % 2 == 0 ? 120.0 : 360.0, 30.0 + 40.0 * step});
        if (waitUntil([&] { return shown.host().framesDrawn() > frames; })) {
            ++drawn;
        }
    }
    shown.button(1, false);
    EXPECT_EQ(drawn, moves);

    ClipboardReader reader;
    ASSERT_TRUE(reader.connected());
    shown.key("c", {"Control_L"});
    ASSERT_TRUE(waitUntil([&] { return reader.offersHTML(); }));
    const std::optional<std::string> text = reader.plainText();
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->rfind("Paragraph 1 says", 0), 0U) << *text;
    EXPECT_NE(text->find("item two with code"), std::string::npos) << *text;
}

// The laid-out texts of the window's document, in the window's coordinates.
vellum::LiveTextLayoutCollection texts(const DocumentWindow& shown) {
    return vellum::LiveTextLayoutCollection(shown.seen().layouts,
                                            ui::GeometryProxy(platform::Rect(0, 0, 1, 1), nullptr));
}

// Where the first laid-out text starting with `start` starts sideways; far left when none does.
double xOfText(const DocumentWindow& shown, const std::string& start) {
    const auto all = texts(shown);
    for (std::size_t l = 0; l < all.layoutCount(); ++l) {
        if (all.layout(l).string().starts_with(start)) {
            return all.layout(l).origin().x;
        }
    }
    return -1000.0;
}

// Presses on the text starting with `start` and holds the button down past the window's right
// edge, the pointer still: the text must move left, scrolled towards the pointer.
void expectADragHeldPastTheRightEdgeScrolls(DocumentWindow& shown, const std::string& start) {
    const double width = gtk_widget_get_width(shown.widget());
    const double before = xOfText(shown, start);
    const Point first = shown.at(start, 1);
    shown.moveTo(first);
    shown.button(1, true);
    ASSERT_TRUE(waitUntil([&] { return shown.host().graph().hasFocus(); }));
    shown.moveTo({width + 40, first.y});
    EXPECT_TRUE(
        waitUntil([&] { return xOfText(shown, start) < before - 100; }, std::chrono::seconds(20)))
        << "'" << start << "' stays at " << before;
    shown.button(1, false);
}

// Inside a line of code wider than the window, the end that Shift+Right takes past the part shown
// is scrolled into view sideways, and a drag held past the window's edge scrolls the code towards
// the pointer while the pointer stays there.
TEST_F(SelectionWindowTest, TheKeyboardAndADragScrollALongLineOfCodeSideways) {
    std::string markdown = "Before the code.\n\n```\n";
    for (int word = 1; word <= 90; ++word) {
        markdown += "w" + std::to_string(word) + " ";
    }
    markdown += "\n```\n";
    const auto codeX = [](const DocumentWindow& shown) { return xOfText(shown, "w1 "); };
    {
        DocumentWindow shown(markdown, false);
        const double width = gtk_widget_get_width(shown.widget());
        const Point first = shown.at("w1 ", 1);
        const double x0 = codeX(shown);
        shown.click(first);
        shown.click(first); // a double click: "w1" is selected
        ASSERT_TRUE(waitUntil([&] { return shown.host().graph().hasFocus(); }));
        constexpr int steps = 100;
        for (int step = 0; step < steps; ++step) {
            shown.key("Right", {"Shift_L"});
        }
        // The caret after the last character the keys took in, in the window.
        const auto endX = [&] {
            const auto all = texts(shown);
            for (std::size_t l = 0; l < all.layoutCount(); ++l) {
                if (all.layout(l).string().starts_with("w1 ")) {
                    const auto end = vellum::positionForCharacterIndex(all, l, 2 + steps);
                    return end ? vellum::caretRect(all, *end).minX() : -1.0;
                }
            }
            return -1.0;
        };
        EXPECT_TRUE(waitUntil(
            [&] {
                const double x = endX();
                return x >= 0 && x < width;
            },
            std::chrono::seconds(20)))
            << "the end stands at " << endX() << ", the code at " << codeX(shown) << " from " << x0;
    }
    DocumentWindow shown(markdown, false);
    expectADragHeldPastTheRightEdgeScrolls(shown, "w1 ");
}

// The same inside a table too wide for the column: a drag held past the window's right edge
// scrolls the table under it.
TEST_F(SelectionWindowTest, ADragHeldPastTheEdgeScrollsAWideTableSideways) {
    std::string header = "|";
    std::string delimiter = "|";
    std::string row = "|";
    for (int column = 1; column <= 40; ++column) {
        header += " h" + std::to_string(column) + " |";
        delimiter += "---|";
        row += " cell" + std::to_string(column) + " |";
    }
    const std::string markdown =
        "Before the table.\n\n" + header + "\n" + delimiter + "\n" + row + "\n" + row + "\n";
    DocumentWindow shown(markdown, false, true);
    expectADragHeldPastTheRightEdgeScrolls(shown, "cell1");
}

// How far the scrolled window holding the document is scrolled.
double scrolled(const DocumentWindow& shown) {
    return gtk_adjustment_get_value(gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(shown.widget())));
}

// A drag held below the window scrolls the document on while the pointer stays there, and the
// selection follows down.
TEST_F(SelectionWindowTest, ADragHeldBelowTheWindowScrollsTheDocument) {
    DocumentWindow shown(longDocument(), true);
    ASSERT_EQ(scrolled(shown), 0);
    shown.moveTo(shown.at("Paragraph 1 "));
    shown.button(1, true);
    ASSERT_TRUE(waitUntil([&] { return shown.host().graph().hasFocus(); }));
    shown.moveTo({200, gtk_widget_get_height(shown.widget()) + 30.0});
    ASSERT_TRUE(waitUntil([&] { return scrolled(shown) > 300; }));
    const double reached = scrolled(shown);
    ASSERT_TRUE(waitUntil([&] { return scrolled(shown) > reached + 300; }));
    shown.button(1, false);

    ClipboardReader reader;
    ASSERT_TRUE(reader.connected());
    shown.key("c", {"Control_L"});
    ASSERT_TRUE(waitUntil([&] { return reader.offersHTML(); }));
    const std::string text = reader.plainText().value_or("");
    EXPECT_EQ(text.rfind("Paragraph 1 says", 0), 0U) << text.substr(0, 80);
    EXPECT_NE(text.find("Paragraph 3 says"), std::string::npos) << text.size();
}

// The end of a selection taken down by the keyboard past the window's edge is scrolled into view,
// and so it is when taken back up.
TEST_F(SelectionWindowTest, TheEndTheKeyboardMovesIsScrolledIntoView) {
    DocumentWindow shown(longDocument(), true);
    const Point first = shown.at("Paragraph 1 ", 2);
    shown.click(first);
    shown.click(first); // a double click: the word is selected
    ASSERT_TRUE(waitUntil([&] { return shown.host().graph().hasFocus(); }));
    for (int line = 0; line < 30; ++line) {
        shown.key("Down", {"Shift_L"});
    }
    ASSERT_TRUE(waitUntil([&] { return scrolled(shown) > 200; }));
    for (int line = 0; line < 30; ++line) {
        shown.key("Up", {"Shift_L"});
    }
    ASSERT_TRUE(waitUntil([&] { return scrolled(shown) < first.y; })) << scrolled(shown);
}

} // namespace
