#include "Probe.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ui_test;
using platform::Point;
using platform::Rect;

namespace {

struct NamesKey {
    using Value = std::vector<std::string>;
    static Value defaultValue() { return {"default"}; }
    static void reduce(Value& v, Value next) { v.insert(v.end(), next.begin(), next.end()); }
};

struct GreetingKey {
    using Value = std::string;
    static Value defaultValue() { return "hello"; }
};

struct ShowsGreeting {
    std::shared_ptr<std::vector<std::string>> seen;
    AnyView body(ViewContext& c) const {
        seen->push_back(c.environment<GreetingKey>());
        return EmptyView();
    }
};

} // namespace

TEST(Preferences, SiblingValuesReduceInTreeOrderAndTransformsApplyAbove) {
    auto result = std::make_shared<std::vector<std::string>>();
    OffscreenHost host(
        VStack({Text("a").preference<NamesKey>({"a"}),
                HStack({Text("b").preference<NamesKey>({"b"}), Text("no preference"),
                        Text("c").preference<NamesKey>({"c"})})
                    .transformPreference<NamesKey>([](NamesKey::Value& v) { v.push_back("!"); }),
                Text("d").preference<NamesKey>({"d"})})
            .onPreferenceChange<NamesKey>([result](const NamesKey::Value& v) { *result = v; }));
    host.runUntilIdle();
    EXPECT_EQ(*result, (std::vector<std::string>{"a", "b", "c", "!", "d"}));
}

TEST(Preferences, UnsetKeyReadsItsDefault) {
    auto result = std::make_shared<std::vector<std::string>>();
    OffscreenHost host(Text("nothing").onPreferenceChange<NamesKey>(
        [result](const NamesKey::Value& v) { *result = v; }));
    host.runUntilIdle();
    EXPECT_EQ(*result, std::vector<std::string>{"default"});
}

TEST(Environment, InnerWriterWinsAndDefaultsApplyWhereNothingIsWritten) {
    auto seen = std::make_shared<std::vector<std::string>>();
    OffscreenHost host(
        VStack({ShowsGreeting{seen},
                VStack({ShowsGreeting{seen},
                        AnyView(ShowsGreeting{seen}).environment<GreetingKey>("inner")})
                    .environment<GreetingKey>("outer")}));
    host.runUntilIdle();
    EXPECT_EQ(*seen, (std::vector<std::string>{"hello", "outer", "inner"}));

    EnvironmentValues env;
    EXPECT_FALSE(env.contains<GreetingKey>());
    env.set<GreetingKey>("x");
    const EnvironmentValues copy = env;
    env.set<GreetingKey>("y");
    EXPECT_EQ(copy.get<GreetingKey>(), "x");
    EXPECT_FALSE(copy == env);
    env.set<GreetingKey>("x");
    EXPECT_TRUE(copy == env);
}

namespace {

struct SpotKey {
    using Value = std::optional<Anchor<Rect>>;
    static Value defaultValue() { return std::nullopt; }
    static void reduce(Value& v, Value next) {
        if (!v) {
            v = next;
        }
    }
};

} // namespace

TEST(Geometry, AnchorsResolveInTheReadersSpaceAndNamedSpacesAreFound) {
    auto resolved = std::make_shared<Rect>(Rect::null());
    auto named = std::make_shared<std::optional<Rect>>();
    auto missing = std::make_shared<std::optional<Rect>>(Rect::zero());
    OffscreenHost host(VStack(
        HorizontalAlignment::leading(), 0.0,
        {block(100, 30),
         HStack(VerticalAlignment::top(), 0.0,
                {block(20, 10),
                 block(15, 5)
                     .anchorPreference<SpotKey, Rect>(
                         AnchorSource::bounds(), [](Anchor<Rect> a) { return SpotKey::Value(a); })
                     .onGeometryChange<std::optional<Rect>>(
                         [](const GeometryProxy& p) { return p.bounds("container"); },
                         [named](const auto&, const auto& r) { *named = r; })
                     .onGeometryChange<std::optional<Rect>>(
                         [](const GeometryProxy& p) { return p.bounds("nowhere"); },
                         [missing](const auto&, const auto& r) { *missing = r; })})
             .padding(EdgeInsets(4, 6, 0, 0))
             .coordinateSpace("container")
             .overlayPreferenceValue<SpotKey>(
                 [resolved](const SpotKey::Value& anchor) -> AnyView {
                     return GeometryReader([resolved, anchor](const GeometryProxy& p) {
                         if (anchor) {
                             *resolved = p[*anchor];
                         }
                         return AnyView();
                     });
                 },
                 Alignment::topLeading())}));
    host.runUntilIdle();
    // The overlay covers the padded row, which starts 30 points down.
    EXPECT_EQ(*resolved, (Rect{26, 4, 15, 5}));
    ASSERT_TRUE(named->has_value());
    EXPECT_EQ(**named, (Rect{26, 4, 15, 5}));
    EXPECT_FALSE(missing->has_value());
}

TEST(Geometry, GeometryReaderTakesTheOfferAndBuildsFromIt) {
    auto seen = std::make_shared<platform::Size>();
    OffscreenHost host(GeometryReader([seen](const GeometryProxy& p) {
                           *seen = p.size();
                           return AnyView(Text("inside"));
                       }),
                       ProposedViewSize{120.0, 40.0});
    host.runUntilIdle();
    EXPECT_EQ(*seen, (platform::Size{120, 40}));
    host.setProposal({80.0, 40.0});
    host.runUntilIdle();
    EXPECT_EQ(*seen, (platform::Size{80, 40}));
}

namespace {
struct LinkTag {
    std::string url;
    friend bool operator==(const LinkTag&, const LinkTag&) = default;
};
} // namespace

template <>
struct std::hash<LinkTag> {
    std::size_t operator()(const LinkTag& t) const noexcept {
        return std::hash<std::string>()(t.url);
    }
};

TEST(TextLayouts, LaidOutTextIsPublishedWithItsOriginAndCustomAttributes) {
    auto layouts = std::make_shared<Text::LayoutKey::Value>();
    const Text text = Text("Read ") + Text("the docs").customAttribute(LinkTag{"https://x.test"}) +
                      Text(" now") + Text::box({12, 12}).baselineOffset(-2);
    OffscreenHost host(VStack(HorizontalAlignment::leading(), 0.0, {block(10, 25), text.padding(5)})
                           .onPreferenceChange<Text::LayoutKey>(
                               [layouts](const Text::LayoutKey::Value& v) { *layouts = v; }));
    host.runUntilIdle();
    ASSERT_EQ(layouts->size(), 1u);
    const Text::AnchoredLayout& a = layouts->front();
    EXPECT_EQ(a.origin.rootValue(), (Point{5, 30}));
    ASSERT_EQ(a.layout.lines().size(), 1u);
    std::vector<std::string> tagged;
    bool sawBox = false;
    for (const auto& run : a.layout.lines()[0].runs) {
        if (const LinkTag* tag = a.layout.attribute<LinkTag>(run)) {
            tagged.push_back(a.layout.base().substring(run.characterRange) + "=" + tag->url);
        }
        if (run.isInlineBox) {
            sawBox = true;
            EXPECT_NEAR(run.typographicBounds.width, 12, 0.01);
            EXPECT_NEAR(run.typographicBounds.descent, 2, 0.01);
        }
        EXPECT_FALSE(run.slices.empty());
    }
    EXPECT_EQ(tagged, std::vector<std::string>{"the docs=https://x.test"});
    EXPECT_TRUE(sawBox);
}

TEST(TextLayouts, WrapsAtTheOfferedWidthAndKeepsItsWidestLine) {
    platform::Size wide;
    platform::Size narrow;
    const Text text("The quick brown fox jumps over the lazy dog");
    {
        OffscreenHost host(text, ProposedViewSize{1000.0, 100.0});
        wide = host.size();
    }
    {
        OffscreenHost host(text, ProposedViewSize{wide.width / 2, 100.0});
        narrow = host.size();
    }
    EXPECT_GT(narrow.height, wide.height * 1.5);
    EXPECT_LE(narrow.width, wide.width / 2);
    EXPECT_GT(narrow.width, wide.width / 4);
}

namespace {
/// Publishes its state under NamesKey; the overlay shows what it receives.
struct Publisher {
    std::shared_ptr<std::optional<State<std::string>>> handle;
    std::shared_ptr<std::vector<std::string>> shown;
    AnyView body(ViewContext& c) const {
        auto name = c.state<std::string>("first");
        *handle = name;
        return AnyView(Text("fixed").preference<NamesKey>({*name}))
            .overlayPreferenceValue<NamesKey>([shown = shown](const NamesKey::Value& v) {
                shown->push_back(v.empty() ? "" : v.back());
                return AnyView();
            });
    }
};
} // namespace

TEST(Preferences, OverlaysFollowTheValueEvenWhenTheLayoutStaysTheSame) {
    auto handle = std::make_shared<std::optional<State<std::string>>>();
    auto shown = std::make_shared<std::vector<std::string>>();
    OffscreenHost host(Publisher{handle, shown});
    host.runUntilIdle();
    ASSERT_FALSE(shown->empty());
    EXPECT_EQ(shown->back(), "first");
    (*handle)->set("second");
    host.runUntilIdle();
    EXPECT_EQ(shown->back(), "second");
    EXPECT_FALSE(host.graph().lastUpdateWasCutOff());
}

namespace {

/// A row publishing its name, with a height of its own that does not change what it publishes.
struct NamedRow {
    std::shared_ptr<std::optional<State<std::string>>> nameHandle;
    std::shared_ptr<std::optional<State<double>>> heightHandle;
    std::string initial;
    AnyView body(ViewContext& c) const {
        const State<std::string> name = c.state<std::string>(initial);
        const State<double> height = c.state<double>(10);
        if (nameHandle) {
            *nameHandle = name;
        }
        if (heightHandle) {
            *heightHandle = height;
        }
        return block(50, *height).preference<NamesKey>({*name});
    }
    friend bool operator==(const NamedRow& a, const NamedRow& b) { return a.initial == b.initial; }
};

} // namespace

TEST(Preferences, ManySiblingsCombineInOrderAndOneChangeReachesTheTop) {
    auto name = std::make_shared<std::optional<State<std::string>>>();
    auto height = std::make_shared<std::optional<State<double>>>();
    auto count = std::make_shared<std::optional<State<int>>>();
    auto seen = std::make_shared<NamesKey::Value>();
    auto changes = std::make_shared<int>(0);
    struct Rows {
        std::shared_ptr<std::optional<State<std::string>>> name;
        std::shared_ptr<std::optional<State<double>>> height;
        std::shared_ptr<std::optional<State<int>>> count;
        AnyView body(ViewContext& c) const {
            const State<int> rows = c.state<int>(300);
            *count = rows;
            std::vector<AnyView> children;
            for (int i = 0; i < *rows; ++i) {
                children.push_back(NamedRow{i == 150 ? name : nullptr, i == 200 ? height : nullptr,
                                            "row" + std::to_string(i)});
            }
            return VStack(children);
        }
    };
    OffscreenHost host(AnyView(Rows{name, height, count})
                           .onPreferenceChange<NamesKey>([seen, changes](const auto& names) {
                               *seen = names;
                               ++*changes;
                           }));
    host.runUntilIdle();
    const auto expected = [](int rows, int changed, const std::string& as) {
        NamesKey::Value v;
        for (int i = 0; i < rows; ++i) {
            v.push_back(i == changed ? as : "row" + std::to_string(i));
        }
        return v;
    };
    EXPECT_EQ(*seen, expected(300, -1, ""));

    // One row's value: the reader sees all of them, in order, with the new one; the values
    // combined again are those of its neighbours and the path above it, not the 300 rows'.
    const int before = *changes;
    const auto combined = host.graph().statistics().preferencesCombined;
    (*name)->set("renamed");
    host.runUntilIdle();
    EXPECT_EQ(*seen, expected(300, 150, "renamed"));
    EXPECT_EQ(*changes, before + 1);
    EXPECT_LE(host.graph().statistics().preferencesCombined - combined, 60U);

    // A row changes without changing what it publishes: the reader is not told again.
    (*height)->set(25);
    host.runUntilIdle();
    EXPECT_EQ(*changes, before + 1);

    // A row comes at the end, one at a time, as rows placed in idle time do: the reader sees
    // every row, and the rows that stay keep their runs (the last run and the path above it are
    // combined again, not the 300 rows).
    for (const int rows : {301, 302, 318}) {
        const auto combinedBefore = host.graph().statistics().preferencesCombined;
        (*count)->set(rows);
        host.runUntilIdle();
        EXPECT_EQ(*seen, expected(rows, 150, "renamed"));
        EXPECT_LE(host.graph().statistics().preferencesCombined - combinedBefore, 80U) << rows;
    }

    // Rows go, and come again as new ones: the values follow.
    for (const auto& [rows, renamed] :
         {std::pair{300, true}, {120, false}, {16, false}, {290, false}}) {
        (*count)->set(rows);
        host.runUntilIdle();
        EXPECT_EQ(*seen, expected(rows, renamed ? 150 : -1, "renamed")) << rows;
    }
}

namespace {

// A block 100 wide that starts 30 tall and grows on its own when its state is set: the views
// below it are not evaluated again, only moved.
struct GrowingBlock {
    std::shared_ptr<std::optional<State<double>>> height;
    AnyView body(ViewContext& c) const {
        const State<double> h = c.state<double>(30);
        *height = h;
        return block(100, *h);
    }
    bool operator==(const GrowingBlock&) const { return true; }
};

} // namespace

TEST(Preferences, AnchorsFollowAViewThatMoves) {
    auto height = std::make_shared<std::optional<State<double>>>();
    auto seen = std::make_shared<SpotKey::Value>();
    OffscreenHost host(
        VStack(HorizontalAlignment::leading(), 0.0,
               {GrowingBlock{height},
                VStack({block(20, 10).anchorPreference<SpotKey, Rect>(
                    AnchorSource::bounds(), [](Anchor<Rect> a) { return SpotKey::Value(a); })})})
            .onPreferenceChange<SpotKey>([seen](const SpotKey::Value& v) { *seen = v; }));
    host.runUntilIdle();
    ASSERT_TRUE(seen->has_value());
    EXPECT_EQ((*seen)->rootValue(), (Rect{0, 30, 20, 10}));
    (*height)->set(45);
    host.runUntilIdle();
    ASSERT_TRUE(seen->has_value());
    EXPECT_EQ((*seen)->rootValue(), (Rect{0, 45, 20, 10}));
}

namespace {

struct SpotsKey {
    using Value = std::vector<Anchor<Rect>>;
    static Value defaultValue() { return {}; }
    static void reduce(Value& v, Value next) { v.insert(v.end(), next.begin(), next.end()); }
};

} // namespace

TEST(Preferences, AnchorsOfManySiblingsFollowTheirContainerWhenItMoves) {
    // Enough siblings that their container combines their values by runs (a long table's
    // cells): when it moves, every run is combined again from the moved anchors, not kept.
    constexpr int rows = 40;
    auto height = std::make_shared<std::optional<State<double>>>();
    auto seen = std::make_shared<SpotsKey::Value>();
    std::vector<AnyView> spots;
    for (int i = 0; i < rows; ++i) {
        spots.push_back(block(20, 10).anchorPreference<SpotsKey, Rect>(
            AnchorSource::bounds(), [](Anchor<Rect> a) { return SpotsKey::Value{a}; }));
    }
    OffscreenHost host(
        VStack(HorizontalAlignment::leading(), 0.0,
               {GrowingBlock{height}, VStack(HorizontalAlignment::leading(), 0.0, spots)})
            .onPreferenceChange<SpotsKey>([seen](const SpotsKey::Value& v) { *seen = v; }));
    const auto expectSpotsBelow = [&](double top) {
        ASSERT_EQ(seen->size(), static_cast<std::size_t>(rows));
        for (int i = 0; i < rows; ++i) {
            EXPECT_EQ((*seen)[static_cast<std::size_t>(i)].rootValue(),
                      (Rect{0, top + 10.0 * i, 20, 10}))
                << "spot " << i;
        }
    };
    host.runUntilIdle();
    expectSpotsBelow(30);
    // Moved twice: a move must leave the values where the next one finds them stale too.
    for (const double grown : {45.0, 12.0}) {
        (*height)->set(grown);
        host.runUntilIdle();
        expectSpotsBelow(grown);
    }
}

TEST(Preferences, ValuesThatReadNoGeometryAreNotCombinedAgainWhenTheirViewsMove) {
    // Rows publishing fixed values (and a transform of them) below a block that grows: the rows
    // move, their values stay, and none of them is combined again for the move.
    constexpr int rows = 40;
    auto height = std::make_shared<std::optional<State<double>>>();
    auto seen = std::make_shared<NamesKey::Value>();
    std::vector<AnyView> named;
    NamesKey::Value expected;
    for (int i = 0; i < rows; ++i) {
        named.push_back(block(20, 10).preference<NamesKey>({"row" + std::to_string(i)}));
        expected.push_back("row" + std::to_string(i));
    }
    expected.push_back("end");
    OffscreenHost host(
        VStack(HorizontalAlignment::leading(), 0.0,
               {GrowingBlock{height},
                VStack(HorizontalAlignment::leading(), 0.0, named)
                    .transformPreference<NamesKey>([](NamesKey::Value& v) { v.push_back("end"); })})
            .onPreferenceChange<NamesKey>([seen](const NamesKey::Value& v) { *seen = v; }));
    host.runUntilIdle();
    EXPECT_EQ(*seen, expected);
    for (const double grown : {45.0, 12.0}) {
        const auto combined = host.graph().statistics().preferencesCombined;
        (*height)->set(grown);
        host.runUntilIdle();
        EXPECT_EQ(*seen, expected);
        // The path from the grown block to the root, not the rows.
        EXPECT_LE(host.graph().statistics().preferencesCombined - combined, 8U) << grown;
    }
}

namespace {

/// A text with a background and an overlay, each publishing a name, behind a few modifiers that
/// publish nothing of their own.
AnyView decorated(const std::string& background, const std::string& overlay) {
    return Text("content")
        .preference<NamesKey>({"content"})
        .background(Text("behind").preference<NamesKey>({background}))
        .overlay(Text("above").preference<NamesKey>({overlay}))
        .padding(4)
        .frame(200, 40);
}

} // namespace

TEST(Preferences, BackgroundsAndOverlaysAddTheirValuesAroundTheirContentsInDrawingOrder) {
    auto result = std::make_shared<std::vector<std::string>>();
    const auto root = [result](const std::string& background, const std::string& overlay) {
        return AnyView(
            VStack({decorated(background, overlay), Text("plain").padding(2)})
                .onPreferenceChange<NamesKey>([result](const NamesKey::Value& v) { *result = v; }));
    };
    OffscreenHost host(root("back", "front"));
    host.runUntilIdle();
    EXPECT_EQ(*result, (std::vector<std::string>{"back", "content", "front"}));

    // A new value in an overlay reaches the top through the modifiers around it.
    host.setRootView(root("back", "new front"));
    host.runUntilIdle();
    EXPECT_EQ(*result, (std::vector<std::string>{"back", "content", "new front"}));
}
