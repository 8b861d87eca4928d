// The widget's drawing as the screen shows it, against an offscreen render of the same region of
// the same tree: the strips of pixels the widget keeps must show what the tree draws now, where
// it draws it, after scrolling, after a change, at either display scale.

#include "platform/appkit/ViewHostWidget.hpp"
#include "platform/graphics/CairoAccess.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/observation/ObservationRegistrar.hpp"
#include "platform/ui/UI.hpp"
#include "tests/support/MainLoopWait.hpp"
#include "tests/support/XInput.hpp"

#include <cairo.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace platform::ui;
using platform::Point;
using platform::ViewHostWidget;

constexpr int rowCount = 60;
constexpr double rowHeight = 50;
constexpr double viewHeight = 200;

const platform::Color tappedColor{0.9, 0.3, 0.1};

// A row: a band of colour that turns orange when tapped, a rounded badge (a curved clip) and a
// line of text.
struct Row {
    int index = 0;
    AnyView body(ViewContext& context) const {
        auto tapped = context.state<bool>(false);
        const platform::Color band =
            *tapped ? tappedColor
                    : platform::Color(0.55 + 0.007 * index, 0.75, 0.95 - 0.01 * index);
        return HStack(VerticalAlignment::center(), 8,
                      {Rectangle()
                           .fill(platform::Color(0.2, 0.4, 0.8))
                           .frame(30, 30)
                           .clipShape(RoundedRectangle(9)),
                       Text("Row " + std::to_string(index) + ": a line of text, jumped over")
                           .font(platform::Font::system(13))})
            .frame(240, rowHeight, Alignment::leading())
            .background(Rectangle().fill(band))
            .onTapGesture([tapped](Point) { tapped.set(!*tapped); });
    }
};

AnyView rows() {
    std::vector<AnyView> children;
    for (int index = 0; index < rowCount; ++index) {
        children.push_back(AnyView(Row{index}));
    }
    return VStack(HorizontalAlignment::leading(), 0, std::move(children))
        .background(Rectangle().fill(platform::Color::gray(1)));
}

// How the window scrolls the host: the host scrolls its tree itself (it has the window's
// adjustment), or a viewport scrolls the host whole (the host, as tall as its tree, has none).
enum class Scrolling { byTheHost, whole };

// The host in a window 240 × 200 points that scrolls it vertically; its screenshots show the part
// shown.
class ScrolledHost : public moss_test::InputWindow {
public:
    explicit ScrolledHost(ViewHostWidget& host, Scrolling scrolling = Scrolling::byTheHost)
        : InputWindow(scrolling == Scrolling::whole ? gtk_viewport_new(nullptr, nullptr)
                                                    : GTK_WIDGET(host.gtkWidget()))
        , host_(host) {
        if (scrolling == Scrolling::whole) {
            gtk_viewport_set_child(GTK_VIEWPORT(widget()), GTK_WIDGET(host.gtkWidget()));
        }
        GtkWidget* const scroller = gtk_scrolled_window_new();
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER,
                                       GTK_POLICY_EXTERNAL);
        gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(scroller), int(viewHeight));
        gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scroller), int(viewHeight));
        gtk_scrolled_window_set_min_content_width(GTK_SCROLLED_WINDOW(scroller), 240);
        gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), widget());
        vertical_ = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroller));
        show(scroller, [&host] { return host.framesDrawn() > 0; });
    }

    // Scrolls to `offset` and waits until the screen shows it.
    void scrollTo(double offset) const {
        const auto frames = host_.framesDrawn();
        gtk_adjustment_set_value(vertical_, offset);
        settle(frames);
    }
    // Waits for a frame drawn after `frames`, and for the display to have it.
    void settle(std::uint64_t frames) const {
        moss_test::waitUntil([&] { return host_.framesDrawn() > frames; });
        gdk_display_sync(display());
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        moss_test::waitUntil([end] { return std::chrono::steady_clock::now() >= end; });
    }
    [[nodiscard]] double offset() const { return gtk_adjustment_get_value(vertical_); }
    [[nodiscard]] double bottom() const {
        return gtk_adjustment_get_upper(vertical_) - gtk_adjustment_get_page_size(vertical_);
    }

private:
    ViewHostWidget& host_;
    GtkAdjustment* vertical_ = nullptr;
};

// What an offscreen render of the region of the tree the widget shows at `offset` draws.
platform::ImageSurface offscreen(ViewHostWidget& host, double offset, int scale, double width) {
    platform::ImageSurface surface = platform::ImageSurface::ofSize({width, viewHeight}, scale);
    platform::GraphicsContext context(surface);
    context.translateBy(0, -offset);
    context.clip(platform::Rect(0, offset, width, viewHeight));
    host.graph().draw(context);
    return surface;
}

// Compares the screen with the offscreen render pixel by pixel: at most a rounding step apart,
// but for a few pixels (no more than 0.2%) a little more. A strip drawn stale or a few pixels out
// of place differs over whole rows of text.
::testing::AssertionResult screenShowsTheRender(const ScrolledHost& shown, ViewHostWidget& host) {
    cairo_surface_t* const screen = shown.screenshot();
    platform::ImageSurface expected =
        offscreen(host, shown.offset(), shown.scale(), gtk_widget_get_width(shown.widget()));
    cairo_surface_t* const render = expected.internal().surface;
    cairo_surface_flush(render);
    const int width = cairo_image_surface_get_width(screen);
    const int height = cairo_image_surface_get_height(screen);
    if (width != cairo_image_surface_get_width(render) ||
        height != cairo_image_surface_get_height(render)) {
        cairo_surface_destroy(screen);
        return ::testing::AssertionFailure() << "the screen shows another size";
    }
    int off = 0;
    int worst = 0;
    int firstRow = -1;
    for (int y = 0; y < height; ++y) {
        const auto* a = reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(screen) + y * cairo_image_surface_get_stride(screen));
        const auto* b = reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(render) + y * cairo_image_surface_get_stride(render));
        for (int x = 0; x < width; ++x) {
            int d = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                d = std::max(d, std::abs(int(a[x] >> shift & 0xff) - int(b[x] >> shift & 0xff)));
            }
            worst = std::max(worst, d);
            if (d > 2) {
                ++off;
                if (firstRow < 0) {
                    firstRow = y;
                }
            }
        }
    }
    const std::string name = "moss-surface-tiles-" + std::to_string(int(shown.offset())) + ".png";
    moss_test::keepScreenshot(screen, name);
    cairo_surface_destroy(screen);
    if (off > width * height / 500 || worst > 40) {
        return ::testing::AssertionFailure()
               << off << " pixels differ (worst by " << worst << "), the first in row " << firstRow
               << ", at offset " << shown.offset() << "; see " << name;
    }
    return ::testing::AssertionSuccess();
}

void tap(ViewHostWidget& host, Point inTree) {
    PointerEvent event;
    event.location = inTree;
    event.kind = PointerEvent::Kind::down;
    host.graph().pointerEvent(event);
    event.kind = PointerEvent::Kind::up;
    host.graph().pointerEvent(event);
}

class SurfaceTilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* why = moss_test::startToolkitWithXTest()) {
            GTEST_SKIP() << why;
        }
    }
};

// Offsets that fall between strips and on their edges, down to the end and back up.
TEST_F(SurfaceTilesTest, EveryScreenScrolledToIsTheOffscreenRenderOfItsRegion) {
    ViewHostWidget host{rows()};
    const ScrolledHost shown{host};
    EXPECT_TRUE(screenShowsTheRender(shown, host));
    for (const double offset : {37.0, 128.0, 421.0, 1333.0, 905.0, 0.0}) {
        shown.scrollTo(offset);
        ASSERT_DOUBLE_EQ(shown.offset(), offset);
        EXPECT_TRUE(screenShowsTheRender(shown, host));
    }
    shown.scrollTo(shown.bottom());
    EXPECT_TRUE(screenShowsTheRender(shown, host));
}

// The same drawn by the toolkit's GL renderer, which the tests' environment does not choose: its
// first frame draws the strips the edge cuts as textures of their rows shown, later ones whole
// strips under the scrolled window's clip.
TEST_F(SurfaceTilesTest, TheGLRenderersScreensAreTheOffscreenRenders) {
    GdkDisplay* const display = gdk_display_get_default();
    g_object_set_data_full(G_OBJECT(display), "gsk-renderer", g_strdup("gl"), g_free);
    ViewHostWidget host{rows()};
    const ScrolledHost shown{host};
    g_object_set_data(G_OBJECT(display), "gsk-renderer", nullptr);
    if (GSK_IS_CAIRO_RENDERER(gtk_native_get_renderer(GTK_NATIVE(shown.window())))) {
        GTEST_SKIP() << "no GL renderer on this display";
    }
    EXPECT_TRUE(screenShowsTheRender(shown, host));
    for (const double offset : {37.0, 421.0, 0.0}) {
        shown.scrollTo(offset);
        EXPECT_TRUE(screenShowsTheRender(shown, host));
    }
}

// A change on screen is drawn; a change to a row scrolled away but still kept is drawn when the
// row comes back; rows that did not change are not drawn again.
TEST_F(SurfaceTilesTest, AChangeShowsOnScreenAndAfterScrollingBack) {
    ViewHostWidget host{rows()};
    const ScrolledHost shown{host};
    shown.scrollTo(60);

    const auto frames = host.framesDrawn();
    const auto drawn = host.graph().statistics().drawnOperations;
    tap(host, {200, 3 * rowHeight + 10}); // row 3, on screen, in one strip
    shown.settle(frames);
    EXPECT_TRUE(screenShowsTheRender(shown, host));
    // Only the strip that holds the row is drawn again, not the screen.
    EXPECT_LE(host.graph().statistics().drawnOperations - drawn, 32u);

    shown.scrollTo(330);
    tap(host, {200, 1 * rowHeight + 10}); // row 1, scrolled away
    shown.scrollTo(40);
    EXPECT_TRUE(screenShowsTheRender(shown, host));
    cairo_surface_t* const screen = shown.screenshot();
    const int s = shown.scale();
    const auto pixel = *reinterpret_cast<const std::uint32_t*>(
        cairo_image_surface_get_data(screen) + (12 * s) * cairo_image_surface_get_stride(screen) +
        (236 * s) * 4);
    cairo_surface_destroy(screen);
    EXPECT_NEAR(int(pixel >> 16 & 0xff), 230, 3); // the tapped colour: (0.9, 0.3, 0.1)
    EXPECT_NEAR(int(pixel >> 8 & 0xff), 77, 3);
}

// Between frames the strips just beyond the screen are drawn, so that a scroll shows them without
// drawing; one whose rows change meanwhile is drawn again before it is shown.
TEST_F(SurfaceTilesTest, StripsDrawnAheadAreShownByTheNextScroll) {
    ViewHostWidget host{rows()};
    const ScrolledHost shown{host};
    // The screen shows strips 0 and 1 (points 0 to 256); strip 2, which starts within the margin
    // of half a screen below, is drawn ahead.
    ASSERT_TRUE(moss_test::waitUntil([&] { return host.statistics().stripsDrawnAhead >= 1; }));
    const auto drawn = host.statistics().stripsDrawn;
    shown.scrollTo(120);
    EXPECT_EQ(host.statistics().stripsDrawn, drawn);
    EXPECT_TRUE(screenShowsTheRender(shown, host));

    // Row 8 (points 400 to 450, strip 3) turns orange while strip 3 is kept but not shown.
    ASSERT_TRUE(moss_test::waitUntil([&] { return host.statistics().stripsDrawnAhead >= 2; }));
    const auto ahead = host.statistics().stripsDrawnAhead;
    tap(host, {200, 8 * rowHeight + 10});
    ASSERT_TRUE(moss_test::waitUntil([&] { return host.statistics().stripsDrawnAhead > ahead; }));
    const auto before = host.statistics().stripsDrawn;
    shown.scrollTo(250);
    EXPECT_EQ(host.statistics().stripsDrawn, before);
    EXPECT_TRUE(screenShowsTheRender(shown, host));
}

// Scrolling down a long lazy stack of paragraphs draws each strip once: a strip drawn ahead holds
// every row it shows (the stack places rows a band beyond the margin the strips are drawn in), and
// rows placed or let go beyond the margin do not make the strips near the screen stale (a long
// paragraph's ink reaches a line beyond its lines, not its own height).
TEST_F(SurfaceTilesTest, ScrollingALongLazyStackDrawsEachStripOnce) {
    std::vector<AnyView> paragraphs;
    for (int index = 0; index < 80; ++index) {
        std::string words = "Paragraph " + std::to_string(index) + ":";
        for (int word = 0; word < 6 + index % 9; ++word) {
            words += " a few words wrapped";
        }
        paragraphs.push_back(AnyView(Text(words).font(platform::Font::system(13))));
    }
    ViewHostWidget host{LazyVStack(HorizontalAlignment::leading(), 6, std::move(paragraphs))};
    const ScrolledHost shown{host};
    const auto idle = [&] {
        return !host.graph().hasDeferredLayout() && !g_main_context_pending(nullptr);
    };
    ASSERT_TRUE(moss_test::waitUntil(idle));
    const auto drawnAtStart = host.statistics().stripsDrawn + host.statistics().stripsDrawnAhead;
    double offset = 0;
    for (int step = 0; step < 60 && offset + 40 <= shown.bottom(); ++step) {
        offset += 40;
        shown.scrollTo(offset);
        ASSERT_TRUE(moss_test::waitUntil(idle));
    }
    ASSERT_GT(offset, 2000);
    const auto drawn =
        host.statistics().stripsDrawn + host.statistics().stripsDrawnAhead - drawnAtStart;
    // The strips the scroll brought in: those down to the screen's bottom and the margin below.
    const auto reached = std::uint64_t((offset + viewHeight + viewHeight / 2) / 128) + 1;
    const auto shownAtStart = std::uint64_t((viewHeight + viewHeight / 2) / 128) + 1;
    EXPECT_LE(drawn, reached - shownAtStart);
}

// A canvas's strip is drawn again when the canvas changes, and only then: a change elsewhere
// leaves it as it is.
TEST_F(SurfaceTilesTest, ACanvasIsDrawnAgainOnlyWhenItChanges) {
    struct Swatch {
        AnyView body(ViewContext& context) const {
            auto tapped = context.state<bool>(false);
            const platform::Color color = *tapped ? tappedColor : platform::Color(0.1, 0.6, 0.3);
            return AnyView(Canvas([color](CanvasContext& canvas, platform::Size size) {
                               canvas.graphics.fill(platform::Rect(4, 4, size.width - 8, 30),
                                                    color);
                           })
                               .frame(240, rowHeight)
                               .onTapGesture([tapped](Point) { tapped.set(!*tapped); }));
        }
    };
    std::vector<AnyView> children{AnyView(Swatch{})};
    for (int index = 0; index < 8; ++index) {
        children.push_back(AnyView(Row{index}));
    }
    ViewHostWidget host{VStack(HorizontalAlignment::leading(), 0, std::move(children))
                            .background(Rectangle().fill(platform::Color::gray(1)))};
    const ScrolledHost shown{host};

    // Row 2 (points 150 to 200) lies in strip 1 alone; the canvas in strip 0.
    auto frames = host.framesDrawn();
    auto drawn = host.statistics().stripsDrawn;
    tap(host, {200, 3 * rowHeight + 10});
    shown.settle(frames);
    EXPECT_EQ(host.statistics().stripsDrawn - drawn, 1u);
    EXPECT_TRUE(screenShowsTheRender(shown, host));

    frames = host.framesDrawn();
    drawn = host.statistics().stripsDrawn;
    tap(host, {120, 20});
    shown.settle(frames);
    EXPECT_EQ(host.statistics().stripsDrawn - drawn, 1u);
    EXPECT_TRUE(screenShowsTheRender(shown, host));
}

// A swatch whose colour an outside model sets.
struct Tone {
    enum class Property { orange };
    platform::ObservationRegistrar registrar;
    platform::Observed<bool> orange{registrar, Property::orange, false};
};
struct Swatch {
    std::shared_ptr<Tone> tone;
    AnyView body() const {
        return AnyView(
            Rectangle().fill(tone->orange.get() ? tappedColor : platform::Color(0.1, 0.6, 0.3)));
    }
    friend bool operator==(const Swatch&, const Swatch&) = default;
};

// A change below the top of a canvas's symbol (as a picture's frame inside a text's attachment)
// draws again the strips that hold the canvas, wherever in it the symbol is drawn: here in the
// second strip, while the symbol lies at the canvas's origin.
TEST_F(SurfaceTilesTest, AChangeDeepInsideACanvasSymbolIsDrawnAgain) {
    auto tone = std::make_shared<Tone>();
    std::vector<AnyView> children{AnyView(Canvas(
                                              [](CanvasContext& canvas, platform::Size) {
                                                  canvas.drawSymbol(
                                                      ViewID(1), platform::Rect(4, 150, 200, 30));
                                              },
                                              {{ViewID(1), AnyView(Swatch{tone}).frame(200, 30)}})
                                              .frame(240, 190))};
    for (int index = 0; index < 8; ++index) {
        children.push_back(AnyView(Row{index}));
    }
    ViewHostWidget host{VStack(HorizontalAlignment::leading(), 0, std::move(children))
                            .background(Rectangle().fill(platform::Color::gray(1)))};
    const ScrolledHost shown{host};

    const auto frames = host.framesDrawn();
    const auto drawn = host.statistics().stripsDrawn;
    tone->orange.set(true);
    shown.settle(frames);
    EXPECT_EQ(host.statistics().stripsDrawn - drawn, 2u);
    EXPECT_TRUE(screenShowsTheRender(shown, host));
}

// Frames a timeline asks for are drawn: the screen follows its colour.
TEST_F(SurfaceTilesTest, TimelineFramesReachTheScreen) {
    auto ticks = std::make_shared<int>(0);
    ViewHostWidget host{TimelineView([ticks](const TimelineContext&) {
        ++*ticks;
        return AnyView(
            Rectangle().fill(platform::Color::gray(*ticks % 2 == 0 ? 0.2 : 0.8)).frame(240, 400));
    })};
    const ScrolledHost shown{host};
    std::vector<int> seen;
    EXPECT_TRUE(moss_test::waitUntil([&] {
        gdk_display_sync(shown.display());
        cairo_surface_t* const screen = shown.screenshot();
        const auto pixel = *reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(screen) + 10 * cairo_image_surface_get_stride(screen) +
            10 * 4);
        cairo_surface_destroy(screen);
        const int green = int(pixel >> 8 & 0xff);
        if (seen.empty() || seen.back() != green) {
            seen.push_back(green);
        }
        return seen.size() >= 3;
    }));
}

// Pixels are kept only of what is on screen: none while the window is hidden (and the screen is
// drawn again when it shows), and of a host as tall as its tree that a viewport scrolls whole,
// only the strips of the part the viewport shows and the margin ahead of it.
TEST_F(SurfaceTilesTest, StripsAreKeptOnlyOfWhatIsOnScreen) {
    const auto idle = [] { return !g_main_context_pending(nullptr); };
    {
        ViewHostWidget host{rows()};
        const ScrolledHost shown{host};
        ASSERT_TRUE(moss_test::waitUntil([&] { return host.statistics().stripsDrawnAhead >= 1; }));
        EXPECT_GT(host.statistics().stripsKept, 2u);
        gtk_widget_set_visible(GTK_WIDGET(shown.window()), FALSE);
        ASSERT_TRUE(moss_test::waitUntil(idle));
        EXPECT_EQ(host.statistics().stripsKept, 0u);
        const auto frames = host.framesDrawn();
        gtk_widget_set_visible(GTK_WIDGET(shown.window()), TRUE);
        shown.settle(frames);
        EXPECT_TRUE(screenShowsTheRender(shown, host));
    }
    ViewHostWidget host{rows()};
    const ScrolledHost shown{host, Scrolling::whole};
    // 3000 points, 24 strips; 200 shown: two strips, or three, and one ahead either side.
    ASSERT_DOUBLE_EQ(gtk_widget_get_height(GTK_WIDGET(host.gtkWidget())), rowCount * rowHeight);
    for (const double offset : {0.0, 1333.0, 421.0}) {
        if (offset != shown.offset()) {
            shown.scrollTo(offset);
        }
        ASSERT_TRUE(moss_test::waitUntil(idle));
        EXPECT_LE(host.statistics().stripsKept, 5u) << "at " << offset;
        EXPECT_TRUE(screenShowsTheRender(shown, host));
    }
}

// The checks of the case below, in a process whose toolkit starts at twice the scale.
void checkTilesAtTwiceTheScale() {
    ViewHostWidget host{rows()};
    const ScrolledHost shown{host};
    ASSERT_EQ(shown.scale(), 2);
    EXPECT_TRUE(screenShowsTheRender(shown, host));
    for (const double offset : {37.0, 64.5, 700.0}) {
        shown.scrollTo(offset);
        EXPECT_TRUE(screenShowsTheRender(shown, host));
    }
}

// The display's scale is fixed when the toolkit starts: the case runs in a process of its own
// (the program started again for it alone), which no other case shares. Text and curved edges
// land on the same device pixels as offscreen.
TEST(SurfaceTilesScaleTest, AtScaleTwoTheScreenIsTheOffscreenRender) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(moss_test::runAtTwiceTheScale(checkTilesAtTwiceTheScale),
                ::testing::ExitedWithCode(0), "");
}

} // namespace
