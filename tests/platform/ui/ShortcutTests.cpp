// The engine's shortcuts answer as the full work would: a relayout that stops at a node whose
// answers to its parent did not change, hit testing that looks only at the rows that can hold
// the point, and a lazy stack's totals kept between changes of its rows.

#include "Probe.hpp"
#include "platform/observation/ObservationRegistrar.hpp"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace ui_test;
using platform::Rect;
using platform::Size;

namespace shortcut_test {

// One subview, whose bottom spacing is the layout's own.
class BottomSpaced final : public Layout {
public:
    explicit BottomSpaced(double bottom)
        : bottom_(bottom) {}
    Size sizeThatFits(ProposedViewSize p, LayoutSubviews subviews, std::any&) const override {
        return subviews[0].sizeThatFits(p);
    }
    void placeSubviews(Rect bounds, ProposedViewSize p, LayoutSubviews subviews,
                       std::any&) const override {
        subviews[0].place(bounds.origin, UnitPoint::topLeading(), p);
    }
    ViewSpacing spacing(LayoutSubviews, std::any&) const override {
        ViewSpacing s;
        s.bottom = bottom_;
        return s;
    }

private:
    double bottom_;
};

// A block whose spacing below follows its state; its size never changes.
struct SpacedBlock {
    std::shared_ptr<std::optional<State<double>>> bottom;
    AnyView body(ViewContext& c) const {
        auto state = c.state<double>(20);
        *bottom = state;
        return LayoutView(std::make_shared<BottomSpaced>(*state), {block(10, 10)});
    }
};

} // namespace shortcut_test

TEST(RelayoutBoundary, AChildWhoseSpacingChangesIsPlacedAgainByItsStack) {
    auto frames = std::make_shared<Frames>();
    auto bottom = std::make_shared<std::optional<State<double>>>();
    OffscreenHost host(VStack(HorizontalAlignment::leading(), std::nullopt,
                              {AnyView(shortcut_test::SpacedBlock{bottom}),
                               probe(block(10, 10), frames, "below")}),
                       ProposedViewSize{100.0, std::nullopt});
    host.runUntilIdle();
    EXPECT_EQ(frames->rects.at("below").minY(), 30);
    EXPECT_EQ(host.size().height, 40);

    // The same size, another spacing: the stack cannot keep its placement.
    (*bottom)->set(35);
    host.runUntilIdle();
    EXPECT_EQ(frames->rects.at("below").minY(), 45);
    EXPECT_EQ(host.size().height, 55);
    (*bottom)->set(2); // below the block's own standard spacing above
    host.runUntilIdle();
    EXPECT_EQ(frames->rects.at("below").minY(), 10 + ViewSpacing::standard);
}

namespace shortcut_test {

// Rows of taps, each recording its index where it is tapped; `gap` apart.
std::vector<AnyView> tapRows(int count, double height, const std::shared_ptr<std::vector<int>>& hit,
                             double width = 100) {
    std::vector<AnyView> rows;
    for (int i = 0; i < count; ++i) {
        rows.push_back(
            block(width, height).onTapGesture([hit, i](platform::Point) { hit->push_back(i); }));
    }
    return rows;
}

// The rows tapped at `y`, in order.
std::vector<int> tappedAt(OffscreenHost& host, const std::shared_ptr<std::vector<int>>& hit,
                          platform::Point p) {
    hit->clear();
    host.click(p);
    return *hit;
}

} // namespace shortcut_test

TEST(HitTesting, EachRowOfALongStackTakesTheTapsOnItsOwnRowsAndTheGapsTakeNone) {
    using shortcut_test::tappedAt;
    auto hit = std::make_shared<std::vector<int>>();
    constexpr int kRows = 24;
    constexpr double kHeight = 20;
    constexpr double kGap = 6;
    // Inset and offset: the rows' rectangles are in their parents' coordinates.
    OffscreenHost host(AnyView(VStack(HorizontalAlignment::leading(), kGap,
                                      shortcut_test::tapRows(kRows, kHeight, hit)))
                           .padding(7),
                       ProposedViewSize{200.0, std::nullopt});
    host.runUntilIdle();
    for (int i = 0; i < kRows; ++i) {
        const double top = 7 + i * (kHeight + kGap);
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(tappedAt(host, hit, {50, top}), std::vector<int>{i});
        EXPECT_EQ(tappedAt(host, hit, {50, top + kHeight / 2}), std::vector<int>{i});
        EXPECT_EQ(tappedAt(host, hit, {50, top + kHeight - 0.25}), std::vector<int>{i});
        if (i + 1 < kRows) {
            EXPECT_EQ(tappedAt(host, hit, {50, top + kHeight + kGap / 2}), std::vector<int>{});
        }
        // Beside the row, inside the stack: nothing.
        EXPECT_EQ(tappedAt(host, hit, {150, top + kHeight / 2}), std::vector<int>{});
    }
    EXPECT_EQ(tappedAt(host, hit, {50, 3}), std::vector<int>{});
}

TEST(HitTesting, ARowOfALazyStackScrolledDownTakesTheTapsOnIt) {
    using shortcut_test::tappedAt;
    auto hit = std::make_shared<std::vector<int>>();
    constexpr int kRows = 400;
    constexpr double kHeight = 20;
    OffscreenHost host(LazyVStack(HorizontalAlignment::leading(), 0.0,
                                  shortcut_test::tapRows(kRows, kHeight, hit)),
                       ProposedViewSize{200.0, std::nullopt});
    // The rows drawn start well below the first: hit testing must count from there.
    host.setVisibleRect(Rect(0, 3000, 200, 200));
    host.runUntilIdle();
    for (const int i : {150, 151, 155, 159}) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(tappedAt(host, hit, {50, i * kHeight + 1}), std::vector<int>{i});
        EXPECT_EQ(tappedAt(host, hit, {50, i * kHeight + kHeight - 1}), std::vector<int>{i});
    }
}

namespace shortcut_test {

class Height {
public:
    enum class Property { value };
    explicit Height(double h)
        : value(registrar, Property::value, h) {}
    platform::ObservationRegistrar registrar;
    platform::Observed<double> value;
};

struct HeightRow {
    std::shared_ptr<Height> height;
    AnyView body() const { return block(50, height->value.get()); }
    friend bool operator==(const HeightRow& a, const HeightRow& b) { return a.height == b.height; }
};

struct Rows {
    std::vector<std::shared_ptr<Height>> heights;
    explicit Rows(int count) {
        for (int i = 0; i < count; ++i) {
            heights.push_back(std::make_shared<Height>(10 + (i * 13) % 20));
        }
    }
    std::vector<AnyView> views(const std::shared_ptr<Frames>& frames) const {
        std::vector<AnyView> out;
        for (std::size_t i = 0; i < heights.size(); ++i) {
            out.push_back(probe(HeightRow{heights[i]}, frames, "row" + std::to_string(i)));
        }
        return out;
    }
    double exact(double gap) const {
        double h = 0;
        for (const auto& height : heights) {
            h += height->value.get();
        }
        return h + gap * double(heights.size() - 1);
    }
};

// Wrapping text whose height depends on the width proposed.
std::vector<AnyView> paragraphs(int count) {
    std::vector<AnyView> out;
    for (int i = 0; i < count; ++i) {
        std::string words;
        for (int w = 0; w < 5 + (i * 7) % 23; ++w) {
            words += "word" + std::to_string(w) + " ";
        }
        out.push_back(AnyView(Text(words)));
    }
    return out;
}

} // namespace shortcut_test

TEST(LazyStackTotals, ALoneRowGivesTheStackItsSize) {
    OffscreenHost host(LazyVStack(HorizontalAlignment::leading(), 5.0, {block(40, 33)}),
                       ProposedViewSize{200.0, std::nullopt});
    EXPECT_EQ(host.size(), (Size{40, 33}));
}

TEST(LazyStackTotals, TheExtentFollowsEveryChangeOfARowsHeight) {
    constexpr double kGap = 3;
    shortcut_test::Rows rows(30);
    auto frames = std::make_shared<Frames>();
    OffscreenHost host(LazyVStack(HorizontalAlignment::leading(), kGap, rows.views(frames)),
                       ProposedViewSize{200.0, std::nullopt});
    host.runUntilIdle();
    ASSERT_EQ(host.size().height, rows.exact(kGap));
    // Grown, shrunk, grown again, one row and then several between two passes.
    const std::vector<std::vector<std::pair<int, double>>> edits = {
        {{4, 60}}, {{4, 5}}, {{4, 60}}, {{0, 1}, {29, 44}}, {{10, 12}, {11, 70}, {12, 0}}};
    for (const auto& edit : edits) {
        for (const auto& [row, height] : edit) {
            rows.heights[std::size_t(row)]->value.set(height);
        }
        host.runUntilIdle();
        EXPECT_EQ(host.size().height, rows.exact(kGap));
        EXPECT_EQ(frames->rects.at("row29").maxY(), rows.exact(kGap));
    }
}

TEST(LazyStackTotals, EachWidthKeepsItsOwnTotalsAsTheProposalChangesBackAndForth) {
    const auto eagerHeight = [](double width) {
        OffscreenHost eager(
            VStack(HorizontalAlignment::leading(), 4.0, shortcut_test::paragraphs(40)),
            ProposedViewSize{width, std::nullopt});
        return eager.size().height;
    };
    OffscreenHost lazy(
        LazyVStack(HorizontalAlignment::leading(), 4.0, shortcut_test::paragraphs(40)),
        ProposedViewSize{300.0, std::nullopt});
    // More widths than the stack keeps measures for, some of them again.
    for (const double width : {300.0, 160.0, 90.0, 300.0, 160.0, 300.0, 90.0, 90.0, 160.0}) {
        SCOPED_TRACE("width " + std::to_string(width));
        lazy.setProposal({width, std::nullopt});
        lazy.runUntilIdle();
        EXPECT_EQ(lazy.size().height, eagerHeight(width));
    }
}

TEST(LazyStackTotals, AScrolledStackLaidOutAtAnotherWidthEndsAtItsExactHeight) {
    const auto eagerHeight = [](double width) {
        OffscreenHost eager(
            VStack(HorizontalAlignment::leading(), 4.0, shortcut_test::paragraphs(60)),
            ProposedViewSize{width, std::nullopt});
        return eager.size().height;
    };
    OffscreenHost lazy(
        LazyVStack(HorizontalAlignment::leading(), 4.0, shortcut_test::paragraphs(60)),
        ProposedViewSize{300.0, std::nullopt});
    for (const double width : {300.0, 120.0, 300.0, 200.0}) {
        SCOPED_TRACE("width " + std::to_string(width));
        // The first screen is measured over the estimates of the rows: they are summed first.
        lazy.setProposal({width, std::nullopt});
        lazy.setVisibleRect(Rect(0, 0, width, 150));
        lazy.runUntilIdle();
        for (int slice = 0;
             slice < 1000 && lazy.graph().layOutDeferred(std::chrono::milliseconds(5)); ++slice) {
            (void)lazy.graph().takeScrollCorrection();
        }
        lazy.runUntilIdle();
        EXPECT_EQ(lazy.graph().size().height, eagerHeight(width));
    }
}
