// A rendered document in a real window, used the way a reader uses it: the pointer and keyboard
// are the X server's (its test extension), and what is copied is read back through a second
// connection to the display, as another program would paste it.

#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/selection/LiveTextLayout.hpp"
#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionInteraction.hpp"
#include "XTestInput.hpp"
#include "platform/appkit/Pasteboard.hpp"
#include "platform/appkit/PasteboardInternal.hpp"
#include "platform/appkit/ViewHostWidget.hpp"
#include "platform/ui/UI.hpp"
#include "tests/support/MainLoopWait.hpp"

#include <cairo.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace ui = platform::ui;
using platform::Point;

std::string fixture(const std::string& name) {
    std::ifstream in{std::filesystem::path(MOSS_SELECTION_WINDOW_FIXTURES) / name,
                     std::ios::binary};
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool waitUntil(const std::function<bool()>& done) {
    return moss_test::waitUntil(done);
}

// What the document told the test: its laid-out texts (in the window's coordinates) and the
// links it asked to open.
struct Seen {
    ui::Text::LayoutKey::Value layouts;
    std::vector<std::string> opened;
};

ui::AnyView documentView(const std::string& markdown, const std::shared_ptr<Seen>& seen) {
    const ui::AnyView document =
        ui::AnyView(vellum::StructuredText(markdown))
            .padding(16)
            .onPreferenceChange<ui::Text::LayoutKey>(
                [seen](const ui::Text::LayoutKey::Value& layouts) { seen->layouts = layouts; });
    return vellum::textSelection(document, vellum::EnabledTextSelectability())
        .environment<ui::OpenURLKey>(ui::OpenURLAction([seen](const platform::URL& url) {
            seen->opened.push_back(url.absoluteString());
            return ui::OpenURLAction::Result::handled;
        }));
}

// The clipboard as a second client of the display sees it.
class ClipboardReader {
public:
    ClipboardReader()
        : display_(gdk_display_open(nullptr)) {}
    ~ClipboardReader() {
        if (display_ != nullptr) {
            gdk_display_close(display_);
        }
    }
    ClipboardReader(const ClipboardReader&) = delete;
    ClipboardReader& operator=(const ClipboardReader&) = delete;

    [[nodiscard]] bool connected() const { return display_ != nullptr; }
    [[nodiscard]] bool offersHTML() const {
        return gdk_content_formats_contain_mime_type(gdk_clipboard_get_formats(clipboard()),
                                                     "text/html");
    }
    [[nodiscard]] std::optional<std::string> plainText() const {
        return platform::pasteboard_internal::readText(clipboard(), std::chrono::seconds{10});
    }
    [[nodiscard]] std::optional<std::string> html() const {
        return platform::pasteboard_internal::readData(clipboard(), "text/html",
                                                       std::chrono::seconds{10}, 1 << 22);
    }

private:
    [[nodiscard]] GdkClipboard* clipboard() const { return gdk_display_get_clipboard(display_); }
    GdkDisplay* display_;
};

// A document shown in a toplevel window of its own, 480 points wide; a long one scrolls in a
// window 400 points tall.
class DocumentWindow {
public:
    DocumentWindow(const std::string& markdown, bool scrolled)
        : host_(documentView(markdown, seen_))
        , window_(GTK_WINDOW(gtk_window_new())) {
        gtk_window_set_default_size(window_, 480, scrolled ? 400 : -1);
        GtkWidget* child = widget();
        if (scrolled) {
            child = gtk_scrolled_window_new();
            gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(child), GTK_POLICY_NEVER,
                                           GTK_POLICY_AUTOMATIC);
            gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(child), widget());
        }
        gtk_window_set_child(window_, child);
        gtk_window_present(window_);
        waitUntil([&] {
            return gtk_widget_get_mapped(widget()) && host_.framesDrawn() > 0 &&
                   !seen_->layouts.empty();
        });
        xtest::focus(window_); // there is no window manager to do it
        waitUntil([&] { return gtk_window_is_active(window_) != FALSE; });
    }
    ~DocumentWindow() { gtk_window_destroy(window_); }
    DocumentWindow(const DocumentWindow&) = delete;
    DocumentWindow& operator=(const DocumentWindow&) = delete;

    [[nodiscard]] GtkWindow* window() const { return window_; }
    [[nodiscard]] GtkWidget* widget() const { return GTK_WIDGET(host_.gtkWidget()); }
    [[nodiscard]] GdkDisplay* display() const { return gtk_widget_get_display(widget()); }
    [[nodiscard]] platform::ViewHostWidget& host() { return host_; }
    [[nodiscard]] const Seen& seen() const { return *seen_; }

    // A point a little into the character `offset` characters after the start of `needle`, in
    // the first laid-out text holding it. The fixtures are ASCII, so bytes count characters.
    [[nodiscard]] Point at(const std::string& needle, long offset = 0) const {
        const vellum::LiveTextLayoutCollection texts(
            seen_->layouts, ui::GeometryProxy(platform::Rect(0, 0, 1, 1), nullptr));
        for (std::size_t layout = 0; layout < texts.layoutCount(); ++layout) {
            const std::size_t found = texts.layout(layout).string().find(needle);
            if (found == std::string::npos) {
                continue;
            }
            const long index = long(found) + offset;
            const auto here = vellum::positionForCharacterIndex(texts, layout, index);
            const auto next = vellum::positionForCharacterIndex(texts, layout, index + 1);
            if (!here || !next) {
                break;
            }
            const platform::Rect a = vellum::caretRect(texts, *here);
            const platform::Rect b = vellum::caretRect(texts, *next);
            return {a.minX() + (b.minX() - a.minX()) / 4, a.midY()};
        }
        ADD_FAILURE() << "no text holds \"" << needle << "\"";
        return {};
    }

    void moveTo(Point point) const {
        const auto [x, y] = xtest::onScreen(window_, widget(), point.x, point.y);
        xtest::moveTo(display(), x, y);
    }
    void button(unsigned int number, bool down) const { xtest::button(display(), number, down); }
    void click(Point point, unsigned int number = 1) const {
        moveTo(point);
        button(number, true);
        button(number, false);
    }
    void key(const char* name, const std::vector<const char*>& modifiers = {}) const {
        xtest::key(display(), name, modifiers);
    }

    // Saves what the screen shows of the window's document, for a person to look at.
    void screenshot(const std::string& name) const {
        cairo_surface_t* const screen = xtest::screenshot(window_, widget());
        const std::filesystem::path png = std::filesystem::temp_directory_path() / name;
        cairo_surface_write_to_png(screen, png.c_str());
        cairo_surface_destroy(screen);
    }

private:
    std::shared_ptr<Seen> seen_ = std::make_shared<Seen>();
    platform::ViewHostWidget host_;
    GtkWindow* window_;
};

// The action of the item titled `title` in the popover menu the widget shows, once it shows one.
std::string menuAction(GtkWidget* widget, const std::string& title) {
    std::string action;
    waitUntil([&] {
        for (GtkWidget* child = gtk_widget_get_first_child(widget); child != nullptr;
             child = gtk_widget_get_next_sibling(child)) {
            if (!GTK_IS_POPOVER_MENU(child) || !gtk_widget_get_visible(child)) {
                continue;
            }
            GMenuModel* const model = gtk_popover_menu_get_menu_model(GTK_POPOVER_MENU(child));
            for (int section = 0; section < g_menu_model_get_n_items(model); ++section) {
                GMenuModel* const items =
                    g_menu_model_get_item_link(model, section, G_MENU_LINK_SECTION);
                for (int index = 0; items != nullptr && index < g_menu_model_get_n_items(items);
                     ++index) {
                    char* label = nullptr;
                    char* name = nullptr;
                    if (g_menu_model_get_item_attribute(items, index, G_MENU_ATTRIBUTE_LABEL, "s",
                                                        &label) &&
                        g_menu_model_get_item_attribute(items, index, G_MENU_ATTRIBUTE_ACTION, "s",
                                                        &name) &&
                        title == label) {
                        action = name;
                    }
                    g_free(label);
                    g_free(name);
                }
                if (items != nullptr) {
                    g_object_unref(items);
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
        g_setenv("GSK_RENDERER", "cairo", FALSE); // no GL on the virtual display
        g_setenv("GDK_BACKEND", "x11", TRUE);
        if (!gtk_init_check()) {
            GTEST_SKIP() << "no display";
        }
        if (!xtest::available(gdk_display_get_default())) {
            GTEST_SKIP() << "the display has no XTest";
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
    shown.screenshot("moss-selection-window.png");
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
        xtest::focus(window_);
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
        xtest::focus(shown.window());
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

} // namespace
