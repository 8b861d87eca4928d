#include "Probe.hpp"
#include "platform/ui/Node.hpp"

#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numeric>
#include <stdexcept>

using namespace ui_test;
using platform::Color;
using platform::Rect;
using platform::Size;

namespace {

std::shared_ptr<Frames> layOut(const std::function<AnyView(const std::shared_ptr<Frames>&)>& make,
                               ProposedViewSize proposal, Size* rootSize = nullptr) {
    auto frames = std::make_shared<Frames>();
    OffscreenHost host(make(frames), proposal);
    host.runUntilIdle();
    if (rootSize != nullptr) {
        *rootSize = host.size();
    }
    return frames;
}

const ProposedViewSize kPage{200.0, 100.0};

} // namespace

TEST(StackLayout, HorizontalStackPlacesChildrenWithSpacingAndCentresThem) {
    Size size;
    const auto f = layOut(
        [](const auto& fr) {
            return HStack(VerticalAlignment::center(), 10.0,
                          {probe(block(20, 30), fr, "a"), probe(block(40, 10), fr, "b")});
        },
        kPage, &size);
    EXPECT_EQ(size, (Size{70, 30}));
    EXPECT_EQ((*f)["a"], (Rect{0, 0, 20, 30}));
    EXPECT_EQ((*f)["b"], (Rect{30, 10, 40, 10}));
}

TEST(StackLayout, DefaultSpacingIsTheStandardDistance) {
    const auto f = layOut(
        [](const auto& fr) {
            return VStack({probe(block(10, 10), fr, "a"), probe(block(10, 10), fr, "b")});
        },
        kPage);
    EXPECT_EQ((*f)["b"].origin.y, 10 + ViewSpacing::standard);
}

TEST(StackLayout, VerticalStackAlignsLeadingAndTrailing) {
    for (const bool leading : {true, false}) {
        const auto f = layOut(
            [leading](const auto& fr) {
                return VStack(leading ? HorizontalAlignment::leading()
                                      : HorizontalAlignment::trailing(),
                              0.0, {block(50, 10), probe(block(30, 10), fr, "narrow")});
            },
            kPage);
        EXPECT_EQ((*f)["narrow"], (Rect{leading ? 0.0 : 20.0, 10, 30, 10})) << leading;
    }
}

TEST(StackLayout, FlexibleChildTakesWhatTheFixedOnesLeave) {
    const auto f = layOut(
        [](const auto& fr) {
            return HStack(VerticalAlignment::center(), 0.0,
                          {probe(block(20, 10), fr, "fixed"),
                           probe(AnyView(platform::Color::white()).frame({.maxWidth = infinity}),
                                 fr, "flexible")});
        },
        kPage);
    EXPECT_EQ((*f)["flexible"].origin.x, 20);
    EXPECT_EQ((*f)["flexible"].size.width, 180);
}

TEST(StackLayout, HigherLayoutPriorityIsOfferedSpaceFirst) {
    const auto f = layOut(
        [](const auto& fr) {
            const auto flexible = [] {
                return AnyView(platform::Color::white())
                    .frame({.minWidth = 10.0, .maxWidth = infinity});
            };
            return HStack(
                VerticalAlignment::center(), 0.0,
                {probe(flexible(), fr, "low"), probe(flexible().layoutPriority(1), fr, "high")});
        },
        {100.0, 20.0});
    EXPECT_EQ((*f)["low"].size.width, 10);
    EXPECT_EQ((*f)["high"].size.width, 90);
}

TEST(FrameLayout, FlexibleFrameLimits) {
    Size size;
    // A minimum widens a narrower child; the child sits centred.
    auto f = layOut(
        [](const auto& fr) { return probe(block(50, 10), fr, "child").frame({.minWidth = 100.0}); },
        kPage, &size);
    EXPECT_EQ(size.width, 100);
    EXPECT_EQ((*f)["child"].origin.x, 25);
    // A maximum takes the offer up to the maximum.
    layOut([](const auto&) { return block(50, 10).frame({.maxWidth = 150.0}); }, kPage, &size);
    EXPECT_EQ(size.width, 150);
    // Without an offer, the child's own width.
    layOut([](const auto&) { return block(50, 10).frame({.maxWidth = 150.0}); }, ProposedViewSize{},
           &size);
    EXPECT_EQ(size.width, 50);
    // Alignment inside a fixed frame.
    f = layOut(
        [](const auto& fr) {
            return probe(block(10, 10), fr, "child").frame(40.0, 30.0, Alignment::bottomTrailing());
        },
        kPage, &size);
    EXPECT_EQ(size, (Size{40, 30}));
    EXPECT_EQ((*f)["child"], (Rect{30, 20, 10, 10}));
}

TEST(FrameLayout, PaddingInsetsTheChild) {
    Size size;
    const auto f = layOut(
        [](const auto& fr) {
            return probe(block(20, 20), fr, "child").padding(EdgeInsets(1, 2, 3, 4));
        },
        kPage, &size);
    EXPECT_EQ(size, (Size{26, 24}));
    EXPECT_EQ((*f)["child"], (Rect{2, 1, 20, 20}));
}

TEST(FrameLayout, FixedSizeIgnoresTheOfferAndOffsetMovesOnlyTheDrawing) {
    Size size;
    layOut([](const auto&) { return Text("A line too long for the offer").fixedSize(); },
           {20.0, 10.0}, &size);
    EXPECT_GT(size.width, 100);
    const auto f = layOut(
        [](const auto& fr) {
            return HStack(
                VerticalAlignment::top(), 0.0,
                {probe(block(10, 10), fr, "moved").offset(5, 7), probe(block(10, 10), fr, "next")});
        },
        kPage, &size);
    EXPECT_EQ((*f)["moved"], (Rect{5, 7, 10, 10}));
    EXPECT_EQ((*f)["next"].origin.x, 10);
}

TEST(FrameLayout, OverlayAndBackgroundTakeTheContentsSizeAndAlignment) {
    Size size;
    const auto f = layOut(
        [](const auto& fr) {
            return block(40, 20)
                .overlay(probe(block(10, 10), fr, "badge"), Alignment::topTrailing())
                .background(probe(AnyView(platform::Color::white()), fr, "fill"));
        },
        kPage, &size);
    EXPECT_EQ(size, (Size{40, 20}));
    EXPECT_EQ((*f)["badge"], (Rect{30, 0, 10, 10}));
    EXPECT_EQ((*f)["fill"], (Rect{0, 0, 40, 20}));
}

namespace {
const AlignmentID kMidline{[](const ViewDimensions& d) { return d.height() / 2; }, "midline"};
} // namespace

TEST(AlignmentGuides, CustomGuideLinesUpTheMarkedEdges) {
    const auto f = layOut(
        [](const auto& fr) {
            const VerticalAlignment midline(kMidline);
            return HStack(midline, 0.0,
                          {probe(block(10, 40).alignmentGuide(
                                     midline, [](const ViewDimensions& d) { return d.height(); }),
                                 fr, "a"),
                           probe(block(10, 20).alignmentGuide(
                                     midline, [](const ViewDimensions&) { return 0.0; }),
                                 fr, "b")});
        },
        kPage);
    // b's top edge is on a's bottom edge.
    EXPECT_EQ((*f)["b"].origin.y, (*f)["a"].maxY());
    EXPECT_EQ((*f)["a"].origin.y, 0);
}

TEST(AlignmentGuides, FirstTextBaselinesOfDifferentSizesLineUp) {
    auto layouts = std::make_shared<Text::LayoutKey::Value>();
    OffscreenHost host(HStack(VerticalAlignment::firstTextBaseline(), 4.0,
                              {Text("Big").font(platform::Font::system(30)),
                               Text("small").font(platform::Font::system(10)).padding(3)})
                           .onPreferenceChange<Text::LayoutKey>(
                               [layouts](const Text::LayoutKey::Value& v) { *layouts = v; }),
                       kPage);
    host.runUntilIdle();
    ASSERT_EQ(layouts->size(), 2u);
    const auto baseline = [&](std::size_t i) {
        return (*layouts)[i].origin.rootValue().y +
               (*layouts)[i].layout.lines()[0].typographicBounds.origin.y;
    };
    EXPECT_NEAR(baseline(0), baseline(1), 1e-9);
    EXPECT_GT((*layouts)[1].origin.rootValue().y, (*layouts)[0].origin.rootValue().y);
}

TEST(AlignmentGuides, StacksPassTheirChildrensBaselinesOn) {
    auto layouts = std::make_shared<Text::LayoutKey::Value>();
    OffscreenHost host(
        HStack(VerticalAlignment::firstTextBaseline(), 4.0,
               {Text("Left"), VStack(HorizontalAlignment::leading(), 6.0,
                                     {block(10, 30), Text("first"), Text("second")})})
            .onPreferenceChange<Text::LayoutKey>(
                [layouts](const Text::LayoutKey::Value& v) { *layouts = v; }),
        kPage);
    host.runUntilIdle();
    ASSERT_EQ(layouts->size(), 3u);
    const auto baseline = [&](std::size_t i) {
        return (*layouts)[i].origin.rootValue().y +
               (*layouts)[i].layout.lines()[0].typographicBounds.origin.y;
    };
    // "Left" lines up with the stack's first text, which sits below the block and its spacing.
    EXPECT_NEAR(baseline(0), baseline(1), 1e-9);
    EXPECT_NEAR((*layouts)[0].origin.rootValue().y, 36, 1e-9);
    EXPECT_NEAR((*layouts)[1].origin.rootValue().y, 36, 1e-9);
}

TEST(GridLayout, ColumnsAndRowsTakeTheirLargestCells) {
    Size size;
    const auto f = layOut(
        [](const auto& fr) {
            return Grid(
                Alignment::center(), 2.0, 3.0,
                {GridRow({probe(block(10, 10).gridColumnAlignment(HorizontalAlignment::trailing()),
                                fr, "00"),
                          probe(block(30, 5), fr, "01")}),
                 GridRow({probe(block(20, 20), fr, "10"), probe(block(5, 5), fr, "11")})});
        },
        kPage, &size);
    EXPECT_EQ(size, (Size{52, 33}));
    EXPECT_EQ((*f)["00"], (Rect{10, 0, 10, 10}));  // trailing in a 20-wide column
    EXPECT_EQ((*f)["01"], (Rect{22, 2.5, 30, 5})); // centred in a 10-high row
    EXPECT_EQ((*f)["10"], (Rect{0, 13, 20, 20}));
    EXPECT_EQ((*f)["11"], (Rect{34.5, 20.5, 5, 5}));
}

TEST(GridLayout, NarrowedColumnsHugTheirCellsAndKeepTheirMinimum) {
    const std::string words = "Narrow columns wrap their text onto several lines of words";
    Size natural;
    layOut([&](const auto&) { return AnyView(Text(words)); }, {}, &natural);
    const auto grid = [&](AnyView first, AnyView second) {
        return [first, second](const auto& fr) {
            return AnyView(
                Grid(Alignment::topLeading(), 0.0, 0.0,
                     {GridRow({probe(first, fr, "first"), probe(second, fr, "second")})}));
        };
    };

    // Wrapped text comes back narrower than its share: the column ends where its text does, not
    // where the share did.
    Size size;
    const CGFloat offer = std::round(natural.width * 0.6) + 10;
    auto f = layOut(grid(AnyView(Text(words)), block(10, 10)), {offer, 400.0}, &size);
    EXPECT_LT((*f)["first"].size.width, offer - 10 - 1);
    EXPECT_EQ((*f)["second"].origin.x, (*f)["first"].maxX());
    EXPECT_EQ(size.width, (*f)["first"].size.width + 10);

    // A column is never narrower than what its cells can be narrowed to (here a fixed block),
    // although an even share would have been less; the text column gives up the rest, down to
    // its longest word.
    f = layOut(grid(block(70, 10), AnyView(Text(words))), {135.0, 400.0}, &size);
    EXPECT_EQ((*f)["second"].origin.x, 70);
    EXPECT_LE(size.width, 135);

    // When even the minimums do not fit, the grid is as wide as they are, wider than offered.
    f = layOut(grid(block(60, 10), block(50, 10)), {80.0, 400.0}, &size);
    EXPECT_EQ((*f)["second"].origin.x, 60);
    EXPECT_EQ(size.width, 110);
}

TEST(BadInput, NonFiniteAndNegativeValuesLayOutAsSoundSizes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Size size;
    const auto f = layOut(
        [nan](const auto& fr) {
            return VStack({probe(block(nan, -5), fr, "nan"),
                           probe(block(10, 10).padding(infinity).offset(nan, infinity), fr, "inf"),
                           probe(Text(""), fr, "empty"),
                           probe(block(10, 10).frame({.minWidth = 50.0, .maxWidth = 5.0}), fr,
                                 "contradictory")});
        },
        {nan, -3.0}, &size);
    for (const char* name : {"nan", "inf", "empty", "contradictory"}) {
        const Rect r = (*f)[name];
        ASSERT_FALSE(r.isNull()) << name;
        EXPECT_TRUE(std::isfinite(r.origin.x) && std::isfinite(r.origin.y) &&
                    std::isfinite(r.size.width) && std::isfinite(r.size.height))
            << name;
        EXPECT_GE(r.size.width, 0) << name;
        EXPECT_GE(r.size.height, 0) << name;
    }
    // An unknown width is no constraint (a colour's ideal 10); a negative one is zero.
    EXPECT_EQ((*f)["nan"].size, (Size{10, 0}));
    EXPECT_EQ((*f)["empty"].size, (Size{0, 0}));
    EXPECT_EQ((*f)["contradictory"].size.width, 50);
    EXPECT_TRUE(std::isfinite(size.width) && std::isfinite(size.height));
}

TEST(StackLayout, LongStacksOfTextLayOutTheSameOnSeveralThreads) {
    // Enough texts for the parallel path; each must get the height a lone text of it gets.
    auto frames = std::make_shared<Frames>();
    std::vector<int> indices(48);
    std::iota(indices.begin(), indices.end(), 0);
    const auto line = [](int i) {
        return std::string(static_cast<std::size_t>(1 + i % 5), 'w') + " words " +
               std::to_string(i) + (i % 3 == 0 ? " and a longer tail that wraps at the width" : "");
    };
    OffscreenHost host(
        VStack(HorizontalAlignment::leading(), 0.0,
               {ForEach(
                   indices, [](int i) { return i; },
                   [&](int i) { return probe(Text(line(i)), frames, std::to_string(i)); })}),
        ProposedViewSize{150.0, std::nullopt});
    host.runUntilIdle();
    double y = 0;
    for (int i = 0; i < 48; ++i) {
        const Rect r = (*frames)[std::to_string(i)];
        EXPECT_EQ(r.origin.y, y) << i;
        OffscreenHost alone(Text(line(i)), ProposedViewSize{150.0, std::nullopt});
        EXPECT_EQ(r.size, alone.size()) << i;
        y += r.size.height;
    }
}

namespace {
struct Boxed {
    platform::CGFloat inset;
    AnyView body(AnyView content) const {
        return content.padding(inset).background(Color::white());
    }
    friend bool operator==(const Boxed&, const Boxed&) = default;
};
} // namespace

TEST(FrameLayout, ViewModifiersWrapTheirContent) {
    Size size;
    const auto f = layOut(
        [](const auto& fr) { return probe(block(10, 10), fr, "content").modifier(Boxed{3}); },
        kPage, &size);
    EXPECT_EQ(size, (Size{16, 16}));
    EXPECT_EQ((*f)["content"], (Rect{3, 3, 10, 10}));
}

namespace {
struct GapKey {
    using Value = double;
    static Value defaultValue() { return 0; }
};

/// A vertical stack that leaves below each subview the gap the subview asks for, read into its
/// cache.
class GapStack final : public Layout {
public:
    std::any makeCache(LayoutSubviews subviews) const override {
        std::vector<double> gaps;
        for (const LayoutSubview& s : subviews) {
            gaps.push_back(s.get<GapKey>());
        }
        return gaps;
    }
    Size sizeThatFits(ProposedViewSize p, LayoutSubviews subviews, std::any& cache) const override {
        const auto& gaps = std::any_cast<const std::vector<double>&>(cache);
        Size total;
        for (std::size_t i = 0; i < subviews.size(); ++i) {
            const Size s = subviews[i].sizeThatFits({p.width, std::nullopt});
            total.width = std::max(total.width, s.width);
            total.height += s.height + gaps[i];
        }
        return total;
    }
    void placeSubviews(Rect bounds, ProposedViewSize p, LayoutSubviews subviews,
                       std::any& cache) const override {
        const auto& gaps = std::any_cast<const std::vector<double>&>(cache);
        double y = bounds.minY();
        for (std::size_t i = 0; i < subviews.size(); ++i) {
            subviews[i].place({bounds.minX(), y}, UnitPoint::topLeading(), {p.width, std::nullopt});
            y += subviews[i].sizeThatFits({p.width, std::nullopt}).height + gaps[i];
        }
    }
};

struct Gapped {
    std::shared_ptr<std::optional<State<double>>> handle;
    AnyView body(ViewContext& c) const {
        auto gap = c.state<double>(2);
        *handle = gap;
        return block(10, 10).layoutValue<GapKey>(*gap);
    }
};
} // namespace

TEST(CustomLayout, CacheIsRefreshedWhenASubviewsLayoutValueChanges) {
    auto frames = std::make_shared<Frames>();
    auto handle = std::make_shared<std::optional<State<double>>>();
    OffscreenHost host(LayoutView(std::make_shared<GapStack>(),
                                  {Gapped{handle}, probe(block(10, 10), frames, "b")}),
                       kPage);
    host.runUntilIdle();
    EXPECT_EQ((*frames)["b"].origin.y, 12);
    (*handle)->set(7);
    host.runUntilIdle();
    EXPECT_EQ((*frames)["b"].origin.y, 17);
    EXPECT_EQ(host.size().height, 27);
}

TEST(GridLayout, RowsFromAListAndRowlessChildrenSpanningAllColumns) {
    Size size;
    const auto f = layOut(
        [](const auto& fr) {
            return Grid(Alignment::topLeading(), 0.0, 0.0,
                        {ForEach::range(2,
                                        [&fr](int r) {
                                            return GridRow({probe(block(10.0 * (r + 1), 10), fr,
                                                                  "cell" + std::to_string(r)),
                                                            block(5, 5)});
                                        }),
                         probe(block(8, 4), fr, "spanning")});
        },
        kPage, &size);
    EXPECT_EQ(size, (Size{25, 24}));
    EXPECT_EQ((*f)["cell1"], (Rect{0, 10, 20, 10}));
    EXPECT_EQ((*f)["spanning"], (Rect{0, 20, 8, 4}));
}

namespace {
/// A layout that answers and places with values no layout should produce.
class WildLayout final : public Layout {
public:
    Size sizeThatFits(ProposedViewSize, LayoutSubviews, std::any&) const override {
        return {std::numeric_limits<double>::quiet_NaN(), -infinity};
    }
    void placeSubviews(Rect, ProposedViewSize, LayoutSubviews subviews, std::any&) const override {
        for (const LayoutSubview& s : subviews) {
            s.place({std::numeric_limits<double>::quiet_NaN(), infinity}, UnitPoint::center(),
                    {-5.0, std::numeric_limits<double>::quiet_NaN()});
        }
    }
};
} // namespace

TEST(BadInput, CustomLayoutsCannotPlaceViewsAtUnsoundPositions) {
    Size size;
    const auto f = layOut(
        [](const auto& fr) {
            return LayoutView(std::make_shared<WildLayout>(), {probe(block(10, 10), fr, "child")});
        },
        kPage, &size);
    EXPECT_EQ(size, (Size{0, 0}));
    const Rect r = (*f)["child"];
    EXPECT_TRUE(std::isfinite(r.origin.x) && std::isfinite(r.origin.y));
    EXPECT_EQ(r.size, (Size{10, 10}));
}

TEST(StackLayout, ParallelWorkThatFailsIsReportedWithoutHanging) {
    std::atomic<int> ran{0};
    EXPECT_THROW(detail::parallelFor(64,
                                     [&ran](std::size_t i) {
                                         ++ran;
                                         if (i % 9 == 4) {
                                             throw std::runtime_error("item failed");
                                         }
                                     }),
                 std::runtime_error);
    EXPECT_EQ(ran.load(), 64);
}

TEST(StackLayout, RightToLeftMirrorsPlacementsWithinEachParent) {
    auto frames = std::make_shared<Frames>();
    OffscreenHost host(
        VStack(HorizontalAlignment::leading(), 0.0,
               {HStack(VerticalAlignment::top(), 0.0,
                       {probe(block(10, 10), frames, "first"),
                        probe(block(30, 10), frames, "second")}),
                probe(block(20, 10), frames, "narrow"),
                probe(block(10, 10), frames, "padded").padding(EdgeInsets(0, 5, 0, 0))})
            .environment<LayoutDirectionKey>(LayoutDirection::rightToLeft),
        kPage);
    host.runUntilIdle();
    EXPECT_EQ(host.size().width, 40);
    EXPECT_EQ((*frames)["first"], (Rect{30, 0, 10, 10}));
    EXPECT_EQ((*frames)["second"], (Rect{0, 0, 30, 10}));
    EXPECT_EQ((*frames)["narrow"], (Rect{20, 10, 20, 10}));
    EXPECT_EQ((*frames)["padded"], (Rect{25, 20, 10, 10}));
}

namespace {

/// Asks its only subview for each of `proposals`, twice (the second time from what the node
/// kept), and records the answers.
class AskingLayout final : public Layout {
public:
    AskingLayout(std::vector<ProposedViewSize> proposals,
                 std::shared_ptr<std::vector<Size>> answers)
        : proposals_(std::move(proposals))
        , answers_(std::move(answers)) {}
    Size sizeThatFits(ProposedViewSize, LayoutSubviews subviews, std::any&) const override {
        answers_->clear();
        for (int round = 0; round < 2; ++round) {
            for (const ProposedViewSize& p : proposals_) {
                answers_->push_back(subviews[0].sizeThatFits(p));
            }
        }
        return {10, 10};
    }
    void placeSubviews(Rect bounds, ProposedViewSize, LayoutSubviews subviews,
                       std::any&) const override {
        subviews[0].place(bounds.origin, UnitPoint::topLeading(), ProposedViewSize(bounds.size));
    }

private:
    std::vector<ProposedViewSize> proposals_;
    std::shared_ptr<std::vector<Size>> answers_;
};

} // namespace

TEST(CustomLayout, AViewsAnswersToDifferentProposalsAreKeptApart) {
    // An unspecified length and a zero one are different offers: a colour answers its ideal
    // 10 points to the first, nothing to the second; and asked again, each the same, whether a
    // few answers are kept, many, or more than a node keeps (the oldest dropped).
    constexpr platform::CGFloat inf = std::numeric_limits<platform::CGFloat>::infinity();
    const std::vector<ProposedViewSize> proposals{{std::nullopt, std::nullopt},
                                                  {0.0, 0.0},
                                                  {std::nullopt, 0.0},
                                                  {0.0, std::nullopt},
                                                  {50.0, 20.0},
                                                  {inf, 30.0},
                                                  {20.0, std::nullopt},
                                                  {std::nullopt, 40.0},
                                                  {60.0, 60.0},
                                                  {70.0, 80.0},
                                                  {90.0, 5.0}};
    const std::vector<Size> expected{{10, 10}, {0, 0},   {10, 0},  {0, 10},  {50, 20}, {inf, 30},
                                     {20, 10}, {10, 40}, {60, 60}, {70, 80}, {90, 5}};
    for (const std::size_t asked :
         {std::size_t(1), std::size_t(2), std::size_t(4), std::size_t(8), proposals.size()}) {
        const std::vector<ProposedViewSize> some(proposals.begin(),
                                                 proposals.begin() + std::ptrdiff_t(asked));
        auto answers = std::make_shared<std::vector<Size>>();
        OffscreenHost host(
            LayoutView(std::make_shared<AskingLayout>(some, answers), {AnyView(Color::gray(0.5))}),
            kPage);
        host.runUntilIdle();
        const std::vector<Size> once(expected.begin(), expected.begin() + std::ptrdiff_t(asked));
        std::vector<Size> twice = once;
        twice.insert(twice.end(), once.begin(), once.end());
        EXPECT_EQ(*answers, twice) << asked << " proposals";
    }
}

TEST(LayoutCache, AnswersPastThoseKeptInPlaceKeepTheirOrderAndTheirRoomIsReused) {
    detail::AnswerLog<int, 2, 5> log;
    for (int round = 0; round < 2; ++round) {
        const int first = 10 * round;
        for (int i = 0; i < 5; ++i) {
            log.push_back(first + i);
        }
        // The oldest goes; the others move up across the end of the room in place.
        log.eraseFirst();
        log.push_back(first + 5);
        ASSERT_EQ(log.size(), 5U);
        for (std::size_t i = 0; i < log.size(); ++i) {
            EXPECT_EQ(log[i], first + static_cast<int>(i) + 1) << round << " " << i;
        }
        log.clear();
        EXPECT_TRUE(log.empty());
    }
}
