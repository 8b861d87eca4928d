#include "Probe.hpp"
#include "platform/observation/ObservationRegistrar.hpp"
#include "platform/runtime/Runtime.hpp"
#include "tests/support/ObservedLines.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <numeric>
#include <string>
#include <vector>

using namespace ui_test;
using moss_test::Line;
using platform::Point;

namespace {

class CountedModel {
public:
    enum class Property { a, b };
    platform::ObservationRegistrar registrar;
    platform::Observed<int> a{registrar, Property::a, 0};
    platform::Observed<int> b{registrar, Property::b, 0};
};

struct ReadsA {
    std::shared_ptr<CountedModel> model;
    std::shared_ptr<int> evaluations;
    AnyView body() const {
        ++*evaluations;
        return Text("a " + std::to_string(model->a.get()));
    }
    friend bool operator==(const ReadsA&, const ReadsA&) = default;
};

struct ReadsB {
    std::shared_ptr<CountedModel> model;
    std::shared_ptr<int> evaluations;
    AnyView body() const {
        ++*evaluations;
        return Text("b " + std::to_string(model->b.get()));
    }
    friend bool operator==(const ReadsB&, const ReadsB&) = default;
};

} // namespace

TEST(Updates, OnlyBodiesThatReadAChangedPropertyAreEvaluatedAgain) {
    auto model = std::make_shared<CountedModel>();
    auto a = std::make_shared<int>(0);
    auto b = std::make_shared<int>(0);
    int displays = 0;
    OffscreenHost host(VStack({ReadsA{model, a}, ReadsB{model, b}}));
    host.graph().setNeedsDisplayHandler([&displays] { ++displays; });
    host.runUntilIdle();
    ASSERT_EQ(*a, 1);
    ASSERT_EQ(*b, 1);

    model->a.set(1);
    host.runUntilIdle();
    EXPECT_EQ(*a, 2);
    EXPECT_EQ(*b, 1);

    // Setting an equal value is no change.
    model->a.set(1);
    host.runUntilIdle();
    EXPECT_EQ(*a, 2);

    // All changes of one main-loop turn make one update.
    const int before = displays;
    model->a.set(2);
    model->b.set(2);
    host.runUntilIdle();
    EXPECT_EQ(*a, 3);
    EXPECT_EQ(*b, 2);
    EXPECT_EQ(displays, before + 1);
}

namespace {

/// A view with one counter of state that reports its handle and the value it last showed.
struct Counter {
    std::string name;
    std::shared_ptr<std::map<std::string, State<int>>> handles;
    std::shared_ptr<std::map<std::string, int>> shown;
    AnyView body(ViewContext& c) const {
        auto count = c.state<int>(0);
        (*handles)[name] = count;
        (*shown)[name] = *count;
        return Text(name + std::to_string(*count));
    }
};

struct Counters {
    std::vector<std::string> names;
    std::shared_ptr<std::map<std::string, State<int>>> handles;
    std::shared_ptr<std::map<std::string, int>> shown;
    AnyView body() const {
        return VStack({ForEach(
            names, [](const std::string& n) { return n; },
            [this](const std::string& n) {
                return Counter{n, handles, shown};
            })});
    }
};

} // namespace

TEST(Updates, StateFollowsIdentityAndIsDroppedWithIt) {
    auto handles = std::make_shared<std::map<std::string, State<int>>>();
    auto shown = std::make_shared<std::map<std::string, int>>();
    OffscreenHost host(Counters{{"x", "y"}, handles, shown});
    host.runUntilIdle();
    handles->at("x").set(5);
    host.runUntilIdle();
    EXPECT_EQ(shown->at("x"), 5);
    EXPECT_EQ(shown->at("y"), 0);

    // Reordered: the state moves with the id, not the position.
    host.setRootView(Counters{{"y", "x"}, handles, shown});
    host.runUntilIdle();
    EXPECT_EQ(shown->at("x"), 5);
    EXPECT_EQ(shown->at("y"), 0);

    // Gone and back: a new identity starts afresh, and the old handle no longer updates.
    const State<int> stale = handles->at("x");
    host.setRootView(Counters{{"y"}, handles, shown});
    host.runUntilIdle();
    host.setRootView(Counters{{"y", "x"}, handles, shown});
    host.runUntilIdle();
    EXPECT_EQ(shown->at("x"), 0);
    stale.set(9);
    host.runUntilIdle();
    EXPECT_EQ(shown->at("x"), 0);
}

TEST(Updates, ExplicitIdentityAndBranchesDropState) {
    auto handles = std::make_shared<std::map<std::string, State<int>>>();
    auto shown = std::make_shared<std::map<std::string, int>>();
    const auto make = [&](int id, bool branch) {
        return VStack({AnyView(Counter{"c", handles, shown}).id(id),
                       ConditionalContent(branch, Counter{"t", handles, shown},
                                          Counter{"f", handles, shown})});
    };
    OffscreenHost host(make(1, true));
    host.runUntilIdle();
    handles->at("c").set(3);
    handles->at("t").set(4);
    host.runUntilIdle();
    host.setRootView(make(1, true));
    host.runUntilIdle();
    EXPECT_EQ(shown->at("c"), 3);
    EXPECT_EQ(shown->at("t"), 4);

    host.setRootView(make(2, false));
    host.runUntilIdle();
    EXPECT_EQ(shown->at("c"), 0);
    host.setRootView(make(2, true));
    host.runUntilIdle();
    EXPECT_EQ(shown->at("t"), 0);
}

namespace {
struct ShowsFont {
    std::shared_ptr<int> evaluations;
    AnyView body(ViewContext& c) const {
        ++*evaluations;
        return Text("x").font(c.environment().font());
    }
    friend bool operator==(const ShowsFont&, const ShowsFont&) = default;
};
} // namespace

TEST(Updates, EnvironmentChangeReachesOnlyViewsOfTheChangedSubtree) {
    auto inner = std::make_shared<int>(0);
    auto outer = std::make_shared<int>(0);
    const auto make = [&](double size) {
        return VStack(
            {AnyView(ShowsFont{inner}).font(platform::Font::system(size)), ShowsFont{outer}});
    };
    OffscreenHost host(make(12));
    host.runUntilIdle();
    host.setRootView(make(14));
    host.runUntilIdle();
    EXPECT_EQ(*inner, 2);
    EXPECT_EQ(*outer, 1);
}

namespace {

struct Watched {
    int value;
    bool initial;
    std::shared_ptr<std::vector<std::pair<int, int>>> calls;
    AnyView body() const {
        return Text("v").onChange<int>(
            value, [calls = calls](const int& o, const int& n) { calls->emplace_back(o, n); },
            initial);
    }
};

} // namespace

TEST(Updates, OnChangeRunsOnChangesAndWithInitialAlsoAtFirst) {
    for (const bool initial : {false, true}) {
        auto calls = std::make_shared<std::vector<std::pair<int, int>>>();
        OffscreenHost host(Watched{1, initial, calls});
        host.runUntilIdle();
        host.setRootView(Watched{1, initial, calls});
        host.runUntilIdle();
        host.setRootView(Watched{2, initial, calls});
        host.runUntilIdle();
        std::vector<std::pair<int, int>> expected;
        if (initial) {
            expected.emplace_back(1, 1);
        }
        expected.emplace_back(1, 2);
        EXPECT_EQ(*calls, expected) << initial;
    }
}

namespace {

struct TaskLog {
    std::vector<int> started;
    std::vector<int> cancelled;
    std::vector<int> appeared;
    std::vector<int> disappeared;
};

platform::Task<void> waitForever(int id, std::shared_ptr<TaskLog> log) {
    log->started.push_back(id);
    try {
        co_await platform::Task<void>::sleep(std::chrono::hours(1));
    } catch (const platform::CancellationError&) {
        log->cancelled.push_back(id);
    }
}

struct Keyed {
    int id;
    std::shared_ptr<TaskLog> log;
    AnyView body() const {
        const int i = id;
        const auto l = log;
        return Text("task")
            .task(ViewID(i), platform::TaskPriority::medium, [i, l] { return waitForever(i, l); })
            .onAppear([i, l] { l->appeared.push_back(i); })
            .onDisappear([i, l] { l->disappeared.push_back(i); });
    }
};

} // namespace

TEST(Updates, KeyedTaskRestartsWhenItsIdChangesAndIsCancelledWhenTheViewGoes) {
    auto log = std::make_shared<TaskLog>();
    OffscreenHost host(Keyed{1, log});
    ASSERT_TRUE(host.runUntil([&] { return log->started.size() == 1; }));
    host.setRootView(Keyed{1, log});
    host.runUntilIdle();
    EXPECT_EQ(log->started, std::vector<int>{1});

    host.setRootView(Keyed{2, log});
    ASSERT_TRUE(host.runUntil([&] { return log->started.size() == 2; }));
    ASSERT_TRUE(host.runUntil([&] { return log->cancelled.size() == 1; }));
    EXPECT_EQ(log->cancelled, std::vector<int>{1});
    EXPECT_EQ(log->started, (std::vector<int>{1, 2}));

    host.setRootView(EmptyView());
    ASSERT_TRUE(host.runUntil([&] { return log->cancelled.size() == 2; }));
    EXPECT_EQ(log->cancelled, (std::vector<int>{1, 2}));
    EXPECT_EQ(log->appeared, std::vector<int>{1});
    EXPECT_EQ(log->disappeared, std::vector<int>{2});
}

namespace {

/// Halves its width once after measuring it: settles after a few passes.
struct Settling {
    AnyView body(ViewContext& c) const {
        auto measured = c.state<double>(0);
        const double width = *measured == 0 ? 100 : 50;
        return block(width, 10).onGeometryChange<double>(
            [](const GeometryProxy& p) { return p.size().width; },
            [measured](const double&, const double& w) { measured.set(w); });
    }
};

struct WidthKey {
    using Value = double;
    static Value defaultValue() { return 0; }
    static void reduce(Value& v, Value next) { v += next; }
};

/// Grows by one point each time it learns its width through a preference: never settles.
struct Growing {
    AnyView body(ViewContext& c) const {
        auto width = c.state<double>(10);
        return block(*width, 10)
            .anchorPreference<WidthKey, platform::Rect>(
                AnchorSource::bounds(),
                [](Anchor<platform::Rect> a) { return a.rootValue().size.width; })
            .onPreferenceChange<WidthKey>([width](const double& w) { width.set(w + 1); });
    }
};

} // namespace

TEST(Updates, FeedbackLoopSettlesOrIsCutOff) {
    {
        OffscreenHost host(Settling{});
        host.runUntilIdle();
        EXPECT_FALSE(host.graph().lastUpdateWasCutOff());
        EXPECT_LE(host.graph().lastUpdatePasses(), 4);
        EXPECT_EQ(host.size().width, 50);
    }
    {
        OffscreenHost host(Growing{});
        host.runUntilIdle(std::chrono::milliseconds(5000));
        EXPECT_TRUE(host.graph().lastUpdateWasCutOff());
        EXPECT_EQ(host.graph().lastUpdatePasses(), ViewGraph::maxPassesPerUpdate);
        EXPECT_FALSE(host.graph().needsUpdate());
        // Still drawable, and it does not grow further on its own.
        const double width = host.size().width;
        host.runUntilIdle();
        EXPECT_EQ(host.size().width, width);
        EXPECT_FALSE(host.render().isNull());
    }
}

namespace {
/// Wraps each subview of its content in padding, keeping the subviews' identities.
struct Padded {
    AnyView content;
    AnyView body() const {
        std::vector<std::pair<ViewID, AnyView>> wrapped;
        for (auto& [id, view] : subviewsOf(content)) {
            wrapped.emplace_back(id, view.padding(2));
        }
        return VStack({ForEach(wrapped)});
    }
};
} // namespace

TEST(Updates, WrappedSubviewsKeepTheirIdentity) {
    auto handles = std::make_shared<std::map<std::string, State<int>>>();
    auto shown = std::make_shared<std::map<std::string, int>>();
    const auto make = [&](std::vector<std::string> names) {
        return Padded{AnyView(ForEach(
            names, [](const std::string& n) { return n; },
            [&](const std::string& n) {
                return Counter{n, handles, shown};
            }))};
    };
    OffscreenHost host(make({"p", "q"}));
    host.runUntilIdle();
    handles->at("q").set(4);
    host.runUntilIdle();
    host.setRootView(make({"q", "p"}));
    host.runUntilIdle();
    EXPECT_EQ(shown->at("q"), 4);
    EXPECT_EQ(shown->at("p"), 0);
    EXPECT_EQ(subviewsOf(Group({Text("a"), EmptyView(), Text("b")})).size(), 2u);
}

namespace {
struct LineView {
    std::shared_ptr<Line> line;
    AnyView body() const { return Text(line->text.get()); }
    friend bool operator==(const LineView&, const LineView&) = default;
};
} // namespace

TEST(Updates, ChangingOneTextLeavesTheOthersLaidOutAsTheyWere) {
    const auto lines = moss_test::numberedLines(40, "line ");
    auto layouts = std::make_shared<Text::LayoutKey::Value>();
    std::vector<int> indices(lines.size());
    std::iota(indices.begin(), indices.end(), 0);
    OffscreenHost host(VStack({ForEach(
                                  indices, [](int i) { return i; },
                                  [&](int i) { return LineView{lines[std::size_t(i)]}; })})
                           .onPreferenceChange<Text::LayoutKey>(
                               [layouts](const Text::LayoutKey::Value& v) { *layouts = v; }),
                       ProposedViewSize{300.0, std::nullopt});
    host.runUntilIdle();
    const Text::LayoutKey::Value before = *layouts;
    ASSERT_EQ(before.size(), lines.size());

    lines[7]->text.set("a longer line that takes the place of line seven");
    host.runUntilIdle();
    ASSERT_EQ(layouts->size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // The same laid-out text (not an equal copy): nothing was shaped again.
        EXPECT_EQ((*layouts)[i].layout == before[i].layout, i != 7) << i;
    }
    EXPECT_EQ((*layouts)[7].layout.base().string(),
              "a longer line that takes the place of line seven");
}

namespace {

/// Asks for an int at its first evaluation and for a string in that place afterwards, as a body
/// whose state calls depend on a condition would.
struct ShiftingState {
    std::shared_ptr<CountedModel> model;
    AnyView body(ViewContext& c) const {
        if (model->a.get() == 0) {
            auto count = c.state<int>(7);
            return Text(std::to_string(*count));
        }
        auto name = c.state<std::string>(std::string(64, 'x'));
        return Text(*name);
    }
};

} // namespace

TEST(Updates, AStateSlotRefusesAReadOfAnotherType) {
    auto model = std::make_shared<CountedModel>();
    OffscreenHost host(ShiftingState{model});
    host.runUntilIdle();
    model->a.set(1);
    try {
        host.runUntilIdle();
        FAIL() << "the string read of an int slot went through";
    } catch (const StateTypeMismatch& error) {
        const std::string text = error.localizedDescription();
        EXPECT_NE(text.find("int"), std::string::npos) << text;
        EXPECT_NE(text.find("std::"), std::string::npos) << text;
        EXPECT_STREQ(error.what(), text.c_str());
    }
}

TEST(Views, EveryFormOfTheEmptyViewIsEmpty) {
    const std::optional<Text> none;
    for (const AnyView& empty :
         {AnyView(), AnyView(none),
          AnyView(std::shared_ptr<const platform::ui::detail::ViewImpl>())}) {
        EXPECT_TRUE(empty.isEmpty());
        EXPECT_NE(empty.impl(), nullptr);
        EXPECT_EQ(empty.impl(), AnyView().impl());
    }
    EXPECT_FALSE(AnyView(Text("shown")).isEmpty());
}
