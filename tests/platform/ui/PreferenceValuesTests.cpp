// Preference values as a container: a few keys are held in place, more are shared between copies
// and copied when written. Either way a copy is a value of its own and combining keeps tree order.

#include "Probe.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ui_test;

namespace {

template <int N>
struct ListKey {
    using Value = std::vector<std::string>;
    static Value defaultValue() { return {}; }
    static void reduce(Value& v, Value next) { v.insert(v.end(), next.begin(), next.end()); }
};
using K0 = ListKey<0>;
using K1 = ListKey<1>;
using K2 = ListKey<2>;
using K3 = ListKey<3>;

using Names = std::vector<std::string>;

// The values of four keys (empty where unset), for comparing whole sets at once.
std::vector<Names> all(const PreferenceValues& p) {
    return {p.get<K0>(), p.get<K1>(), p.get<K2>(), p.get<K3>()};
}

} // namespace

TEST(PreferenceValues, CopiesAreValuesOfTheirOwnHowEverManyKeysTheyHold) {
    // One to four keys: held in place at first, shared once they are more.
    for (int keys = 1; keys <= 4; ++keys) {
        PreferenceValues original;
        original.set<K0>({"a"});
        if (keys > 1) {
            original.set<K1>({"b"});
        }
        if (keys > 2) {
            original.set<K2>({"c"});
        }
        if (keys > 3) {
            original.set<K3>({"d"});
        }
        const std::vector<Names> before = all(original);
        PreferenceValues copy = original;
        EXPECT_TRUE(copy.identical(original)) << keys << " keys";

        // Written, the copy changes alone; an existing key keeps its place, a new one is added.
        copy.set<K0>({"changed"});
        copy.set<K3>({"added"});
        EXPECT_EQ(all(original), before) << keys << " keys";
        EXPECT_EQ(copy.get<K0>(), Names{"changed"}) << keys << " keys";
        EXPECT_EQ(copy.get<K3>(), Names{"added"}) << keys << " keys";
        EXPECT_EQ(copy.get<K1>(), before[1]) << keys << " keys";
        EXPECT_FALSE(copy.identical(original)) << keys << " keys";

        // Removing a key from a copy leaves the others, and the original, as they were.
        PreferenceValues removed = original;
        removed.remove<K0>();
        EXPECT_EQ(removed.value<K0>(), nullptr) << keys << " keys";
        EXPECT_EQ(removed.get<K1>(), before[1]) << keys << " keys";
        EXPECT_EQ(removed.get<K2>(), before[2]) << keys << " keys";
        EXPECT_EQ(removed.get<K3>(), before[3]) << keys << " keys";
        EXPECT_EQ(removed.empty(), keys == 1) << keys << " keys";
        EXPECT_EQ(all(original), before) << keys << " keys";
        removed.remove<K0>();
        EXPECT_EQ(removed.get<K1>(), before[1]) << keys << " keys";
    }
}

TEST(PreferenceValues, MergingCombinesEachKeyInTreeOrderWhereverItIsHeld) {
    // Siblings setting overlapping keys: each key's parts are combined in the order of the
    // siblings, whether the merged values hold their keys in place or shared.
    PreferenceValues first;
    first.set<K0>({"0a"});
    first.set<K1>({"1a"});
    PreferenceValues second;
    second.set<K2>({"2b"});
    second.set<K1>({"1b"});
    second.set<K0>({"0b"});
    PreferenceValues third;
    third.set<K3>({"3c"});
    third.set<K0>({"0c"});

    PreferenceValues merged;
    merged.merge(first);
    merged.merge(second);
    merged.merge(third);
    EXPECT_EQ(merged.get<K0>(), (Names{"0a", "0b", "0c"}));
    EXPECT_EQ(merged.get<K1>(), (Names{"1a", "1b"}));
    EXPECT_EQ(merged.get<K2>(), Names{"2b"});
    EXPECT_EQ(merged.get<K3>(), Names{"3c"});
    // The siblings are as they were.
    EXPECT_EQ(all(first), (std::vector<Names>{{"0a"}, {"1a"}, {}, {}}));
    EXPECT_EQ(all(second), (std::vector<Names>{{"0b"}, {"1b"}, {"2b"}, {}}));

    // The same siblings merged again give the same values; a value set again that is equal is
    // taken over from before, so the two are identical.
    PreferenceValues again;
    again.merge(first);
    again.merge(second);
    again.merge(third);
    EXPECT_EQ(all(again), all(merged));
    PreferenceValues reset = first;
    reset.set<K1>({"1a"});
    EXPECT_FALSE(reset.identical(first));
    reset.keepUnchanged(first);
    EXPECT_TRUE(reset.identical(first));

    // Merging into values that share their entries with a sibling leaves the sibling alone.
    PreferenceValues sharing = second;
    sharing.merge(third);
    EXPECT_EQ(sharing.get<K0>(), (Names{"0b", "0c"}));
    EXPECT_EQ(second.get<K0>(), Names{"0b"});
    EXPECT_EQ(second.value<K3>(), nullptr);
}
