// What the engine does for a change, counted: bodies evaluated, nodes brought up to date, sizes
// computed, display lists recorded, nodes hit-tested. Work must follow what changed and what is
// visible, never the size of the tree.

#include "Probe.hpp"
#include "platform/observation/ObservationRegistrar.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace ui_test;
using platform::Point;

namespace {

class Model {
public:
    enum class Property { tick, text };
    platform::ObservationRegistrar registrar;
    platform::Observed<int> tick{registrar, Property::tick, 0};
};

struct AccentKey {
    using Value = int;
    static Value defaultValue() { return 0; }
};
struct WeightKey {
    using Value = double;
    static Value defaultValue() { return 0; }
};

/// Counts its evaluations; reads `AccentKey` when asked to.
struct Leaf {
    std::shared_ptr<int> evaluations;
    bool readsAccent = false;
    AnyView body(ViewContext& c) const {
        ++*evaluations;
        if (readsAccent) {
            return Text("accent " + std::to_string(c.environment<AccentKey>()));
        }
        return Text("plain");
    }
    friend bool operator==(const Leaf&, const Leaf&) = default;
};

/// A vertical layout that counts the sizes it is asked for.
class CountingLayout final : public Layout {
public:
    explicit CountingLayout(std::shared_ptr<int> calls)
        : calls_(std::move(calls)) {}
    Size sizeThatFits(ProposedViewSize p, LayoutSubviews subviews, std::any&) const override {
        ++*calls_;
        Size total;
        for (const auto& s : subviews) {
            const Size c = s.sizeThatFits({p.width, std::nullopt});
            total.width = std::max(total.width, c.width);
            total.height += c.height;
        }
        return total;
    }
    void placeSubviews(Rect bounds, ProposedViewSize p, LayoutSubviews subviews,
                       std::any&) const override {
        CGFloat y = bounds.minY();
        for (const auto& s : subviews) {
            s.place({bounds.minX(), y}, UnitPoint::topLeading(), {p.width, std::nullopt});
            y += s.sizeThatFits({p.width, std::nullopt}).height;
        }
    }
    bool equals(const Layout& other) const override {
        const auto* o = dynamic_cast<const CountingLayout*>(&other);
        return o != nullptr && o->calls_ == calls_;
    }

private:
    std::shared_ptr<int> calls_;
};

/// A parent that evaluates again on every tick, wrapping the same child in `wrap`.
struct Ticking {
    std::shared_ptr<Model> model;
    std::function<AnyView(AnyView)> wrap;
    std::shared_ptr<int> layoutCalls;
    std::shared_ptr<int> leafEvaluations;
    AnyView body() const {
        return VStack({Text("tick " + std::to_string(model->tick.get())),
                       LayoutView(std::make_shared<CountingLayout>(layoutCalls),
                                  {wrap(Leaf{leafEvaluations, true})})});
    }
};

} // namespace

TEST(Costs, ModifiersOfEqualValuesLeaveTheirContentAlone) {
    struct Case {
        const char* name;
        std::function<AnyView(AnyView, int)> modify;
    };
    const std::vector<Case> cases{
        {"environment", [](AnyView v, int x) { return v.environment<AccentKey>(x); }},
        {"layout value", [](AnyView v, int x) { return v.layoutValue<WeightKey>(double(x)); }},
        {"alignment guide",
         [](AnyView v, int x) {
             const CGFloat shift = x;
             return v.alignmentGuide(
                 HorizontalAlignment::leading(),
                 [shift](const ViewDimensions& d) { return d.width() - shift; });
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto model = std::make_shared<Model>();
        auto value = std::make_shared<int>(1);
        auto layoutCalls = std::make_shared<int>(0);
        auto leaf = std::make_shared<int>(0);
        OffscreenHost host(
            Ticking{model, [&c, value](AnyView v) { return c.modify(std::move(v), *value); },
                    layoutCalls, leaf},
            ProposedViewSize{200.0, std::nullopt});
        host.runUntilIdle();
        const int calls = *layoutCalls;
        const auto updates = host.graph().statistics().nodeUpdates;
        ASSERT_EQ(*leaf, 1);

        model->tick.set(1);
        host.runUntilIdle();
        EXPECT_EQ(*layoutCalls, calls);
        EXPECT_EQ(*leaf, 1);
        // The stack, the tick's text and the parent; nothing of the modified subtree.
        EXPECT_LE(host.graph().statistics().nodeUpdates - updates, 3U);

        // Another value is a change.
        *value = 2;
        model->tick.set(2);
        host.runUntilIdle();
        EXPECT_GT(host.graph().statistics().nodeUpdates - updates, 3U);
    }
}

namespace {

/// Many leaves, some of which read `AccentKey`, under an environment the test changes.
struct Tree {
    std::vector<std::shared_ptr<int>> evaluations;
    AnyView body() const {
        std::vector<AnyView> rows;
        for (std::size_t i = 0; i < evaluations.size(); ++i) {
            rows.push_back(Leaf{evaluations[i], i % 10 == 0});
        }
        return VStack(rows);
    }
};

} // namespace

TEST(Costs, AnEnvironmentChangeEvaluatesOnlyTheBodiesThatReadTheKey) {
    Tree tree;
    for (int i = 0; i < 50; ++i) {
        tree.evaluations.push_back(std::make_shared<int>(0));
    }
    EnvironmentValues env;
    env.set<AccentKey>(1);
    OffscreenHost host(tree, ProposedViewSize{300.0, std::nullopt}, env);
    host.runUntilIdle();

    // A key no body reads: nothing is evaluated again, though the tree still draws anew.
    int displays = 0;
    host.graph().setNeedsDisplayHandler([&displays] { ++displays; });
    EnvironmentValues dark = env;
    dark.set<ColorSchemeKey>(platform::ColorScheme::dark);
    host.graph().setEnvironment(dark);
    host.runUntilIdle();
    for (const auto& e : tree.evaluations) {
        EXPECT_EQ(*e, 1);
    }
    EXPECT_EQ(displays, 1);
    EXPECT_EQ(host.graph().environment().colorScheme(), platform::ColorScheme::dark);

    // The key some read: those, and only those.
    EnvironmentValues accent = dark;
    accent.set<AccentKey>(2);
    host.graph().setEnvironment(accent);
    host.runUntilIdle();
    for (std::size_t i = 0; i < tree.evaluations.size(); ++i) {
        EXPECT_EQ(*tree.evaluations[i], i % 10 == 0 ? 2 : 1) << i;
    }
}

TEST(Costs, EnvironmentWritesAndReadsAgreeWithEquality) {
    // Many writes: the newest wins and copies keep their own values.
    EnvironmentValues a;
    for (int i = 0; i < 100; ++i) {
        a.set<AccentKey>(i);
        a.set<WeightKey>(double(i) / 2);
    }
    EnvironmentValues b = a;
    b.set<AccentKey>(7);
    EXPECT_EQ(a.get<AccentKey>(), 99);
    EXPECT_EQ(b.get<AccentKey>(), 7);
    EXPECT_EQ(b.get<WeightKey>(), 49.5);
    EXPECT_FALSE(a == b);
    b.set<AccentKey>(99);
    EXPECT_TRUE(a == b);
    // Written with the default is still written.
    EnvironmentValues c;
    EnvironmentValues d;
    d.set<AccentKey>(0);
    EXPECT_FALSE(c == d);
    EXPECT_TRUE(d.contains<AccentKey>());
    EXPECT_FALSE(c.contains<AccentKey>());
}
