// A Text measured at several widths keeps what each width measures but only the layouts it may
// still draw: what it publishes and draws must be the layout of the width it is placed at,
// whichever layouts it dropped on the way.

#include "Probe.hpp"
#include "platform/ui/Node.hpp"

#include <algorithm>
#include <gtest/gtest.h>

using namespace ui_test;
using platform::Rect;
using platform::Size;

namespace {

/// Measures its one subview at each of `tries` in turn, then places it at `placeAt`: a parent
/// that asks more than it uses.
class TryingLayout final : public Layout {
public:
    TryingLayout(std::vector<std::optional<double>> tries, std::optional<double> placeAt)
        : tries_(std::move(tries))
        , placeAt_(placeAt) {}
    Size sizeThatFits(ProposedViewSize, LayoutSubviews subviews, std::any&) const override {
        for (const std::optional<double>& w : tries_) {
            (void)subviews[0].sizeThatFits({w, std::nullopt});
        }
        return subviews[0].sizeThatFits({placeAt_, std::nullopt});
    }
    void placeSubviews(Rect bounds, ProposedViewSize, LayoutSubviews subviews,
                       std::any&) const override {
        subviews[0].place(bounds.origin, UnitPoint::topLeading(), {placeAt_, std::nullopt});
    }

private:
    std::vector<std::optional<double>> tries_;
    std::optional<double> placeAt_;
};

/// A stack that reads each subview's preferences while it sizes them, before it has placed any:
/// as a stack asking its blocks for the spacing they wish.
class PreferenceReadingStack final : public Layout {
public:
    /// Whether the stack only measures its subviews, as a lazy stack measures rows not shown.
    explicit PreferenceReadingStack(bool placesNothing = false)
        : placesNothing_(placesNothing) {}
    Size sizeThatFits(ProposedViewSize p, LayoutSubviews subviews, std::any&) const override {
        Size size;
        for (const LayoutSubview& s : subviews) {
            (void)s.node().preferences();
            const Size one = s.sizeThatFits({p.width, std::nullopt});
            size.width = std::max(size.width, one.width);
            size.height += one.height;
        }
        return size;
    }
    void placeSubviews(Rect bounds, ProposedViewSize p, LayoutSubviews subviews,
                       std::any&) const override {
        double y = bounds.origin.y;
        for (const LayoutSubview& s : subviews) {
            if (placesNothing_) {
                return;
            }
            s.place({bounds.origin.x, y}, UnitPoint::topLeading(), {p.width, std::nullopt});
            y += s.sizeThatFits({p.width, std::nullopt}).height;
        }
    }

private:
    bool placesNothing_;
};

const char* const kWords = "Cached layouts are dropped once measured, and the one placed is laid "
                           "out again when it is drawn";

/// The laid-out text `view` publishes.
Text::Layout published(AnyView view, ProposedViewSize proposal) {
    auto layouts = std::make_shared<Text::LayoutKey::Value>();
    auto host = std::make_unique<OffscreenHost>(
        std::move(view).onPreferenceChange<Text::LayoutKey>(
            [layouts](const Text::LayoutKey::Value& v) { *layouts = v; }),
        proposal);
    host->runUntilIdle();
    return layouts->empty() ? Text::Layout() : layouts->front().layout;
}

/// Lines, runs and glyph slices of two layouts agree exactly.
void expectSameLines(const Text::Layout& a, const Text::Layout& b) {
    ASSERT_EQ(a.lines().size(), b.lines().size());
    EXPECT_EQ(a.size(), b.size());
    for (std::size_t l = 0; l < a.lines().size(); ++l) {
        const auto& la = a.lines()[l];
        const auto& lb = b.lines()[l];
        EXPECT_EQ(la.characterRange, lb.characterRange) << "line " << l;
        EXPECT_EQ(la.typographicBounds, lb.typographicBounds) << "line " << l;
        ASSERT_EQ(la.runs.size(), lb.runs.size()) << "line " << l;
        for (std::size_t r = 0; r < la.runs.size(); ++r) {
            ASSERT_EQ(la.runs[r].slices.size(), lb.runs[r].slices.size());
            for (std::size_t s = 0; s < la.runs[r].slices.size(); ++s) {
                EXPECT_EQ(la.runs[r].slices[s].typographicBounds,
                          lb.runs[r].slices[s].typographicBounds);
                EXPECT_EQ(la.runs[r].slices[s].characterRange, lb.runs[r].slices[s].characterRange);
            }
        }
    }
}

} // namespace

TEST(TextLayoutCache, PlacedAtAWidthMeasuredBeforeOthersItDrawsThatWidthsLines) {
    // 120 is measured first; the proposals after it push its layout out before it is placed.
    const std::vector<std::optional<double>> tries{120.0, 0.0, std::nullopt, 60.0, 200.0};
    const Text::Layout tried = published(
        AnyView(LayoutView(std::make_shared<TryingLayout>(tries, 120.0), {AnyView(Text(kWords))})),
        {400.0, std::nullopt});
    const Text::Layout direct = published(AnyView(Text(kWords)), {120.0, std::nullopt});
    ASSERT_GT(direct.lines().size(), 3u);
    expectSameLines(tried, direct);

    // Drawn the same as well.
    OffscreenHost a(
        AnyView(LayoutView(std::make_shared<TryingLayout>(tries, 120.0), {AnyView(Text(kWords))})),
        {400.0, std::nullopt});
    OffscreenHost b(AnyView(Text(kWords)), {120.0, std::nullopt});
    a.runUntilIdle();
    b.runUntilIdle();
    const platform::Image drawnA = a.render(1.0, platform::Color::gray(1));
    const platform::Image drawnB = b.render(1.0, platform::Color::gray(1));
    ASSERT_EQ(drawnA.width(), drawnB.width());
    ASSERT_EQ(drawnA.height(), drawnB.height());
    EXPECT_TRUE(
        std::equal(drawnA.pixels().begin(), drawnA.pixels().end(), drawnB.pixels().begin()));
}

TEST(TextLayoutCache, GoingBackToThePreviousWidthKeepsItsLayout) {
    auto layouts = std::make_shared<Text::LayoutKey::Value>();
    OffscreenHost host(AnyView(Text(kWords))
                           .onPreferenceChange<Text::LayoutKey>(
                               [layouts](const Text::LayoutKey::Value& v) { *layouts = v; }),
                       ProposedViewSize{150.0, std::nullopt});
    const auto at = [&](double width) {
        host.setProposal({width, std::nullopt});
        host.runUntilIdle();
        return layouts->front().layout;
    };
    host.runUntilIdle();
    const Text::Layout first = layouts->front().layout;
    const Text::Layout second = at(90);
    EXPECT_FALSE(second == first);
    // A window resized to and fro lays nothing out again...
    EXPECT_TRUE(at(150) == first);
    EXPECT_TRUE(at(90) == second);
    // ...but a third width takes the place of the oldest, which is laid out anew, the same.
    (void)at(60);
    const Text::Layout again = at(150);
    EXPECT_FALSE(again == first);
    expectSameLines(again, first);
}

TEST(TextLayoutCache, TextsReadBeforeTheirFirstPlacementPublishTheLayoutTheyArePlacedWith) {
    auto layouts = std::make_shared<Text::LayoutKey::Value>();
    OffscreenHost host(
        AnyView(LayoutView(std::make_shared<PreferenceReadingStack>(),
                           {AnyView(Text(kWords)), AnyView(Text("")), AnyView(Text("last"))}))
            .onPreferenceChange<Text::LayoutKey>(
                [layouts](const Text::LayoutKey::Value& v) { *layouts = v; }),
        ProposedViewSize{120.0, std::nullopt});
    host.runUntilIdle();
    // Every text, the empty one too (its first placement changes no size), in tree order.
    ASSERT_EQ(layouts->size(), 3u);
    const Text::Layout direct = published(AnyView(Text(kWords)), {120.0, std::nullopt});
    ASSERT_GT(direct.lines().size(), 3u);
    expectSameLines(layouts->front().layout, direct);
    EXPECT_EQ((*layouts)[1].origin.rootValue().y, direct.size().height);
    EXPECT_EQ((*layouts)[2].origin.rootValue().y, direct.size().height);
}

TEST(TextLayoutCache, ATextMeasuredButNeverPlacedPublishesTheLayoutItWasMeasuredWith) {
    auto layouts = std::make_shared<Text::LayoutKey::Value>();
    OffscreenHost host(
        AnyView(LayoutView(std::make_shared<PreferenceReadingStack>(true), {AnyView(Text(kWords))}))
            .onPreferenceChange<Text::LayoutKey>(
                [layouts](const Text::LayoutKey::Value& v) { *layouts = v; }),
        ProposedViewSize{120.0, std::nullopt});
    host.runUntilIdle();
    ASSERT_EQ(layouts->size(), 1u);
    expectSameLines(layouts->front().layout,
                    published(AnyView(Text(kWords)), {120.0, std::nullopt}));
}

TEST(TextLayoutCache, ATextIsLaidOutAgainWhenItsRunsOrTheWeightItIsShownInChange) {
    // The node keeps the text it laid out and how its fonts resolve: an equal text keeps its
    // layout (though the node is updated, for another colour); another weight, or other runs,
    // make a new one.
    auto layouts = std::make_shared<Text::LayoutKey::Value>();
    const auto shown = [layouts](const Text& text, LegibilityWeight weight,
                                 platform::Color colour = platform::Color::black()) {
        return AnyView(text)
            .environment<ForegroundStyleKey>(colour)
            .environment<LegibilityWeightKey>(weight)
            .onPreferenceChange<Text::LayoutKey>(
                [layouts](const Text::LayoutKey::Value& v) { *layouts = v; });
    };
    const auto layout = [layouts] {
        return layouts->empty() ? Text::Layout() : layouts->front().layout;
    };
    OffscreenHost host(shown(Text("Some words"), LegibilityWeight::regular), {400.0, std::nullopt});
    host.runUntilIdle();
    const Text::Layout first = layout();
    ASSERT_GT(first.size().width, 0.0);

    host.setRootView(
        shown(Text("Some words"), LegibilityWeight::regular, platform::Color::gray(0.5)));
    host.runUntilIdle();
    EXPECT_EQ(layout(), first);
    host.setRootView(shown(Text("Some ") + Text("words"), LegibilityWeight::regular));
    host.runUntilIdle();
    EXPECT_EQ(layout().size(), first.size());
    EXPECT_FALSE(layout() == first);

    host.setRootView(shown(Text("Some ") + Text("words"), LegibilityWeight::bold));
    host.runUntilIdle();
    EXPECT_GT(layout().size().width, first.size().width);

    host.setRootView(shown(Text("Some words").italic(), LegibilityWeight::bold));
    host.runUntilIdle();
    EXPECT_NE(layout().base().string(), std::string());
    const Text::Layout italic = layout();
    host.setRootView(shown(Text("Other words").italic(), LegibilityWeight::bold));
    host.runUntilIdle();
    EXPECT_EQ(layout().base().string(), "Other words");
    EXPECT_FALSE(layout() == italic);
}
