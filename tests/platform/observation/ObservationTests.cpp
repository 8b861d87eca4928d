#include "platform/observation/ObservationRegistrar.hpp"
#include "platform/observation/ObservationTracking.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using platform::ObservationRegistrar;
using platform::Observed;
using platform::withObservationTracking;

namespace {

// A small observable model: `name` notifies only on a different value, `items` on every
// assignment, `query` reports through the registrar by hand.
class Model {
public:
    enum class Property { name, items, query };

    [[nodiscard]] const std::string& name() const { return name_.get(); }
    void setName(std::string value) { name_.set(std::move(value)); }
    [[nodiscard]] const std::vector<int>& items() const { return items_.get(); }
    void setItems(std::vector<int> value) { items_.setAlways(std::move(value)); }

    [[nodiscard]] std::string query() const {
        registrar_.access(Property::query);
        return query_;
    }
    void setQuery(std::string value) {
        registrar_.withMutation(Property::query, [&] { query_ = std::move(value); });
    }

private:
    ObservationRegistrar registrar_;
    Observed<std::string> name_{registrar_, Property::name, "initial"};
    Observed<std::vector<int>> items_{registrar_, Property::items};
    std::string query_;
};

// Equal when the ids are equal, whatever the label says.
struct Record {
    int id = 0;
    std::string label;
    friend bool operator==(const Record& a, const Record& b) { return a.id == b.id; }
};

} // namespace

TEST(Observation, OnChangeFiresOnceAtTheFirstChangeOfAnythingRead) {
    Model model;
    int changes = 0;
    std::string seenDuringChange;
    const std::string read =
        withObservationTracking([&] { return model.name() + "/" + model.query(); },
                                [&] {
                                    ++changes;
                                    seenDuringChange =
                                        model.name(); // told before the new value is stored
                                });
    EXPECT_EQ(read, "initial/");
    model.setItems({1}); // not read: no notification
    EXPECT_EQ(changes, 0);
    model.setQuery("q");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(seenDuringChange, "initial");
    model.setName("other");
    model.setQuery("r");
    EXPECT_EQ(changes, 1);
}

TEST(Observation, EqualityGuardedAndAlwaysNotifyingSetters) {
    Model model;
    int changes = 0;
    const auto track = [&] {
        withObservationTracking([&] { (void)model.name(), (void)model.items(); },
                                [&] { ++changes; });
    };
    track();
    model.setName("initial"); // equal: stored silently
    EXPECT_EQ(changes, 0);
    model.setItems({}); // notifies on every assignment, equal or not
    EXPECT_EQ(changes, 1);
    track();
    model.setName("changed");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(model.name(), "changed");

    // An equal value by the type's equality is stored, but does not notify.
    ObservationRegistrar registrar;
    enum class P { record };
    Observed<Record> record(registrar, P::record, Record{1, "old"});
    withObservationTracking([&] { (void)record.get(); }, [&] { ++changes; });
    record.set(Record{1, "new"});
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(record.peek().label, "new");
    record.set(Record{2, "two"});
    EXPECT_EQ(changes, 3);
}

TEST(Observation, NestedTrackingAlsoReportsToTheOuterScope) {
    Model model;
    int outer = 0;
    int inner = 0;
    withObservationTracking(
        [&] {
            (void)model.name();
            withObservationTracking([&] { (void)model.query(); }, [&] { ++inner; });
        },
        [&] { ++outer; });
    model.setQuery("x");
    EXPECT_EQ(inner, 1);
    EXPECT_EQ(outer, 1);
}

TEST(Observation, RetrackingFromTheHandlerAndCancelling) {
    Model model;
    bool pendingRender = false;
    std::vector<std::string> renders;
    std::function<void()> render = [&] {
        renders.push_back(withObservationTracking([&] { return model.name(); },
                                                  [&] {
                                                      // Re-render after the change lands, as a view
                                                      // would on its next turn.
                                                      pendingRender = true;
                                                  }));
    };
    render();
    model.setName("a");
    ASSERT_TRUE(pendingRender);
    pendingRender = false;
    render();
    model.setName("b");
    EXPECT_TRUE(pendingRender);
    EXPECT_EQ(renders, (std::vector<std::string>{"initial", "a"}));

    int changes = 0;
    {
        const platform::ObservationTracking tracking =
            platform::trackObservation([&] { (void)model.name(); }, [&] { ++changes; });
        EXPECT_FALSE(tracking.isFinished());
    } // dropped: no notification later
    model.setName("c");
    EXPECT_EQ(changes, 0);

    // The observed object may go away before it changes.
    auto shortLived = std::make_unique<Model>();
    withObservationTracking([&] { (void)shortLived->name(); }, [&] { ++changes; });
    shortLived.reset();
    EXPECT_EQ(changes, 0);
}

TEST(Observation, AHandlerIsMadeOnlyForAScopeThatReadSomething) {
    Model model;
    int made = 0;
    int changes = 0;
    const auto makeHandler = [&] {
        ++made;
        return [&] { ++changes; };
    };
    // Nothing observable read: nothing to wait for, and no handler made.
    const platform::ObservationTracking idle = platform::trackObservationLazily([] {}, makeHandler);
    EXPECT_TRUE(idle.isFinished());
    EXPECT_EQ(made, 0);

    platform::ObservationTracking reading =
        platform::trackObservationLazily([&] { (void)model.name(); }, makeHandler);
    EXPECT_FALSE(reading.isFinished());
    EXPECT_EQ(made, 1);
    model.setName("a");
    EXPECT_EQ(changes, 1);

    // An inner scope that read nothing leaves the outer one its own reads, and one that read
    // something hands them out.
    int outer = 0;
    withObservationTracking(
        [&] {
            (void)platform::trackObservationLazily([] {}, makeHandler);
            (void)platform::trackObservationLazily([&] { (void)model.query(); }, makeHandler);
        },
        [&] { ++outer; });
    model.setQuery("q");
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(made, 2);
}
