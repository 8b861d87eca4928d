// What the engine does for a change, counted: bodies evaluated, nodes brought up to date, sizes
// computed, display lists recorded, nodes hit-tested. Work must follow what changed and what is
// visible, never the size of the tree.

#include "Probe.hpp"
#include "platform/observation/ObservationRegistrar.hpp"
#include "tests/support/ObservedLines.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace ui_test;
using moss_test::Line;
using platform::Point;
using platform::Rect;

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

/// Counts its evaluations; reads the accent, the weight, or both in either order.
struct KeyReader {
    enum class Reads { accent, weight, accentThenWeight, weightThenAccent };
    std::shared_ptr<int> evaluations;
    Reads reads = Reads::accent;
    AnyView body(ViewContext& c) const {
        ++*evaluations;
        std::string s;
        if (reads != Reads::weight) {
            s += std::to_string(c.environment<AccentKey>());
        }
        if (reads != Reads::accent) {
            s += std::to_string(c.environment<WeightKey>());
        }
        if (reads == Reads::weightThenAccent) {
            s += std::to_string(c.environment<AccentKey>());
        }
        return Text(s);
    }
    friend bool operator==(const KeyReader&, const KeyReader&) = default;
};

struct Readers {
    std::vector<std::shared_ptr<int>> evaluations;
    static KeyReader::Reads readsOf(std::size_t i) { return KeyReader::Reads(i % 4); }
    AnyView body() const {
        std::vector<AnyView> rows;
        for (std::size_t i = 0; i < evaluations.size(); ++i) {
            rows.push_back(KeyReader{evaluations[i], readsOf(i)});
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

TEST(Costs, BodiesReadingAsManyKeysKeepApartWhichTheyRead) {
    // Neighbours read one key each, but not the same one; the others two keys in either order.
    Readers readers;
    for (int i = 0; i < 24; ++i) {
        readers.evaluations.push_back(std::make_shared<int>(0));
    }
    OffscreenHost host(readers, ProposedViewSize{300.0, std::nullopt});
    host.runUntilIdle();
    const auto expect = [&readers](KeyReader::Reads spared) {
        for (std::size_t i = 0; i < readers.evaluations.size(); ++i) {
            EXPECT_EQ(*readers.evaluations[i], Readers::readsOf(i) == spared ? 1 : 2) << i;
            *readers.evaluations[i] = 1;
        }
    };
    EnvironmentValues env = host.graph().environment();
    env.set<WeightKey>(2);
    host.graph().setEnvironment(env);
    host.runUntilIdle();
    expect(KeyReader::Reads::accent);
    env.set<AccentKey>(3);
    host.graph().setEnvironment(env);
    host.runUntilIdle();
    expect(KeyReader::Reads::weight);
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

namespace {

/// A row: a label in a fixed frame (its changes stay inside it), then text that wraps.
struct Row {
    std::shared_ptr<Line> label;
    std::shared_ptr<Line> text;
    std::shared_ptr<Frames> frames;
    int index = 0;
    AnyView body() const {
        return probe(HStack(VerticalAlignment::top(), 4.0,
                            {Text(label->text.get()).frame(80, 20, Alignment::topLeading()),
                             Text(text->text.get())}),
                     frames, "row" + std::to_string(index));
    }
    friend bool operator==(const Row& a, const Row& b) {
        return a.label == b.label && a.text == b.text && a.index == b.index;
    }
};

struct Document {
    std::vector<std::shared_ptr<Line>> labels;
    std::vector<std::shared_ptr<Line>> bodies;
    std::shared_ptr<Frames> frames = std::make_shared<Frames>();
    explicit Document(int rows)
        : labels(moss_test::numberedLines(rows, "label "))
        , bodies(moss_test::numberedLines(rows, "text of row ")) {}
    AnyView view() const {
        std::vector<AnyView> rows;
        for (std::size_t i = 0; i < labels.size(); ++i) {
            rows.push_back(Row{labels[i], bodies[i], frames, int(i)});
        }
        return VStack(HorizontalAlignment::leading(), 2.0, rows).padding(10);
    }
};

} // namespace

TEST(Costs, AChangeDeepInATreeLaysOutOnlyWhatItsSizeReaches) {
    Document doc(200);
    OffscreenHost host(doc.view(), ProposedViewSize{400.0, std::nullopt});
    host.runUntilIdle();
    const ViewGraph::Statistics start = host.graph().statistics();
    const Rect row150 = doc.frames->rects.at("row150");

    // Inside a fixed frame: the text alone is measured again; nothing moves.
    doc.labels[100]->text.set("another label");
    host.runUntilIdle();
    const ViewGraph::Statistics afterLabel = host.graph().statistics();
    EXPECT_LE(afterLabel.sizeComputations - start.sizeComputations, 4U);
    EXPECT_LE(afterLabel.placements - start.placements, 3U);
    EXPECT_EQ(doc.frames->rects.at("row150"), row150);

    // A taller row: its ancestors are measured again, its siblings only moved.
    doc.bodies[100]->text.set("a text long enough to wrap onto a second line in the three hundred "
                              "points that are left of the row beside its label");
    host.runUntilIdle();
    const ViewGraph::Statistics afterBody = host.graph().statistics();
    EXPECT_LE(afterBody.sizeComputations - afterLabel.sizeComputations, 16U);
    EXPECT_LE(afterBody.placements - afterLabel.placements, 12U);
    const CGFloat growth = doc.frames->rects.at("row100").size.height - 20;
    EXPECT_GT(growth, 0);
    EXPECT_EQ(doc.frames->rects.at("row150").origin.y, row150.origin.y + growth);
    EXPECT_EQ(doc.frames->rects.at("row150").origin.x, row150.origin.x);
    EXPECT_EQ(host.size().height, 10 + 200 * 20 + 199 * 2 + growth + 10);
}

namespace {

struct TextsKey {
    using Value = std::vector<std::string>;
    static Value defaultValue() { return {}; }
    static void reduce(Value& v, Value next) { v.insert(v.end(), next.begin(), next.end()); }
};

/// A line of text that publishes its text and observes its own frame, counting the
/// observations.
struct ObservedLine {
    std::shared_ptr<Line> line;
    std::shared_ptr<Frames> frames;
    std::shared_ptr<int> observations;
    int index = 0;
    AnyView body() const {
        const std::string text = line->text.get();
        return AnyView(Text(text))
            .preference<TextsKey>({text})
            .onGeometryChange<Rect>(
                [observations = observations](const GeometryProxy& p) {
                    ++*observations;
                    return p.frame(CoordinateSpace::global());
                },
                [frames = frames, name = "line" + std::to_string(index)](
                    const Rect&, const Rect& r) { frames->rects[name] = r; });
    }
    friend bool operator==(const ObservedLine& a, const ObservedLine& b) {
        return a.line == b.line && a.index == b.index;
    }
};

} // namespace

TEST(Costs, ObserversRunOnlyWhereTheirGeometryOrPreferencesChanged) {
    const auto lines = moss_test::numberedLines(200, "line ");
    auto frames = std::make_shared<Frames>();
    auto observations = std::make_shared<int>(0);
    auto texts = std::make_shared<std::vector<std::string>>();
    std::vector<AnyView> rows;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        rows.push_back(ObservedLine{lines[i], frames, observations, int(i)});
    }
    OffscreenHost host(
        VStack(HorizontalAlignment::leading(), 2.0, rows)
            .onPreferenceChange<TextsKey>([texts](const TextsKey::Value& v) { *texts = v; }),
        ProposedViewSize{400.0, std::nullopt});
    host.runUntilIdle();
    EXPECT_GE(*observations, 200);
    const Rect line150 = (*frames)["line150"];

    // One line's text, its size unchanged: its own observer and those above it see the change,
    // the other lines' do not.
    *observations = 0;
    lines[100]->text.set("line 1oo");
    host.runUntilIdle();
    EXPECT_LE(*observations, 2);
    ASSERT_EQ(texts->size(), 200U);
    EXPECT_EQ((*texts)[100], "line 1oo");
    EXPECT_EQ((*frames)["line150"], line150);

    // A taller line moves those below it: each of them hears of its new frame.
    *observations = 0;
    lines[100]->text.set("line\none hundred");
    host.runUntilIdle();
    EXPECT_GE(*observations, 99);
    EXPECT_LE(*observations, 102);
    EXPECT_GT((*frames)["line150"].origin.y, line150.origin.y);
    EXPECT_EQ((*frames)["line150"].size, line150.size);
    EXPECT_EQ((*texts)[100], "line\none hundred");
}

TEST(Costs, ADrawReusesTheListsOfUnchangedSubtrees) {
    Document doc(200);
    OffscreenHost host(doc.view(), ProposedViewSize{400.0, std::nullopt});
    const platform::Image first = host.render();
    const auto recorded = host.graph().statistics().recordings;
    EXPECT_GT(recorded, 200U);

    // Nothing changed: nothing is recorded, and the picture is the same.
    const platform::Image again = host.render();
    EXPECT_EQ(host.graph().statistics().recordings, recorded);
    EXPECT_TRUE(std::ranges::equal(again.pixels(), first.pixels()));

    // One row changed: its lists and its ancestors' only.
    doc.labels[3]->text.set("changed");
    host.runUntilIdle();
    host.render();
    EXPECT_LE(host.graph().statistics().recordings - recorded, 8U);
}

TEST(Costs, HitTestingVisitsOnlyTheNodesUnderThePoint) {
    Document doc(200);
    auto taps = std::make_shared<int>(0);
    AnyView tree = doc.view();
    OffscreenHost host(VStack(HorizontalAlignment::leading(), 0.0,
                              {AnyView(platform::Color::gray(0.5))
                                   .frame(100, 30)
                                   .onTapGesture([taps](Point) { ++*taps; })
                                   .cursor(CursorShape::pointingHand),
                               tree}),
                       ProposedViewSize{400.0, std::nullopt});
    host.runUntilIdle();

    const auto before = host.graph().statistics().hitTestVisits;
    PointerEvent move;
    move.kind = PointerEvent::Kind::moved;
    move.location = {50, 30 + 10 + 150 * 22 + 5};
    host.graph().pointerEvent(move);
    EXPECT_EQ(host.graph().cursor(move.location), CursorShape::arrow);
    // The path down to one row and into it, twice; never the other rows.
    EXPECT_LE(host.graph().statistics().hitTestVisits - before, 30U);

    EXPECT_EQ(host.graph().cursor({50, 15}), CursorShape::pointingHand);
    host.click({50, 15});
    EXPECT_EQ(*taps, 1);
}

namespace {

class Swatch {
public:
    enum class Property { shade, shift };
    platform::ObservationRegistrar registrar;
    platform::Observed<double> shade{registrar, Property::shade, 0.5};
    platform::Observed<double> shift{registrar, Property::shift, 0};
};

/// A bar of its swatch's shade, drawn shifted to the right as far as its swatch says (its
/// layout unchanged); evaluated again only when its swatch changes.
struct SwatchView {
    std::shared_ptr<Swatch> swatch;
    AnyView body() const {
        return AnyView(platform::Color::gray(swatch->shade.get()))
            .frame(40, 6)
            .offset(swatch->shift.get(), 0);
    }
    friend bool operator==(const SwatchView&, const SwatchView&) = default;
};

AnyView swatches(const std::vector<std::shared_ptr<Swatch>>& all) {
    std::vector<AnyView> rows;
    for (const auto& s : all) {
        rows.push_back(AnyView(SwatchView{s}).padding(1).background(platform::Color::white()));
    }
    return AnyView(VStack(HorizontalAlignment::leading(), 0.0, rows)).padding(4);
}

} // namespace

TEST(Costs, AChangedDrawingIsRecordedAloneAndTheListsAboveDrawIt) {
    std::vector<std::shared_ptr<Swatch>> all;
    for (int i = 0; i < 150; ++i) {
        all.push_back(std::make_shared<Swatch>());
    }
    OffscreenHost host(swatches(all), ProposedViewSize{200.0, std::nullopt});
    host.render();
    const auto fresh = [&all] {
        OffscreenHost other(swatches(all), ProposedViewSize{200.0, std::nullopt});
        return other.render();
    };

    // A new shade: the nodes of the view evaluated again record their lists again (the bar, its
    // frame, its offset, its body); the lists above, which refer to them, are not recorded again,
    // yet draw them.
    auto recorded = host.graph().statistics().recordings;
    all[100]->shade.set(0.1);
    host.runUntilIdle();
    platform::Image now = host.render();
    EXPECT_LE(host.graph().statistics().recordings - recorded, 4U)
        << host.graph().statistics().recordings - recorded;
    EXPECT_TRUE(std::ranges::equal(now.pixels(), fresh().pixels()));

    // A bar drawn further right reaches beyond what its row drew before: the lists above see its
    // new bounds.
    recorded = host.graph().statistics().recordings;
    all[100]->shift.set(120);
    host.runUntilIdle();
    now = host.render();
    EXPECT_LE(host.graph().statistics().recordings - recorded, 12U)
        << host.graph().statistics().recordings - recorded;
    EXPECT_TRUE(std::ranges::equal(now.pixels(), fresh().pixels()));

    // What lies beyond the old bounds is drawn where only it is asked for: the lists above know
    // the new bounds of the ones they refer to.
    const Rect beyond(130, 4 + 100 * 8, 60, 8);
    host.setVisibleRect(beyond);
    OffscreenHost other(swatches(all), ProposedViewSize{200.0, std::nullopt});
    other.setVisibleRect(beyond);
    EXPECT_TRUE(std::ranges::equal(host.render().pixels(), other.render().pixels()));
}
