// A lazy stack under the host's visible rectangle: what is on screen is built, laid out and drawn
// first, the rest estimated and laid out later; scrolling lays out what comes into view; an edit
// costs the row it changed. Counted, never timed.

#include "Probe.hpp"
#include "platform/observation/ObservationRegistrar.hpp"

#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace ui_test;
using platform::Rect;

namespace {

class RowModel {
public:
    enum class Property { height };
    explicit RowModel(double h)
        : height(registrar, Property::height, h) {}
    platform::ObservationRegistrar registrar;
    platform::Observed<double> height;
};

/// A bar of its model's height; counts its evaluations.
struct LazyRow {
    std::shared_ptr<RowModel> model;
    std::shared_ptr<int> evaluations;
    platform::Color color;
    AnyView body() const {
        ++*evaluations;
        return AnyView(color).frame(100, model->height.get());
    }
    friend bool operator==(const LazyRow& a, const LazyRow& b) { return a.model == b.model; }
};

constexpr int kRows = 2000;
constexpr double kGap = 4;
const platform::Color kLast{1, 0, 0, 1};

struct LazyDocument {
    std::vector<std::shared_ptr<RowModel>> models;
    std::shared_ptr<int> evaluations = std::make_shared<int>(0);
    std::shared_ptr<Frames> frames = std::make_shared<Frames>();
    LazyDocument() {
        for (int i = 0; i < kRows; ++i) {
            models.push_back(std::make_shared<RowModel>(10 + (i * 7) % 30));
        }
    }
    std::vector<AnyView> rows() const {
        std::vector<AnyView> out;
        for (int i = 0; i < kRows; ++i) {
            AnyView row = LazyRow{models[std::size_t(i)], evaluations,
                                  i == kRows - 1 ? kLast : platform::Color::gray(0.5)};
            if (i == 5 || i == kRows - 1) {
                row = probe(row, frames, "row" + std::to_string(i));
            }
            out.push_back(row);
        }
        return out;
    }
    AnyView lazy() const { return LazyVStack(HorizontalAlignment::leading(), kGap, rows()); }
    double exactHeight() const {
        double h = 0;
        for (const auto& m : models) {
            h += m->height.get();
        }
        return h + (kRows - 1) * kGap;
    }
};

/// A host showing 300 x 200 points of the document at `top`.
struct Window {
    explicit Window(const LazyDocument& doc)
        : host(doc.lazy(), ProposedViewSize{300.0, std::nullopt}) {
        host.setVisibleRect(Rect(0, 0, 300, 200));
        host.runUntilIdle();
    }
    /// Scrolls to the end, as a scroll bar does whose extent changes under it.
    void scrollToEnd() {
        for (int step = 0; step < 8; ++step) {
            const Rect end(0, std::max(host.graph().size().height - 200, 0.0), 300, 200);
            if (host.graph().visibleRect() == end) {
                return;
            }
            host.setVisibleRect(end);
            host.runUntilIdle();
        }
    }
    /// Lays out what was estimated, in slices, scrolling as the rows shown move.
    void layOutEverything() {
        for (int slice = 0; slice < 1000; ++slice) {
            const bool more = host.graph().layOutDeferred(std::chrono::milliseconds(5));
            corrections += host.graph().takeScrollCorrection();
            if (!more) {
                return;
            }
        }
    }
    OffscreenHost host;
    double corrections = 0;
};

} // namespace

TEST(Viewport, OnlyWhatIsOnScreenIsBuiltLaidOutAndDrawn) {
    const LazyDocument doc;
    Window window(doc);
    const ViewGraph::Statistics& stats = window.host.graph().statistics();
    // 200 points of rows 14 to 43 points tall, and half a screen below: about a dozen rows of
    // the two thousand, a few nodes each.
    EXPECT_LE(*doc.evaluations, 30);
    EXPECT_LE(stats.placements, 120U);
    EXPECT_LE(stats.sizeComputations, 150U);
    EXPECT_TRUE(window.host.graph().hasDeferredLayout());
    // The extent is known at once, estimated from the rows measured.
    EXPECT_NEAR(window.host.graph().size().height, doc.exactHeight(), doc.exactHeight() * 0.2);

    const auto drawn = stats.drawnOperations;
    window.host.render();
    EXPECT_LE(stats.drawnOperations - drawn, 20U);

    // A short scroll, within what was laid out around the screen, lays out nothing.
    const auto placed = stats.placements;
    window.host.setVisibleRect(Rect(0, 50, 300, 200));
    window.host.runUntilIdle();
    EXPECT_EQ(stats.placements, placed);
}

// Between frames a host has the rows around the screen placed as far as the stack lays out
// beyond it: a scroll within that places nothing, and the same place is asked for once.
TEST(Viewport, RowsPlacedAheadOfAScrollAreNotPlacedAgainByIt) {
    const LazyDocument doc;
    Window window(doc);
    ViewGraph& graph = window.host.graph();
    const ViewGraph::Statistics& stats = graph.statistics();
    // Placed for the first screen and half a screen around it: nothing more to place there.
    EXPECT_FALSE(graph.placeAhead());

    // 80 points down the screen is still within the rows placed; below it, the margin is not.
    window.host.setVisibleRect(Rect(0, 80, 300, 200));
    window.host.runUntilIdle();
    const auto placedBefore = stats.placements;
    EXPECT_TRUE(graph.placeAhead());
    EXPECT_GT(stats.placements, placedBefore);
    EXPECT_FALSE(graph.needsUpdate());
    EXPECT_FALSE(graph.placeAhead());

    // A scroll as far again finds its rows placed and built.
    const auto placed = stats.placements;
    const int evaluations = *doc.evaluations;
    window.host.setVisibleRect(Rect(0, 170, 300, 200));
    window.host.runUntilIdle();
    EXPECT_EQ(stats.placements, placed);
    EXPECT_EQ(*doc.evaluations, evaluations);
}

TEST(Viewport, ScrollingToTheEndShowsTheLastRows) {
    const LazyDocument doc;
    Window window(doc);
    window.scrollToEnd();
    const double height = window.host.graph().size().height;
    const Rect visible = *window.host.graph().visibleRect();
    const Rect last = (*doc.frames)["row1999"];
    EXPECT_NEAR(last.maxY(), height, 1e-6);
    EXPECT_TRUE(visible.contains(last.origin));
    // Still a few dozen rows built of the two thousand.
    EXPECT_LE(*doc.evaluations, 100);

    const platform::Image image = window.host.render();
    EXPECT_EQ(image.pixel(50, image.height() - 2), (platform::Image::Pixel{255, 0, 0, 255}));
    EXPECT_EQ(image.pixel(150, image.height() - 2), (platform::Image::Pixel{}));

    // The rows above replace their estimates; the host, scrolling as far as they moved the rows
    // shown, keeps the last row where the viewer sees it, now at the exact end.
    const double shownAt = last.minY() - visible.minY();
    window.layOutEverything();
    const Rect exact = (*doc.frames)["row1999"];
    EXPECT_NEAR(exact.minY() - window.host.graph().visibleRect()->minY(), shownAt, 1e-6);
    EXPECT_NEAR(window.host.graph().visibleRect()->minY(), visible.minY() + window.corrections,
                1e-6);
    EXPECT_NEAR(exact.maxY(), doc.exactHeight(), 1e-6);
}

TEST(Viewport, TheExtentConvergesToTheExactHeightAndTheEagerLayout) {
    const LazyDocument doc;
    Window window(doc);
    window.layOutEverything();
    EXPECT_FALSE(window.host.graph().hasDeferredLayout());
    EXPECT_EQ(window.host.graph().size().height, doc.exactHeight());

    // Laid out whole (no visible rectangle), it agrees with an ordinary stack.
    const LazyDocument plain;
    OffscreenHost lazy(plain.lazy(), ProposedViewSize{300.0, std::nullopt});
    const Size lazySize = lazy.size();
    const Rect lazyRow = (*plain.frames)["row1999"];
    OffscreenHost eager(VStack(HorizontalAlignment::leading(), kGap, plain.rows()),
                        ProposedViewSize{300.0, std::nullopt});
    EXPECT_EQ(eager.size().height, lazySize.height);
    EXPECT_EQ((*plain.frames)["row1999"], lazyRow);
}

// Idle layout in slices of a row or two resumes where the last one stopped, and asking whether
// rows wait passes the rows laid out once: the rows looked at grow with the rows, not with the
// slices times the rows.
TEST(Viewport, IdleLayoutLooksAtEachRowOnceAndAFrameAtNoneLaidOut) {
    const LazyDocument doc;
    Window window(doc);
    ViewGraph& graph = window.host.graph();
    const ViewGraph::Statistics& stats = graph.statistics();
    const auto before = stats.deferredRowsVisited;
    int slices = 0;
    while (graph.layOutDeferred(std::chrono::microseconds(1))) {
        ++slices;
        ASSERT_LT(slices, 10 * kRows);
    }
    EXPECT_GT(slices, kRows / 4);
    EXPECT_LE(stats.deferredRowsVisited - before, std::uint64_t(3 * kRows + 2 * slices));
    EXPECT_EQ(graph.size().height, doc.exactHeight());

    // Every row laid out: a frame's question looks at none.
    const auto laidOut = stats.deferredRowsVisited;
    for (int frame = 0; frame < 100; ++frame) {
        EXPECT_FALSE(graph.hasDeferredLayout());
    }
    EXPECT_EQ(stats.deferredRowsVisited, laidOut);

    // A row near the end changes its height: idle layout goes on from it.
    doc.models[kRows - 10]->height.set(77);
    window.host.runUntilIdle();
    window.layOutEverything();
    EXPECT_LE(stats.deferredRowsVisited - laidOut, 40U);
    EXPECT_EQ(graph.size().height, doc.exactHeight());
    EXPECT_NEAR((*doc.frames)["row1999"].maxY(), doc.exactHeight(), 1e-6);
}

TEST(Viewport, AnEditLaysOutTheRowItChangedAndMovesTheRowsBelow) {
    LazyDocument doc;
    Window window(doc);
    window.layOutEverything();
    const ViewGraph::Statistics& stats = window.host.graph().statistics();
    const double height = window.host.graph().size().height;

    // Out of view, measured in idle time but never placed: the extent follows, nothing else
    // is measured or placed.
    auto sizes = stats.sizeComputations;
    auto placements = stats.placements;
    auto evaluations = *doc.evaluations;
    doc.models[1000]->height.set(doc.models[1000]->height.get() + 50);
    window.host.runUntilIdle();
    EXPECT_EQ(window.host.graph().size().height, height + 50);
    EXPECT_EQ(*doc.evaluations - evaluations, 1);
    EXPECT_LE(stats.sizeComputations - sizes, 8U);
    EXPECT_LE(stats.placements - placements, 8U);

    // In view: the rows below move by as much, the rows are not measured again.
    const Rect row5 = (*doc.frames)["row5"];
    sizes = stats.sizeComputations;
    doc.models[2]->height.set(doc.models[2]->height.get() + 7);
    window.host.runUntilIdle();
    EXPECT_EQ((*doc.frames)["row5"].origin.y, row5.origin.y + 7);
    EXPECT_EQ(window.host.graph().size().height, height + 57);
    EXPECT_LE(stats.sizeComputations - sizes, 8U);
}

namespace {

struct ShadeKey {
    using Value = double;
    static Value defaultValue() { return 0.5; }
};
struct GrowthKey {
    using Value = double;
    static Value defaultValue() { return 0; }
};

/// What each row's evaluations saw: how many there were, the shade of the last, and the state
/// object of its identity.
struct Seen {
    int evaluations = 0;
    std::vector<double> shades = std::vector<double>(kRows, -1);
    std::vector<const void*> states = std::vector<const void*>(kRows, nullptr);
};

/// A bar in the environment's shade, its model's height plus the environment's growth.
struct ShadedRow {
    std::shared_ptr<RowModel> model;
    std::shared_ptr<Seen> seen;
    int index = 0;
    AnyView body(ViewContext& c) const {
        ++seen->evaluations;
        const double shade = c.environment<ShadeKey>();
        seen->shades[std::size_t(index)] = shade;
        seen->states[std::size_t(index)] =
            c.stateObject<int>([] { return std::make_shared<int>(); }).get();
        return AnyView(platform::Color::gray(shade))
            .frame(100, model->height.get() + c.environment<GrowthKey>());
    }
    friend bool operator==(const ShadedRow& a, const ShadedRow& b) { return a.model == b.model; }
};

struct ShadedDocument {
    /// Where row `index` starts once every row is laid out, each grown by `growth`.
    double offsetOf(int index, double growth = 0) const {
        double y = 0;
        for (int i = 0; i < index; ++i) {
            y += models[std::size_t(i)]->height.get() + growth + kGap;
        }
        return y;
    }
    std::vector<std::shared_ptr<RowModel>> models;
    std::shared_ptr<Seen> seen = std::make_shared<Seen>();
    std::shared_ptr<Frames> frames = std::make_shared<Frames>();
    ShadedDocument() {
        for (int i = 0; i < kRows; ++i) {
            models.push_back(std::make_shared<RowModel>(10 + (i * 7) % 30));
        }
    }
    AnyView lazy() const {
        std::vector<AnyView> rows;
        for (int i = 0; i < kRows; ++i) {
            rows.push_back(probe(ShadedRow{models[std::size_t(i)], seen, i}, frames,
                                 "row" + std::to_string(i)));
        }
        return LazyVStack(HorizontalAlignment::leading(), kGap, rows);
    }
};

/// Laid out whole, as after the host's idle work, and shown at `top`.
struct ShadedWindow {
    ShadedWindow(const ShadedDocument& doc, double top)
        : host(doc.lazy(), ProposedViewSize{300.0, std::nullopt}) {
        host.setVisibleRect(Rect(0, 0, 300, 200));
        host.runUntilIdle();
        while (host.graph().layOutDeferred(std::chrono::milliseconds(50))) {
        }
        host.graph().takeScrollCorrection();
        host.setVisibleRect(Rect(0, top, 300, 200));
        host.runUntilIdle();
    }
    void setEnvironment(double shade, double growth) {
        EnvironmentValues env;
        env.set<ShadeKey>(shade);
        env.set<GrowthKey>(growth);
        host.graph().setEnvironment(env);
        host.runUntilIdle();
    }
    /// The grey level the window shows at `y` below its top, in the bars' column.
    int shadeAt(double y) {
        const platform::Image image = host.render();
        return image.pixel(50, int(y)).red;
    }
    OffscreenHost host;
};

} // namespace

TEST(Viewport, AnEnvironmentChangeEvaluatesTheRowsNearTheScreenAndTheRestLater) {
    const ShadedDocument doc;
    ShadedWindow window(doc, 0);
    ASSERT_FALSE(window.host.graph().hasDeferredLayout());
    ASSERT_EQ(doc.seen->evaluations, kRows);
    const std::vector<const void*> states = doc.seen->states;

    // Every row was built; those placed around the screen (a dozen or so) are evaluated in
    // the new environment, the others wait.
    window.setEnvironment(0.2, 0);
    int evaluated = doc.seen->evaluations - kRows;
    EXPECT_GE(evaluated, 5);
    EXPECT_LE(evaluated, 30);
    EXPECT_TRUE(window.host.graph().hasDeferredLayout());
    EXPECT_EQ(doc.seen->shades[0], 0.2);
    EXPECT_EQ(doc.seen->shades[1000], 0.5);
    EXPECT_EQ(window.shadeAt(5), int(std::lround(0.2 * 255)));

    // A row scrolled to shows the new environment, and costs only the rows around it.
    window.host.setVisibleRect(Rect(0, doc.offsetOf(1000), 300, 200));
    window.host.runUntilIdle();
    EXPECT_EQ((*doc.frames)["row1000"].minY(), doc.offsetOf(1000));
    EXPECT_EQ(doc.seen->shades[1000], 0.2);
    EXPECT_EQ(window.shadeAt(2), int(std::lround(0.2 * 255)));
    evaluated = doc.seen->evaluations - kRows;
    EXPECT_LE(evaluated, 60);

    // Idle slices bring the rest up to date, each row once, its state kept.
    int slices = 0;
    while (window.host.graph().layOutDeferred(std::chrono::milliseconds(2))) {
        ++slices;
    }
    EXPECT_FALSE(window.host.graph().hasDeferredLayout());
    EXPECT_EQ(doc.seen->evaluations, 2 * kRows);
    for (int i = 0; i < kRows; ++i) {
        EXPECT_EQ(doc.seen->shades[std::size_t(i)], 0.2) << i;
        EXPECT_EQ(doc.seen->states[std::size_t(i)], states[std::size_t(i)]) << i;
    }

    // An action that needs every row as it is now (Select All) brings the stale ones up to date
    // at once.
    window.setEnvironment(0.8, 0);
    EXPECT_TRUE(window.host.graph().hasDeferredLayout());
    window.host.graph().environment().get<LayOutDeferredKey>()();
    EXPECT_FALSE(window.host.graph().hasDeferredLayout());
    EXPECT_EQ(doc.seen->evaluations, 3 * kRows);
    EXPECT_EQ(doc.seen->shades[kRows - 1], 0.8);
}

TEST(Viewport, StaleRowsThatChangeSizeKeepTheRowsShownWhereTheyAre) {
    const ShadedDocument doc;
    const double exact = doc.offsetOf(kRows) - kGap;
    // Row 1000 shown at the window's top.
    ShadedWindow window(doc, doc.offsetOf(1000));
    const auto shownAt = [&] {
        return (*doc.frames)["row1000"].minY() - window.host.graph().visibleRect()->minY();
    };
    ASSERT_EQ(shownAt(), 0);

    // Every row grows by 5 points: the rows placed above it grow at once, the others in idle
    // time; each time the window follows, so that row 1000 stays at its top.
    window.setEnvironment(0.5, 5);
    double corrections = window.host.graph().takeScrollCorrection();
    EXPECT_GT(corrections, 0);
    EXPECT_EQ(shownAt(), 0);
    EXPECT_EQ(doc.seen->shades[1000], 0.5);
    while (window.host.graph().layOutDeferred(std::chrono::milliseconds(2))) {
        corrections += window.host.graph().takeScrollCorrection();
    }
    corrections += window.host.graph().takeScrollCorrection();
    EXPECT_EQ(corrections, 5 * 1000);
    EXPECT_EQ(shownAt(), 0);
    EXPECT_EQ((*doc.frames)["row1000"].minY(), doc.offsetOf(1000, 5));
    EXPECT_EQ(window.host.graph().size().height, exact + 5 * kRows);
}

TEST(Viewport, RowsLaidOutOutOfViewSeeTheirOwnFramesAndAreNeverReadUnplaced) {
    // Each row records the sizes its geometry observer saw. A row measured out of view (the
    // last, for the stack's baseline, and the rows laid out in idle time) has no frame until it
    // is placed: what an observer made of a zero frame would be laid out as the row's own.
    struct Seen {
        std::vector<std::vector<platform::Size>> sizes =
            std::vector<std::vector<platform::Size>>(kRows);
    };
    const auto seen = std::make_shared<Seen>();
    const LazyDocument doc;
    std::vector<AnyView> rows = doc.rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = rows[i].onGeometryChange<platform::Size>(
            [](const GeometryProxy& proxy) { return proxy.size(); },
            [seen, i](const platform::Size&, const platform::Size& now) {
                seen->sizes[i].push_back(now);
            });
    }
    OffscreenHost host(AnyView(LazyVStack(HorizontalAlignment::leading(), kGap, rows)),
                       ProposedViewSize{300.0, std::nullopt});
    host.setVisibleRect(Rect(0, 0, 300, 200));
    host.runUntilIdle();
    const auto zero = [&](std::size_t i) {
        return std::any_of(seen->sizes[i].begin(), seen->sizes[i].end(),
                           [](const platform::Size& s) { return s.width == 0 && s.height == 0; });
    };
    EXPECT_TRUE(seen->sizes[kRows - 1].empty() || !zero(kRows - 1));
    // In idle time every row is laid out and placed where it will show: each observer has seen
    // its row's frame, and none a zero one.
    while (host.graph().layOutDeferred(std::chrono::milliseconds(20))) {
    }
    host.runUntilIdle();
    for (std::size_t i = 0; i < std::size_t(kRows); ++i) {
        ASSERT_FALSE(seen->sizes[i].empty()) << i;
        EXPECT_FALSE(zero(i)) << i;
        EXPECT_EQ(seen->sizes[i].back(), (platform::Size{100, doc.models[i]->height.get()})) << i;
    }
}

namespace {

/// What a view was told of the part of it shown, last.
struct Shown {
    Rect bounds = Rect::null();
    int reports = 0;
};

AnyView reportingShown(AnyView view, const std::shared_ptr<Shown>& shown) {
    return view.onVisibleBoundsChange([shown](const Rect&, const Rect& now) {
        shown->bounds = now;
        ++shown->reports;
    });
}

/// Keeps the scroll action its environment holds.
struct ScrollActionReader {
    std::shared_ptr<ScrollByAction> action;
    AnyView body(ViewContext& context) const {
        *action = context.environment<ScrollByKey>();
        return block(1000, 20);
    }
    friend bool operator==(const ScrollActionReader&, const ScrollActionReader&) { return true; }
};

} // namespace

TEST(Viewport, AViewInsideAScrollViewIsToldThePartShownAsItScrollsAndTheWindowMoves) {
    const auto shown = std::make_shared<Shown>();
    const auto outside = std::make_shared<Shown>();
    OffscreenHost host(AnyView(VStack(HorizontalAlignment::leading(), 0.0,
                                      {ScrollView(reportingShown(block(1000, 20), shown)),
                                       reportingShown(block(100, 500), outside)})),
                       ProposedViewSize{300.0, std::nullopt});
    // All of the root shown: the content as far as the scroll view shows it.
    host.runUntilIdle();
    EXPECT_EQ(shown->bounds, Rect(0, 0, 300, 20));
    EXPECT_EQ(outside->bounds, Rect(0, 0, 100, 500));

    // A window narrower than the scroll view, and scrolled down past part of the next view.
    host.setVisibleRect(Rect(0, 10, 200, 100));
    host.runUntilIdle();
    EXPECT_EQ(shown->bounds, Rect(0, 10, 200, 10));
    EXPECT_EQ(outside->bounds, Rect(0, 0, 100, 90));

    // Scrolling sideways moves the part shown over the content; nothing else is told.
    const int outsideReports = outside->reports;
    host.scroll({50, 15}, 120, 0);
    host.runUntilIdle();
    EXPECT_EQ(shown->bounds, Rect(120, 10, 200, 10));
    EXPECT_EQ(outside->reports, outsideReports);

    // Out of the window: none of it.
    host.setVisibleRect(Rect(0, 200, 200, 100));
    host.runUntilIdle();
    EXPECT_TRUE(shown->bounds.isNull());
    EXPECT_EQ(outside->bounds, Rect(0, 180, 100, 100));

    // Everything laid out at once (for a copy of all of it): all of each view, meanwhile.
    std::vector<Rect> meanwhile;
    const auto all = std::make_shared<Shown>();
    OffscreenHost whole(
        AnyView(ScrollView(AnyView(reportingShown(block(1000, 20), all))
                               .onVisibleBoundsChange(
                                   [&](const Rect&, const Rect& r) { meanwhile.push_back(r); }))),
        ProposedViewSize{300.0, std::nullopt});
    whole.setVisibleRect(Rect(0, 0, 200, 100));
    whole.runUntilIdle();
    EXPECT_EQ(all->bounds, Rect(0, 0, 200, 20));
    whole.graph().environment().get<LayOutDeferredKey>()();
    EXPECT_EQ(meanwhile.back(), Rect(0, 0, 1000, 20));
}

TEST(Viewport, ContentScrollsItsScrollViewToKeepWhatTheViewerSeesInPlace) {
    const auto action = std::make_shared<ScrollByAction>();
    const auto frames = std::make_shared<Frames>();
    OffscreenHost host(
        AnyView(ScrollView(probe(AnyView(ScrollActionReader{action}), frames, "content"))),
        ProposedViewSize{300.0, std::nullopt});
    host.runUntilIdle();
    EXPECT_EQ(frames->rects["content"].origin.x, 0);
    (*action)(150);
    host.runUntilIdle();
    EXPECT_EQ(frames->rects["content"].origin.x, -150);
    (*action)(-50);
    host.runUntilIdle();
    EXPECT_EQ(frames->rects["content"].origin.x, -100);
    // Within the content, as a scroll event.
    (*action)(5000);
    host.runUntilIdle();
    EXPECT_EQ(frames->rects["content"].origin.x, -700);
    (*action)(-5000);
    host.runUntilIdle();
    EXPECT_EQ(frames->rects["content"].origin.x, 0);

    // Outside a scroll view it does nothing.
    OffscreenHost plain(AnyView(ScrollActionReader{action}), ProposedViewSize{300.0, std::nullopt});
    plain.runUntilIdle();
    (*action)(150);
    EXPECT_FALSE(plain.graph().needsUpdate());
}

namespace {

/// A block of a given area, as wide as it is offered: narrower, it grows taller (as wrapped text
/// does).
class AreaLayout final : public Layout {
public:
    explicit AreaLayout(double area)
        : area_(area) {}
    Size sizeThatFits(ProposedViewSize p, LayoutSubviews, std::any&) const override {
        const double width = p.width.value_or(100);
        return {width, std::ceil(area_ / width)};
    }
    void placeSubviews(Rect, ProposedViewSize, LayoutSubviews, std::any&) const override {}
    bool equals(const Layout& other) const override {
        const auto* o = dynamic_cast<const AreaLayout*>(&other);
        return o != nullptr && o->area_ == area_;
    }

private:
    double area_;
};

/// Rows of very different areas, row 1000 reporting its frame: each row measured moves the mean
/// the rows not measured yet count with, and with it the rows below them.
OffscreenHost areaDocument(const std::shared_ptr<Frames>& frames) {
    std::vector<AnyView> rows;
    for (int i = 0; i < kRows; ++i) {
        AnyView row = LayoutView(std::make_shared<AreaLayout>(300.0 * (5 + (i * 37) % 120)), {});
        rows.push_back(i == 1000 ? probe(row, frames, "row1000") : row);
    }
    return OffscreenHost(AnyView(LazyVStack(HorizontalAlignment::leading(), kGap, rows)),
                         ProposedViewSize{300.0, std::nullopt});
}

} // namespace

TEST(Viewport, ANewWidthKeepsTheRowAtTheTopOfTheViewWhereTheViewerSeesIt) {
    const auto frames = std::make_shared<Frames>();
    OffscreenHost host = areaDocument(frames);
    host.setVisibleRect(Rect(0, 0, 300, 200));
    host.runUntilIdle();
    while (host.graph().layOutDeferred(std::chrono::milliseconds(20))) {
    }
    host.graph().takeScrollCorrection();
    // Row 1000 a little above the top of the view, as a reader scrolled there leaves it.
    host.setVisibleRect(Rect(0, (*frames)["row1000"].minY() + 12, 300, 200));
    host.runUntilIdle();
    const auto shownAt = [&] {
        return (*frames)["row1000"].minY() - host.graph().visibleRect()->minY();
    };
    ASSERT_EQ(shownAt(), -12);

    // At each new width the rows above it count with estimates, replaced as they are measured:
    // around the view at once, those above it when the reader scrolls up to them, the others in
    // idle time. Each time the view follows row 1000, as far as the host scrolls, so that the
    // reader finds it where it was (or where the scroll took it).
    for (const double width : {600.0, 200.0, 300.0}) {
        host.setProposal(ProposedViewSize{width, std::nullopt});
        host.runUntilIdle();
        host.graph().takeScrollCorrection();
        EXPECT_NEAR(shownAt(), -12, 0.5) << width << " wide";
        const Rect visible = host.graph().visibleRect()->offsetBy(0, -150);
        host.setVisibleRect(visible);
        host.runUntilIdle();
        double corrections = host.graph().takeScrollCorrection();
        EXPECT_NEAR(shownAt(), 138, 0.5) << width << " wide, scrolled up";
        while (host.graph().layOutDeferred(std::chrono::milliseconds(5))) {
            corrections += host.graph().takeScrollCorrection();
        }
        corrections += host.graph().takeScrollCorrection();
        EXPECT_NEAR(shownAt(), 138, 0.5) << width << " wide, laid out whole";
        EXPECT_NEAR(host.graph().visibleRect()->minY(), visible.minY() + corrections, 1e-6)
            << width << " wide: the view moved further than the host was told";
        host.setVisibleRect(host.graph().visibleRect()->offsetBy(0, 150));
        host.runUntilIdle();
        ASSERT_NEAR(shownAt(), -12, 0.5) << width << " wide, scrolled back";
    }
}

TEST(Viewport, ARowAtTheTopThatANewWidthTakesOutOfViewIsInPlaceBackAtTheFirstWidth) {
    const auto frames = std::make_shared<Frames>();
    OffscreenHost host = areaDocument(frames);
    host.setVisibleRect(Rect(0, 0, 300, 200));
    host.runUntilIdle();
    while (host.graph().layOutDeferred(std::chrono::milliseconds(20))) {
    }
    // Row 1000 (45 points at 300 wide) with its last 5 points at the top of the view.
    host.setVisibleRect(Rect(0, (*frames)["row1000"].minY() + 40, 300, 200));
    host.runUntilIdle();
    host.graph().takeScrollCorrection();
    const auto shownAt = [&] {
        return (*frames)["row1000"].minY() - host.graph().visibleRect()->minY();
    };
    ASSERT_EQ(shownAt(), -40);
    // Twice as wide, half as tall: it keeps its place, out of view. Back at the first width it
    // is where the reader left it, not moved by as much as it grew below the row that was at the
    // top meanwhile.
    for (const double width : {600.0, 300.0}) {
        host.setProposal(ProposedViewSize{width, std::nullopt});
        host.runUntilIdle();
        host.graph().takeScrollCorrection();
        EXPECT_NEAR(shownAt(), -40, 0.5) << width << " wide";
    }
}

/// Places its one subview while it measures it, as a layout may that settles everything at once:
/// the subview is placed before the layout itself is.
class PlacedWhileMeasured final : public Layout {
public:
    Size sizeThatFits(ProposedViewSize p, LayoutSubviews subviews, std::any&) const override {
        const Size s = subviews[0].sizeThatFits(p);
        subviews[0].place({0, 0}, UnitPoint::topLeading(), p);
        return s;
    }
    void placeSubviews(Rect bounds, ProposedViewSize p, LayoutSubviews subviews,
                       std::any&) const override {
        subviews[0].place(bounds.origin, UnitPoint::topLeading(), p);
    }
};

TEST(Viewport, TextsOfRowsNotPlacedPublishNoPositionUntilTheirPlacement) {
    // The last row is measured for the stack's baseline and placed only once laid out in idle
    // time or scrolled to: until then its text's frames above it are not known, and a position
    // read from them (the stack's top) would be taken for where the text stands.
    constexpr int kTexts = 300;
    auto layouts = std::make_shared<Text::LayoutKey::Value>();
    std::vector<AnyView> rows;
    for (int i = 0; i < kTexts; ++i) {
        rows.push_back(Text("Row " + std::to_string(i)).padding(4));
    }
    OffscreenHost host(AnyView(LazyVStack(HorizontalAlignment::leading(), kGap, rows))
                           .padding(8)
                           .onPreferenceChange<Text::LayoutKey>(
                               [layouts](const Text::LayoutKey::Value& v) { *layouts = v; }),
                       ProposedViewSize{300.0, std::nullopt});
    host.setVisibleRect(Rect(0, 0, 300, 200));
    host.runUntilIdle();
    ASSERT_GE(layouts->size(), 2U);
    ASSERT_LT(layouts->size(), std::size_t(kTexts));
    EXPECT_TRUE(layouts->front().placed);
    EXPECT_EQ(layouts->front().origin.rootValue(), (platform::Point{12, 12}));
    EXPECT_TRUE(layouts->at(layouts->size() - 2).placed);
    EXPECT_FALSE(layouts->back().placed);

    while (host.graph().layOutDeferred(std::chrono::milliseconds(20))) {
    }
    host.runUntilIdle();
    ASSERT_EQ(layouts->size(), std::size_t(kTexts));
    double y = 0;
    for (const Text::AnchoredLayout& text : *layouts) {
        ASSERT_TRUE(text.placed);
        EXPECT_GT(text.origin.rootValue().y, y);
        y = text.origin.rootValue().y;
    }
    const Text::AnchoredLayout& last = layouts->back();
    EXPECT_DOUBLE_EQ(last.origin.rootValue().y + last.layout.size().height + 4 + 8,
                     host.graph().size().height);
}

TEST(Viewport, ATextPlacedBeforeTheRowAroundItPublishesItsPositionWithTheRowsPlacement) {
    // The last row's text is placed as its row is measured, the row itself only later: the
    // text's frames above it are not known until then, and the row's placement, which moves no
    // frame inside it, publishes the text again where it stands.
    constexpr int kTexts = 300;
    auto layouts = std::make_shared<Text::LayoutKey::Value>();
    std::vector<AnyView> rows;
    for (int i = 0; i < kTexts; ++i) {
        rows.push_back(LayoutView(std::make_shared<PlacedWhileMeasured>(),
                                  {AnyView(Text("Row " + std::to_string(i)))}));
    }
    OffscreenHost host(AnyView(LazyVStack(HorizontalAlignment::leading(), kGap, rows))
                           .onPreferenceChange<Text::LayoutKey>(
                               [layouts](const Text::LayoutKey::Value& v) { *layouts = v; }),
                       ProposedViewSize{300.0, std::nullopt});
    host.setVisibleRect(Rect(0, 0, 300, 200));
    host.runUntilIdle();
    ASSERT_LT(layouts->size(), std::size_t(kTexts));
    EXPECT_FALSE(layouts->back().placed);
    while (host.graph().layOutDeferred(std::chrono::milliseconds(20))) {
    }
    host.runUntilIdle();
    ASSERT_EQ(layouts->size(), std::size_t(kTexts));
    const Text::AnchoredLayout& last = layouts->back();
    ASSERT_TRUE(last.placed);
    EXPECT_DOUBLE_EQ(last.origin.rootValue().y + last.layout.size().height,
                     host.graph().size().height);
}
