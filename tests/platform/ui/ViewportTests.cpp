// A lazy stack under the host's visible rectangle: what is on screen is built, laid out and drawn
// first, the rest estimated and laid out later; scrolling lays out what comes into view; an edit
// costs the row it changed. Counted, never timed.

#include "Probe.hpp"
#include "platform/observation/ObservationRegistrar.hpp"

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
struct Row {
    std::shared_ptr<RowModel> model;
    std::shared_ptr<int> evaluations;
    platform::Color color;
    AnyView body() const {
        ++*evaluations;
        return AnyView(color).frame(100, model->height.get());
    }
    friend bool operator==(const Row& a, const Row& b) { return a.model == b.model; }
};

constexpr int kRows = 2000;
constexpr double kGap = 4;
const platform::Color kLast{1, 0, 0, 1};

struct Document {
    std::vector<std::shared_ptr<RowModel>> models;
    std::shared_ptr<int> evaluations = std::make_shared<int>(0);
    std::shared_ptr<Frames> frames = std::make_shared<Frames>();
    Document() {
        for (int i = 0; i < kRows; ++i) {
            models.push_back(std::make_shared<RowModel>(10 + (i * 7) % 30));
        }
    }
    std::vector<AnyView> rows() const {
        std::vector<AnyView> out;
        for (int i = 0; i < kRows; ++i) {
            AnyView row = Row{models[std::size_t(i)], evaluations,
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
    explicit Window(const Document& doc)
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
    const Document doc;
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

TEST(Viewport, ScrollingToTheEndShowsTheLastRows) {
    const Document doc;
    Window window(doc);
    window.scrollToEnd();
    const double height = window.host.graph().size().height;
    const Rect visible = *window.host.graph().visibleRect();
    const Rect last = (*doc.frames)["row1999"];
    EXPECT_NEAR(last.maxY(), height, 1e-6);
    EXPECT_TRUE(visible.contains(last.origin));
    // Still a few dozen rows built of the two thousand.
    EXPECT_LE(*doc.evaluations, 80);

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
    const Document doc;
    Window window(doc);
    window.layOutEverything();
    EXPECT_FALSE(window.host.graph().hasDeferredLayout());
    EXPECT_EQ(window.host.graph().size().height, doc.exactHeight());

    // Laid out whole (no visible rectangle), it agrees with an ordinary stack.
    const Document plain;
    OffscreenHost lazy(plain.lazy(), ProposedViewSize{300.0, std::nullopt});
    const Size lazySize = lazy.size();
    const Rect lazyRow = (*plain.frames)["row1999"];
    OffscreenHost eager(VStack(HorizontalAlignment::leading(), kGap, plain.rows()),
                        ProposedViewSize{300.0, std::nullopt});
    EXPECT_EQ(eager.size().height, lazySize.height);
    EXPECT_EQ((*plain.frames)["row1999"], lazyRow);
}

TEST(Viewport, AnEditLaysOutTheRowItChangedAndMovesTheRowsBelow) {
    Document doc;
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
