// Environment values read back: the newest write of a key wins, a key never written reads its
// default, and both hold however many keys a chain carries and however often it is folded.

#include "platform/ui/Environment.hpp"

#include <gtest/gtest.h>
#include <utility>

using platform::ui::EnvironmentValues;

namespace {

/// Many distinct keys (more than a word has bits), each reading -1 until written.
template <int I>
struct IndexedKey {
    using Value = int;
    static Value defaultValue() { return -1; }
};

constexpr int kKeys = 96;

/// Writes `round * 1000 + i` under every key `i` with `i % 3 == phase`.
template <int... I>
void writeEvery(EnvironmentValues& env, int phase, int round, std::integer_sequence<int, I...>) {
    (
        [&] {
            if (I % 3 == phase) {
                env.set<IndexedKey<I>>(round * 1000 + I);
            }
        }(),
        ...);
}

/// Checks every key: those with `i % 3 == phase` read what `round` wrote, the others `other(i)`.
template <int... I, class Other>
void expectEvery(const EnvironmentValues& env, int phase, int round, Other other,
                 std::integer_sequence<int, I...>) {
    (
        [&] {
            const int expected = I % 3 == phase ? round * 1000 + I : other(I);
            EXPECT_EQ(env.get<IndexedKey<I>>(), expected) << "key " << I;
            EXPECT_EQ(env.contains<IndexedKey<I>>(), expected != -1) << "key " << I;
        }(),
        ...);
}

} // namespace

TEST(Environment, ManyKeysReadTheirNewestWriteOrTheirDefaultAcrossFolds) {
    const auto keys = std::make_integer_sequence<int, kKeys>();
    EnvironmentValues env;
    // Nothing written: every key reads its default.
    expectEvery(
        env, -1, 0, [](int) { return -1; }, keys);

    // A third of the keys, written over several rounds (the chain folds many times over).
    for (int round = 1; round <= 4; ++round) {
        writeEvery(env, 0, round, keys);
    }
    expectEvery(
        env, 0, 4, [](int) { return -1; }, keys);

    // A copy takes more keys; the original keeps what it had.
    EnvironmentValues more = env;
    writeEvery(more, 1, 5, keys);
    expectEvery(
        more, 1, 5, [](int i) { return i % 3 == 0 ? 4000 + i : -1; }, keys);
    expectEvery(
        env, 0, 4, [](int) { return -1; }, keys);

    // One key written on top of a long chain: the others still read through to theirs.
    EnvironmentValues one = more;
    one.set<IndexedKey<2>>(7);
    EXPECT_EQ(one.get<IndexedKey<2>>(), 7);
    EXPECT_EQ(one.get<IndexedKey<0>>(), 4000);
    EXPECT_EQ(one.get<IndexedKey<1>>(), 5001);
    EXPECT_EQ(one.get<IndexedKey<5>>(), -1);
    EXPECT_FALSE(one == more);
    EXPECT_FALSE(one.sameValue(&platform::ui::detail::environmentKeyTag<IndexedKey<2>>, more));
    EXPECT_TRUE(one.sameValue(&platform::ui::detail::environmentKeyTag<IndexedKey<5>>, more));
    EXPECT_TRUE(one.sameValue(&platform::ui::detail::environmentKeyTag<IndexedKey<0>>, more));
}
