// Documents in a real window with a scroll bar, the way an application shows them: the view host
// widget in a scrolled window lays out the first screen first and the other rows in idle time or
// as they are scrolled to. Every screen the window shows is read back from the X server and
// compared with the offscreen picture of the same part of the document laid out whole; a row laid
// out late must draw exactly what it draws in the first screen.

#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/highlighting/CodeTokenizer.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/selection/LiveTextLayout.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "platform/appkit/ViewHostWidget.hpp"
#include "platform/foundation/URLComponents.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/Image.hpp"
#include "platform/graphics/ImageSource.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/runtime/MainExecutor.hpp"
#include "platform/runtime/Task.hpp"
#include "platform/ui/OffscreenHost.hpp"
#include "platform/ui/UI.hpp"
#include "tests/Vellum/attachments/CountingLoader.hpp"
#include "tests/platform/graphics/ImageFixtures.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/MainLoopWait.hpp"
#include "tests/support/XInput.hpp"

#include <algorithm>
#include <atomic>
#include <cairo.h>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

namespace ui = platform::ui;
namespace fs = std::filesystem;
using moss_test::waitUntil;

const fs::path fixtures{MOSS_DOCUMENT_WINDOW_FIXTURES};

// The fixture folder as a file URL, so that the documents' pictures resolve inside it.
platform::URL fixtureFolder() {
    platform::URLComponents components;
    components.setScheme("file");
    components.setHost("");
    components.setPath(fs::absolute(fixtures).lexically_normal().string() + "/");
    return *platform::URL::fromString(*components.string());
}

// How many pictures `markdown` loads: one per run with an image address.
int picturesIn(const std::string& markdown) {
    const platform::AttributedString parsed = vellum::StructuredText::parse(
        vellum::AttributedStringMarkdownParser::markdown(
            fixtureFolder(), vellum::AttributedStringMarkdownParser::syntaxExtensions({{}, true})),
        markdown);
    int count = 0;
    for (const auto& run : parsed.runs()) {
        count +=
            run.get<platform::AttributeScopes::FoundationAttributes::ImageURLAttribute>() != nullptr
                ? 1
                : 0;
    }
    return count;
}

// The document as an application shows it: formulas on, pictures from the fixture folder, on
// white paper that fills the width it is given.
ui::AnyView documentView(const std::string& markdown, std::shared_ptr<std::atomic<int>> ended) {
    ui::FlexibleFrame page;
    page.maxWidth = ui::infinity;
    page.alignment = ui::Alignment::topLeading();
    return ui::AnyView(vellum::StructuredText(
                           markdown, fixtureFolder(),
                           vellum::AttributedStringMarkdownParser::syntaxExtensions({{}, true})))
        .frame(page)
        .padding(16)
        .background(ui::AnyView(platform::Color::white()))
        .environment<vellum::ImageAttachmentLoaderKey>(
            std::make_shared<const moss_test::CountingLoader>(
                vellum::ImageAttachmentLoaderKey::defaultValue(), std::move(ended)));
}

ui::EnvironmentValues lightEnvironment() {
    ui::EnvironmentValues environment;
    environment.set<ui::ColorSchemeKey>(platform::ColorScheme::light);
    environment.set<ui::ColorSchemeContrastKey>(platform::ColorSchemeContrast::standard);
    return environment;
}

// Waits until the main loop has nothing left to do for the document: its pictures are in, its
// tasks ended, and nothing is queued.
void settleTasks(const std::atomic<int>& ended, int pictures) {
    ASSERT_TRUE(waitUntil([&] { return ended.load() >= pictures; }));
    // Debug builds count live tasks; a document's tasks end once its attachments are resolved
    // and its code is coloured.
    static const long baseline = platform::detail::liveFrameCount();
    // Code is coloured once the tokenizer's answers are in; on a loaded machine they can come
    // after everything else has settled.
    const std::shared_ptr<vellum::CodeTokenizer>& tokenizer = vellum::CodeTokenizer::shared();
    ASSERT_TRUE(waitUntil([&] {
        return platform::detail::liveFrameCount() <= baseline &&
               (tokenizer == nullptr || tokenizer->pendingCount() == 0) &&
               platform::MainExecutor::shared().pendingCount() == 0;
    }));
}

// The whole document laid out at once, offscreen: what every screen of the window must show.
class Reference {
public:
    Reference(const std::string& markdown, double width,
              const ui::EnvironmentValues& environment = lightEnvironment())
        : host_(documentView(markdown, ended_), {width, std::nullopt}, environment) {
        settleTasks(*ended_, picturesIn(markdown));
        host_.runUntilIdle();
    }
    [[nodiscard]] double height() { return host_.size().height; }
    [[nodiscard]] ui::OffscreenHost& host() { return host_; }
    // What a window `size` big shows with the document scrolled by `offset`.
    [[nodiscard]] platform::Image region(double offset, platform::Size size) {
        platform::ImageSurface surface = platform::ImageSurface::ofSize(size, 1);
        platform::GraphicsContext context(surface);
        context.clip(platform::Rect({0, 0}, size));
        context.translateBy(0, -offset);
        host_.graph().draw(context);
        return surface.makeImage();
    }

private:
    std::shared_ptr<std::atomic<int>> ended_ = std::make_shared<std::atomic<int>>(0);
    ui::OffscreenHost host_;
};

// What the X server shows of `widget` as an image.
platform::Image screenImage(const moss_test::InputWindow& window) {
    cairo_surface_t* const surface = window.screenshot();
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* const data = cairo_image_surface_get_data(surface);
    std::vector<std::uint8_t> rgba(std::size_t(width) * std::size_t(height) * 4);
    for (int y = 0; y < height; ++y) {
        const auto* const line = reinterpret_cast<const std::uint32_t*>(data + y * stride);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = line[x];
            std::uint8_t* const out = &rgba[(std::size_t(y) * std::size_t(width) + x) * 4];
            out[0] = std::uint8_t(pixel >> 16);
            out[1] = std::uint8_t(pixel >> 8);
            out[2] = std::uint8_t(pixel);
            out[3] = 255;
        }
    }
    cairo_surface_destroy(surface);
    return platform::Image::fromRGBA(width, height, rgba);
}

// The tolerance of the text snapshots: antialiasing may differ a little, glyphs and rules may not
// move.
constexpr int tolerance = 24;
constexpr double maxOffFraction = 0.02;

// A heading and a table of `columns` columns and `rows` rows (the head's among them), every third
// column centred.
std::string wideTableMarkdown(int rows, int columns) {
    std::string markdown = "# A wide table\n\n";
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            markdown += row == 0 ? "| head " + std::to_string(column) + " "
                                 : "| " + std::to_string(row * column % 997) + " ";
        }
        markdown += "|\n";
        if (row == 0) {
            for (int column = 0; column < columns; ++column) {
                markdown += column % 3 == 1 ? "|:-:" : "|---";
            }
            markdown += "|\n";
        }
    }
    return markdown;
}

// Where `screen` differs from `reference` beyond the tolerance, said in words; empty when it does
// not.
std::string difference(const platform::Image& screen, const platform::Image& reference) {
    if (screen.width() != reference.width() || screen.height() != reference.height()) {
        return "the screen is " + std::to_string(screen.width()) + " by " +
               std::to_string(screen.height()) + " pixels, the document's region " +
               std::to_string(reference.width()) + " by " + std::to_string(reference.height());
    }
    const auto a = screen.rgba();
    const auto b = reference.rgba();
    std::size_t differing = 0;
    int worst = 0;
    int firstRow = -1;
    for (std::size_t i = 0; i < a.size(); i += 4) {
        int d = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            d = std::max(d, std::abs(int(a[i + c]) - int(b[i + c])));
        }
        differing += d > 2 ? 1 : 0;
        worst = std::max(worst, d);
        if (firstRow < 0 && d > tolerance) {
            firstRow = int(i / 4 / std::size_t(screen.width()));
        }
    }
    const double allowed = double(a.size() / 4) * maxOffFraction;
    if (worst <= tolerance && double(differing) <= allowed) {
        return {};
    }
    return std::to_string(differing) + " pixels off (allowed " + std::to_string(int(allowed)) +
           "), worst by " + std::to_string(worst) + ", the first from the top in row " +
           std::to_string(firstRow);
}

// Keeps both pictures of a screen that differs, for a person to look at.
void keep(const platform::Image& image, const std::string& name) {
    if (const auto png = platform::encodePNG(image)) {
        const fs::path path = fs::temp_directory_path() / name;
        FILE* const file = std::fopen(path.c_str(), "wb");
        if (file != nullptr) {
            std::fwrite(png->data(), 1, png->size(), file);
            std::fclose(file);
        }
    }
}

// The document and the widget that shows it, made before the window; what the document's texts
// publish of where they are.
struct ShownDocument {
    explicit ShownDocument(const std::string& markdown,
                           const ui::EnvironmentValues& environment = lightEnvironment())
        : pictures_(picturesIn(markdown))
        , host_(documentView(markdown, ended_)
                    .onPreferenceChange<ui::Text::LayoutKey>(
                        [texts = texts_](const ui::Text::LayoutKey::Value& now) { *texts = now; }),
                environment) {}
    std::shared_ptr<std::atomic<int>> ended_ = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<ui::Text::LayoutKey::Value> texts_ =
        std::make_shared<ui::Text::LayoutKey::Value>();
    int pictures_ = 0;
    platform::ViewHostWidget host_;
};

// A text of the document and where it starts, in the document's coordinates.
struct PlacedText {
    std::string text;
    double top = 0;
};

// A line of a text of the document: where in the text it starts (UTF-16), and where its top is,
// in the document's coordinates.
struct PlacedLine {
    std::string text;
    std::size_t start = 0;
    double top = 0;
};

// A document in a scrolled window of its own, as an application shows one.
class DocumentWindow : private ShownDocument, public moss_test::InputWindow {
public:
    // Shown, and with `settled` every row laid out before it returns.
    DocumentWindow(const std::string& markdown, int width, int height, bool settled = true,
                   const ui::EnvironmentValues& environment = lightEnvironment())
        : ShownDocument(markdown, environment)
        , InputWindow(GTK_WIDGET(host_.gtkWidget()))
        , height_(height)
        , scrolled_(GTK_WIDGET(g_object_ref_sink(gtk_scrolled_window_new()))) {
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled_), GTK_POLICY_NEVER,
                                       GTK_POLICY_AUTOMATIC);
        // A scroll bar beside the document, not over it, so that what the document draws shows.
        gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(scrolled_), FALSE);
        gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled_), widget());
        gtk_window_set_default_size(window(), width, height);
        EXPECT_TRUE(show(scrolled_, [&] { return host_.framesDrawn() > 0; }));
        if (settled) {
            settle();
        }
    }
    ~DocumentWindow() override { g_object_unref(scrolled_); }

    [[nodiscard]] platform::ViewHostWidget& host() { return host_; }
    [[nodiscard]] GtkAdjustment* adjustment() const {
        return gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled_));
    }
    [[nodiscard]] double offset() const { return gtk_adjustment_get_value(adjustment()); }
    [[nodiscard]] int viewWidth() const { return gtk_widget_get_width(widget()); }
    [[nodiscard]] int viewHeight() const { return gtk_widget_get_height(widget()); }

    // Lets the window finish what it does: pictures loaded, every row laid out in idle time, the
    // last change drawn.
    void settle() {
        settleTasks(*ended_, pictures_);
        ASSERT_TRUE(waitUntil([&] {
            ui::ViewGraph& graph = host_.graph();
            return !graph.needsUpdate() && !graph.hasDeferredLayout() &&
                   platform::MainExecutor::shared().pendingCount() == 0;
        }));
        frames();
    }
    // Lets the window draw what it was asked to, and no more: rows the lazy stack still estimates
    // are laid out in idle time after.
    void drawn() {
        ASSERT_TRUE(waitUntil([&] { return !host_.graph().needsUpdate(); }));
        frames();
    }
    // Three frames of the window's clock: whatever was asked to be drawn has been.
    void frames() {
        int ticks = 0;
        const guint tick = gtk_widget_add_tick_callback(
            widget(),
            +[](GtkWidget*, GdkFrameClock*, gpointer count) -> gboolean {
                ++*static_cast<int*>(count);
                return G_SOURCE_CONTINUE;
            },
            &ticks, nullptr);
        ASSERT_TRUE(waitUntil([&] { return ticks >= 3; }));
        gtk_widget_remove_tick_callback(widget(), tick);
    }
    [[nodiscard]] bool layingOutInIdleTime() { return host_.graph().hasDeferredLayout(); }
    // Settles, and lets the window draw until the view stays where it is for a few frames (an
    // animated scroll has come to rest).
    void rest() {
        settle();
        for (double before = offset() - 1; offset() != before;) {
            before = offset();
            frames();
        }
    }
    // Takes the keyboard as a reader's click on the document would give it.
    void takeKeys() {
        focus(); // there is no window manager to do it
        ASSERT_TRUE(waitUntil([&] { return gtk_window_is_active(window()) != FALSE; }));
        gtk_widget_grab_focus(widget());
    }

    // The text at the top of the view (the reader's place: the first that reaches into it),
    // told apart from every other by its characters, or none. Texts not placed have no place.
    [[nodiscard]] std::optional<PlacedText> firstTextShown() const {
        const vellum::LiveTextLayoutCollection texts(
            *texts_, ui::GeometryProxy(platform::Rect(0, 0, 1, 1), nullptr));
        std::optional<PlacedText> first;
        for (std::size_t i = 0; i < texts.layoutCount(); ++i) {
            if (!texts.layout(i).placed()) {
                continue;
            }
            const std::string& text = texts.layout(i).string();
            const double top = texts.layout(i).origin().y;
            const double bottom = top + texts.layout(i).bounds().size.height;
            if (bottom > offset() && (!first || top < first->top) && unique(texts, text)) {
                first = PlacedText{text, top};
            }
        }
        return first;
    }
    // Where the text `text` starts now, once placed.
    [[nodiscard]] std::optional<double> topOf(const std::string& text) const {
        const vellum::LiveTextLayoutCollection texts(
            *texts_, ui::GeometryProxy(platform::Rect(0, 0, 1, 1), nullptr));
        for (std::size_t i = 0; i < texts.layoutCount(); ++i) {
            if (texts.layout(i).string() == text && texts.layout(i).placed()) {
                return texts.layout(i).origin().y;
            }
        }
        return std::nullopt;
    }

    // The line at the top of the view (the reader's place: the first that reaches into it) in a
    // text told apart from every other by its characters, or none.
    [[nodiscard]] std::optional<PlacedLine> firstLineShown() const {
        const vellum::LiveTextLayoutCollection texts(
            *texts_, ui::GeometryProxy(platform::Rect(0, 0, 1, 1), nullptr));
        std::optional<PlacedLine> first;
        for (std::size_t i = 0; i < texts.layoutCount(); ++i) {
            const auto& text = static_cast<const vellum::LiveTextLayout&>(texts.layout(i));
            if (!text.placed() || !unique(texts, text.string())) {
                continue;
            }
            for (const platform::TextLayout::Line& line : text.base().base().lines()) {
                const platform::Rect bounds = line.typographicBounds.rect();
                const double top = text.origin().y + bounds.minY();
                if (top + bounds.size.height > offset()) {
                    if (!first || top < first->top) {
                        first = PlacedLine{text.string(), line.characterRange.lowerBound, top};
                    }
                    break;
                }
            }
        }
        return first;
    }
    // Where the line of `line`'s text that holds its first character starts now, once placed.
    [[nodiscard]] std::optional<double> topOf(const PlacedLine& line) const {
        const vellum::LiveTextLayoutCollection texts(
            *texts_, ui::GeometryProxy(platform::Rect(0, 0, 1, 1), nullptr));
        for (std::size_t i = 0; i < texts.layoutCount(); ++i) {
            const auto& text = static_cast<const vellum::LiveTextLayout&>(texts.layout(i));
            if (text.string() != line.text || !text.placed()) {
                continue;
            }
            const platform::TextLayout& laidOut = text.base().base();
            if (const std::optional<std::size_t> at = laidOut.lineIndex(line.start)) {
                return text.origin().y + laidOut.lines()[*at].typographicBounds.rect().minY();
            }
        }
        return std::nullopt;
    }

    // Scrolls so that the document's point `y` is at the top of the view, as the scroll bar does;
    // with `settled`, every row is laid out before it returns, otherwise the screen is drawn.
    void scrollTo(double y, bool settled = true) {
        gtk_adjustment_set_value(adjustment(), y);
        if (settled) {
            settle();
        } else {
            drawn();
        }
    }

    // Gives the window a new width, as the user dragging its edge does; with `settled`, every row
    // is laid out at it before it returns, otherwise the screen is drawn.
    void resize(int width, bool settled = true) {
        moss_test::xtest::resize(window(), width * scale(), height_ * scale());
        ASSERT_TRUE(waitUntil([&] {
            return gtk_widget_get_width(GTK_WIDGET(window())) == width &&
                   gtk_widget_get_width(scrolled_) == width;
        }));
        if (settled) {
            settle();
        } else {
            drawn();
        }
    }
    // The same, the edge dragged there 20 points at a time, each width drawn on the way.
    void drag(int width, bool settled = true) {
        for (int now = gtk_widget_get_width(GTK_WIDGET(window())); now != width;) {
            now = now < width ? std::min(now + 20, width) : std::max(now - 20, width);
            resize(now, now == width && settled);
        }
    }

private:
    static bool unique(const vellum::LiveTextLayoutCollection& texts, const std::string& text) {
        std::size_t same = 0;
        for (std::size_t j = 0; j < texts.layoutCount(); ++j) {
            same += texts.layout(j).string() == text ? 1 : 0;
        }
        return same == 1;
    }

    int height_ = 0;
    GtkWidget* scrolled_ = nullptr;
};

class DocumentWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* why = moss_test::startToolkitWithXTest()) {
            GTEST_SKIP() << why;
        }
        // Tasks (pictures loading, code colouring) run on the window's main loop, as in an
        // application.
        platform::MainExecutor::shared().attachToGlibMainContext(g_main_context_default());
    }
    void TearDown() override { platform::MainExecutor::shared().attachToGlibMainContext(nullptr); }

    // Scrolls `shown` from the top to the end a page at a time; every screen must equal the same
    // part of the document laid out whole at the window's width.
    static void expectEveryScreenAsLaidOutWhole(DocumentWindow& shown, const std::string& markdown,
                                                const std::string& name) {
        Reference whole(markdown, shown.viewWidth());
        EXPECT_NEAR(shown.host().graph().size().height, whole.height(), 0.5)
            << "the window's document is not as tall as the document laid out whole";
        const platform::Size page{double(shown.viewWidth()), double(shown.viewHeight())};
        double last = -1;
        for (int screen = 0;; ++screen) {
            shown.scrollTo(double(screen) * page.height * 0.8);
            const double top = shown.offset();
            if (top == last) {
                return; // the end of the window's document
            }
            last = top;
            const platform::Image seen = screenImage(shown);
            // The window draws the document moved by whole device pixels.
            const platform::Image expected =
                whole.region(std::round(top * shown.scale()) / shown.scale(), page);
            const std::string differs = difference(seen, expected);
            if (!differs.empty()) {
                ADD_FAILURE() << name << ", the screen scrolled to " << top << ": " << differs;
                const std::string at = name + "-" + std::to_string(screen);
                keep(seen, "moss-" + at + "-window.png");
                keep(expected, "moss-" + at + "-whole.png");
            }
        }
    }
};

TEST_F(DocumentWindowTest, FormulasBelowTheFirstScreenDrawAsInTheFirst) {
    const std::string markdown = moss_test::readFile(fixtures / "math-notes.md");
    DocumentWindow shown(markdown, 900, 600);
    expectEveryScreenAsLaidOutWhole(shown, markdown, "math-notes");
}

TEST_F(DocumentWindowTest, PicturesTablesAndCodeBelowTheFirstScreenDrawAsInTheFirst) {
    const std::string markdown = moss_test::readFile(fixtures / "readme.md");
    DocumentWindow shown(markdown, 900, 600);
    expectEveryScreenAsLaidOutWhole(shown, markdown, "readme");
}

// A list and a table long enough to lay out their items and rows as they come into view, and
// not only their blocks: the markers and the columns below the first screen are those of the
// first.
TEST_F(DocumentWindowTest, ALongListAndALongTableBelowTheFirstScreenDrawAsInTheFirst) {
    std::string markdown = "# Long blocks\n\n";
    for (int item = 1; item <= 250; ++item) {
        markdown += std::to_string(item) + ". item " + std::to_string(item * 37 % 1000) + "\n";
    }
    markdown += "\n| key | value |\n|---|:-:|\n";
    for (int row = 0; row < 150; ++row) {
        markdown += "| key " + std::to_string(row * 7919 % 100000) + " | value " +
                    std::to_string(row) + " |\n";
    }
    markdown += "\nThe end.\n";
    DocumentWindow shown(markdown, 900, 600);
    expectEveryScreenAsLaidOutWhole(shown, markdown, "long-blocks");
}

TEST_F(DocumentWindowTest, WideningAndNarrowingKeepTheReadersPlace) {
    // A line of the body text is about 16 points high.
    constexpr double line = 20;
    for (const char* name : {"readme", "math-notes"}) {
        const std::string markdown = moss_test::readFile(fixtures / (std::string(name) + ".md"));
        DocumentWindow shown(markdown, 900, 600);
        for (const double at : {700.0}) {
            shown.scrollTo(at);
            const std::optional<PlacedText> reading = shown.firstTextShown();
            ASSERT_TRUE(reading.has_value()) << name;
            const double below = reading->top - shown.offset();
            for (const int width : {1500, 700, 900}) {
                shown.resize(width);
                const std::optional<double> top = shown.topOf(reading->text);
                ASSERT_TRUE(top.has_value()) << name << ": " << reading->text;
                EXPECT_NEAR(*top - shown.offset(), below, line)
                    << name << " at " << at << ", " << width << " wide: \"" << reading->text
                    << "\" moved from the reader's place";
            }
        }
    }
}

TEST_F(DocumentWindowTest, AfterWideningAndNarrowingEveryScreenDrawsAsLaidOutWhole) {
    for (const char* name : {"math-notes", "readme"}) {
        const std::string markdown = moss_test::readFile(fixtures / (std::string(name) + ".md"));
        DocumentWindow shown(markdown, 900, 600);
        shown.scrollTo(700);
        for (const int width : {1500, 700, 900}) {
            shown.resize(width);
        }
        expectEveryScreenAsLaidOutWhole(shown, markdown, std::string(name) + "-resized");
    }
}

// A table of many more columns than a window shows lays out only those near the screen: the
// window shows them, and after widening the window the columns that came into view, as the table
// laid out whole draws them.
TEST_F(DocumentWindowTest, AVeryWideTableDrawsAsLaidOutWholeAndAfterWidening) {
    std::string markdown = wideTableMarkdown(24, 160) + "\nThe end.\n";
    DocumentWindow shown(markdown, 900, 600);
    expectEveryScreenAsLaidOutWhole(shown, markdown, "wide-table");
    shown.scrollTo(0);
    shown.resize(1500);
    expectEveryScreenAsLaidOutWhole(shown, markdown, "wide-table-widened");
}

// A picture wider than the window is fitted to the width it has at each width: back at a width
// it had before, the document lays out as it did, the picture as wide as it was then.
TEST_F(DocumentWindowTest, AWidePictureGrowsBackWithTheWindow) {
    // A thousand pixels wide: fitted at 900 and 700, as it is at 1500.
    const std::string markdown = "# A photograph\n\n![Bands of colour](photo.png)\n\n" +
                                 moss_test::readFile(fixtures / "readme.md");
    DocumentWindow shown(markdown, 900, 700);
    const platform::Image first = screenImage(shown);
    const double height = shown.host().graph().size().height;
    for (const int width : {1500, 700, 900}) {
        shown.resize(width);
    }
    shown.scrollTo(0);
    EXPECT_NEAR(shown.host().graph().size().height, height, 0.5);
    const platform::Image again = screenImage(shown);
    if (const std::string differs = difference(again, first); !differs.empty()) {
        ADD_FAILURE() << "the first screen after 1500, 700 and 900 wide: " << differs;
        keep(again, "moss-picture-again-window.png");
        keep(first, "moss-picture-first-window.png");
    }
}

// Release notes: a heading and a short list for each of many versions.
std::string changelogMarkdown() {
    std::string markdown = "# Changes\n\n";
    for (int version = 60; version > 0; --version) {
        markdown += "## 1." + std::to_string(version) + ".0\n\n";
        for (int change = 0; change < 1 + version % 4; ++change) {
            markdown += "- " + std::string(change % 2 == 0 ? "Fixed" : "Added") + " item " +
                        std::to_string(version * 10 + change) + " of the release notes\n";
        }
        markdown += "\n";
    }
    return markdown + "The first release.\n";
}

// End, pressed while the rows the view has not reached are still estimates, scrolls (animated) to
// an end that moves as those rows are laid out: the view comes to rest at the document's end,
// showing its last screen, whether the estimate was too long or too short.
TEST_F(DocumentWindowTest, EndRightAfterTheFirstFrameOrANewWidthRestsAtTheEnd) {
    for (const char* name : {"readme", "changelog", "math-notes"}) {
        const std::string markdown =
            std::string(name) == "changelog"
                ? changelogMarkdown()
                : moss_test::readFile(fixtures / (std::string(name) + ".md"));
        for (const bool widened : {false, true}) {
            const std::string what = std::string(name) + (widened ? " widened" : "");
            DocumentWindow shown(markdown, widened ? 700 : 900, 700, widened);
            shown.takeKeys();
            if (widened) {
                shown.resize(1500, false);
            }
            shown.key("End");
            shown.rest();
            Reference whole(markdown, shown.viewWidth());
            const double end = whole.height() - shown.viewHeight();
            EXPECT_NEAR(gtk_adjustment_get_upper(shown.adjustment()), whole.height(), 0.5) << what;
            EXPECT_NEAR(shown.offset(), end, 0.5) << what << ": not at the end";
            const platform::Size page{double(shown.viewWidth()), double(shown.viewHeight())};
            const platform::Image seen = screenImage(shown);
            const platform::Image expected =
                whole.region(std::round(end * shown.scale()) / shown.scale(), page);
            if (const std::string differs = difference(seen, expected); !differs.empty()) {
                ADD_FAILURE() << what << ", the last screen: " << differs;
                keep(seen, "moss-end-" + what + "-window.png");
                keep(expected, "moss-end-" + what + "-whole.png");
            }
        }
    }
}

// A document scrolled to a place and its window given new widths one after the other.
struct ResizePath {
    // A fixture's name, or one of the documents made below (`resizedDocument`).
    const char* document;
    // Where the document is scrolled to first; from the end of the view's extent when negative.
    double at;
    std::vector<int> widths;
    // The document scrolled and each width given while the window lays out nothing in idle time:
    // the rows not shown are still estimated at each width.
    bool hurried;
    // Each width reached by dragging the window's edge, drawn at every step on the way.
    bool dragged = false;
};

// Documents whose block at the top of the view, scrolled into, is taller than the view: lists
// and tables, a short one laid out whole and one long enough to lay out its items and rows as they
// come into view, and a long paragraph. Every item, cell and paragraph is told apart by its words;
// some run over several lines, more of them the narrower the window.
std::string resizedDocument(const std::string& name) {
    const auto words = [](int row) {
        std::string text = std::to_string(row * 37 % 1000);
        for (int more = 0; row % 3 == 0 && more < 3; ++more) {
            text += " and its words run on long enough to fill more than one line of a window of "
                    "the document, more of them as the window grows narrower, fewer as it grows "
                    "wider again";
        }
        return text;
    };
    if (name == "long-lists" || name == "long-tables") {
        const bool lists = name == "long-lists";
        std::string markdown = "# Long blocks\n\nA short paragraph before them.\n\n";
        for (const int rows : {40, 120}) {
            markdown += lists ? "" : "| key | value |\n|---|:-:|\n";
            for (int row = 1; row <= rows; ++row) {
                markdown += lists ? std::to_string(row) + ". item " + words(rows + row) + "\n"
                                  : "| key " + std::to_string(rows + row) + " | value " +
                                        words(rows + row) + " |\n";
            }
            markdown += "\nA paragraph after them.\n\n";
        }
        return markdown;
    }
    if (name == "long-paragraph") {
        std::string markdown = "# A long paragraph\n\n";
        for (int sentence = 1; sentence <= 400; ++sentence) {
            markdown += "Sentence " + std::to_string(sentence) +
                        " of the paragraph says a few words more. ";
        }
        return markdown + "\n\nThe end.\n";
    }
    return moss_test::readFile(fixtures / (name + ".md"));
}

// While it lives, the window lays out nothing in idle time, as when its main loop is busy with
// other work: input, resizes, updates and drawing go on, the rows not shown stay estimated.
class IdleLayoutHeld {
public:
    IdleLayoutHeld()
        : source_(g_idle_add_full(
              G_PRIORITY_DEFAULT_IDLE - 1, +[](gpointer) -> gboolean { return G_SOURCE_CONTINUE; },
              nullptr, nullptr)) {}
    ~IdleLayoutHeld() { g_source_remove(source_); }
    IdleLayoutHeld(const IdleLayoutHeld&) = delete;
    IdleLayoutHeld& operator=(const IdleLayoutHeld&) = delete;

private:
    guint source_;
};

void PrintTo(const ResizePath& path, std::ostream* out) {
    *out << path.document << " at " << path.at << ",";
    for (const int width : path.widths) {
        *out << " " << width;
    }
    *out << (path.hurried ? " hurried" : "") << (path.dragged ? " dragged" : "");
}

class ResizeTest : public DocumentWindowTest, public ::testing::WithParamInterface<ResizePath> {};

// The line at the top of the view stays there, within a line, after every new width: the rows
// above it are laid out anew at each width (or still estimated), and the extent below it shrinks
// and grows; inside a block taller than the view (a long list or table, a long paragraph), the
// item, row or line the reader is at keeps its place, not the block's top far above. Only where
// the document below the line no longer fills the view does the view show the document's end,
// the line lower than its place; from then on, the line keeps that place.
TEST_P(ResizeTest, TheLineAtTheTopOfTheViewKeepsItsPlace) {
    // A line of the body text is about 16 points high.
    constexpr double line = 20;
    const ResizePath& path = GetParam();
    const std::string markdown = resizedDocument(path.document);
    DocumentWindow shown(markdown, 900, 600, !path.hurried);
    std::optional<IdleLayoutHeld> held;
    if (path.hurried) {
        held.emplace();
    }
    const auto end = [&] {
        return gtk_adjustment_get_upper(shown.adjustment()) - shown.viewHeight();
    };
    shown.scrollTo(path.at < 0 ? end() + path.at : path.at, !path.hurried);
    const std::optional<PlacedLine> reading = shown.firstLineShown();
    ASSERT_TRUE(reading.has_value());
    double below = reading->top - shown.offset();
    const auto expectInPlace = [&](const std::string& when) {
        const std::optional<double> top = shown.topOf(*reading);
        ASSERT_TRUE(top.has_value()) << reading->text;
        const double now = *top - shown.offset();
        if (now > below && std::abs(shown.offset() - end()) < 0.5) {
            below = now;
            return;
        }
        EXPECT_NEAR(now, below, line)
            << when << ", scrolled to " << shown.offset() << ": the line at " << reading->start
            << " of \"" << reading->text.substr(0, 60) << "\" moved from the top of the view";
    };
    for (const int width : path.widths) {
        if (path.dragged) {
            shown.drag(width, !path.hurried);
        } else {
            shown.resize(width, !path.hurried);
        }
        expectInPlace(std::to_string(width) + " wide");
    }
    if (path.hurried) {
        EXPECT_TRUE(shown.layingOutInIdleTime()) << "every row was laid out at the last width";
        held.reset();
        shown.settle();
        expectInPlace("laid out whole");
    }
}

// A long list under a heading, its items laid out as they come into view, scrolled well into
// the list and widened: at the new width the list is not measured yet, and the short blocks
// around it would make the document end above the part shown. The window comes to rest with the
// item at the top of the view in its place.
TEST_F(DocumentWindowTest, ALongListUnderAHeadingScrolledIntoAndWidenedComesToRest) {
    // A line of the body text is about 16 points high.
    constexpr double line = 20;
    std::string markdown = "# A long list\n\n";
    for (int item = 1; item <= 250; ++item) {
        markdown += std::to_string(item) + ". item " + std::to_string(item * 37 % 1000) + "\n";
    }
    markdown += "\nThe end.\n";
    DocumentWindow shown(markdown, 900, 600);
    shown.scrollTo(2000);
    const std::optional<PlacedText> reading = shown.firstTextShown();
    ASSERT_TRUE(reading.has_value());
    const double below = reading->top - shown.offset();
    // A window that never rests fails the wait for it to settle, at the deadline that tells a
    // hang.
    shown.resize(1500);
    const std::optional<double> top = shown.topOf(reading->text);
    ASSERT_TRUE(top.has_value()) << reading->text;
    EXPECT_NEAR(*top - shown.offset(), below, line)
        << "scrolled to " << shown.offset() << ": \"" << reading->text
        << "\" moved from the top of the view";
}

// Scrolled near the end: far enough from it that the rows below the top one still fill the view
// at every width; at the end: the view keeps showing it where the document grows shorter.
constexpr double theEnd = -0.5;
INSTANTIATE_TEST_SUITE_P(
    Paths, ResizeTest,
    ::testing::Values(ResizePath{"readme", 0, {1500, 700, 900}, false},
                      ResizePath{"readme", 1400, {1500, 700, 900}, false},
                      ResizePath{"readme", 1400, {700, 1500, 900}, false},
                      ResizePath{"readme", -200, {1500, 700, 900}, false},
                      ResizePath{"readme", theEnd, {1500, 700, 900}, false},
                      ResizePath{"readme", 1400, {1500, 700, 900}, true},
                      // The banner's foot at the top: narrower, the banner
                      // is out of view, and back at the first width in place.
                      ResizePath{"readme", 300, {1500, 700, 900}, true},
                      ResizePath{"math-notes", 1400, {1500, 700, 900}, false},
                      ResizePath{"math-notes", theEnd, {1500, 700, 900}, false},
                      ResizePath{"math-notes", 1400, {1500, 700, 900}, true},
                      // The top of the view inside a list, a table and a paragraph taller than
                      // it; the lists and tables short and long, the long list's top inside an
                      // item of several lines.
                      ResizePath{"long-lists", 1000, {1500, 700, 900}, false},
                      ResizePath{"long-lists", 3066, {1500, 700, 900}, false},
                      ResizePath{"long-tables", 1000, {1500, 700, 900}, false},
                      ResizePath{"long-tables", 3000, {1500, 700, 900}, false},
                      ResizePath{"long-paragraph", 1000, {1500, 700, 900}, false},
                      ResizePath{"long-paragraph", 1000, {700, 900}, false, true}));

// The same table scrolling sideways in its column: the columns that come into view are laid out
// as the window scrolls, and the window draws them as the offscreen host scrolled as far does.
TEST_F(DocumentWindowTest, AVeryWideTableScrolledSidewaysDrawsAsOffscreen) {
    std::string markdown = wideTableMarkdown(20, 160);
    ui::EnvironmentValues environment = lightEnvironment();
    environment.set<vellum::structured::TableStyleKey>(vellum::structured::TableStyle::overflow(1));
    DocumentWindow shown(markdown, 900, 600, true, environment);
    Reference offscreen(markdown, shown.viewWidth(), environment);
    const platform::Size page{double(shown.viewWidth()), double(shown.viewHeight())};
    const platform::Point inTable{450, 150};
    for (const double dx : {3000.0, 2500.0, -700.0, 150.0}) {
        ASSERT_TRUE(shown.host().graph().scrollEvent({inTable, dx, 0}));
        shown.settle();
        ASSERT_TRUE(offscreen.host().graph().scrollEvent({inTable, dx, 0}));
        offscreen.host().runUntilIdle();
        const platform::Image seen = screenImage(shown);
        // Text in every third of the screen's width: no columns left blank.
        const std::vector<std::uint8_t> pixels = seen.rgba();
        for (int third = 0; third < 3; ++third) {
            int inked = 0;
            for (int y = 120; y < seen.height(); ++y) {
                for (int x = third * seen.width() / 3; x < (third + 1) * seen.width() / 3; ++x) {
                    inked += pixels[(std::size_t(y) * std::size_t(seen.width()) + x) * 4] < 96;
                }
            }
            EXPECT_GT(inked, 2000) << "scrolled sideways by " << dx << ", third " << third;
        }
        const std::string differs = difference(seen, offscreen.region(0, page));
        if (!differs.empty()) {
            ADD_FAILURE() << "scrolled sideways by " << dx << ": " << differs;
            keep(seen, "moss-wide-table-sideways-window.png");
            keep(offscreen.region(0, page), "moss-wide-table-sideways-offscreen.png");
        }
    }
}

// An animated picture inline in a paragraph (drawn by the text's attachment canvas, through the
// picture's timeline) plays in the window: the screen shows its frames in turn, not only the
// first. Each frame is one colour, red then blue, a tenth of a second each, for ever.
TEST_F(DocumentWindowTest, AnAnimatedPictureInAParagraphPlaysOnScreen) {
    const fs::path folder = fs::temp_directory_path() / "moss-animated-inline";
    fs::create_directories(folder);
    const fs::path picture = folder / "two-colours.gif";
    {
        constexpr int side = 24;
        const std::vector<std::uint8_t> palette{230, 20, 20, 20, 20, 230};
        std::vector<fixtures::GifFrame> frames;
        for (std::uint8_t colour = 0; colour < 2; ++colour) {
            fixtures::GifFrame frame;
            frame.width = frame.height = side;
            frame.indices.assign(std::size_t(side) * side, colour);
            frame.delayCentiseconds = 10;
            frames.push_back(frame);
        }
        const fixtures::Bytes gif = fixtures::makeGIF(side, side, palette, frames, 0);
        std::ofstream(picture, std::ios::binary)
            .write(reinterpret_cast<const char*>(gif.data()), std::streamsize(gif.size()));
    }
    const std::string markdown = "Before the picture ![two colours](file://" + picture.string() +
                                 ") and after it, in one paragraph.\n";
    DocumentWindow shown(markdown, 600, 300);
    // Which of the picture's colours the screen shows, if either.
    const auto colourShown = [&] {
        const std::vector<std::uint8_t> pixels = screenImage(shown).rgba();
        int red = 0;
        int blue = 0;
        for (std::size_t i = 0; i + 3 < pixels.size(); i += 4) {
            red += pixels[i] > 180 && pixels[i + 2] < 80 ? 1 : 0;
            blue += pixels[i + 2] > 180 && pixels[i] < 80 ? 1 : 0;
        }
        return red > 100 ? 'r' : blue > 100 ? 'b' : '-';
    };
    std::string seen;
    EXPECT_TRUE(waitUntil([&] {
        const char now = colourShown();
        if (now != '-' && seen.find(now) == std::string::npos) {
            seen += now;
        }
        return seen.size() >= 2;
    })) << "the screen showed only \""
        << seen << "\"";
    if (seen.size() < 2) {
        keep(screenImage(shown), "moss-animated-inline-window.png");
    }
    fs::remove_all(folder);
}

} // namespace
