#include "Vellum/selection/TextPosition.hpp"
#include "Vellum/selection/TextRange.hpp"

#include <gtest/gtest.h>
#include <unordered_set>
#include <vector>

using vellum::IndexPath;
using vellum::IndexPathSequence;
using vellum::TextPosition;
using vellum::TextRange;
using Affinity = TextPosition::Affinity;

namespace {

TextPosition down(IndexPath p) {
    return {p, Affinity::downstream};
}
TextPosition up(IndexPath p) {
    return {p, Affinity::upstream};
}

} // namespace

TEST(TextPosition, OrdersByPathThenDownstreamFirst) {
    EXPECT_LT(down({0, 0, 0, 3}), up({0, 0, 0, 3}));
    EXPECT_FALSE(up({0, 0, 0, 3}) < down({0, 0, 0, 3}));
    EXPECT_NE(down({0, 0, 0, 3}), up({0, 0, 0, 3}));
    // The path decides whatever the affinities.
    EXPECT_LT(up({0, 0, 0, 9}), down({0, 0, 1, 0}));
    EXPECT_LT(up({0, 5, 9, 9}), down({1, 0, 0, 0}));
    EXPECT_GT(down({0, 1, 0, 0}), up({0, 0, 7, 7}));
}

TEST(TextPosition, EqualPositionsHashAlikeAndSidesHashApart) {
    const std::unordered_set<TextPosition> set{down({0, 2, 1, 5}), up({0, 2, 1, 5}),
                                               down({0, 2, 1, 5})};
    EXPECT_EQ(set.size(), 2u);
}

TEST(TextPosition, DescriptionPutsTheCaretOnItsSide) {
    EXPECT_EQ(down({0, 2, 1, 5}).description(), "^(0, 2, 1, 5)");
    EXPECT_EQ(up({0, 2, 1, 5}).description(), "(0, 2, 1, 5)^");
    EXPECT_EQ((TextRange{down({0, 0, 0, 0}), up({0, 0, 3, 2})}).description(),
              "[^(0, 0, 0, 0)...(0, 0, 3, 2)^]");
    EXPECT_EQ((TextRange{down({1, 0, 0, 0}), down({1, 0, 0, 0})}).description(),
              "[^(1, 0, 0, 0)...^(1, 0, 0, 0)]");
}

TEST(TextRange, ContainsHonoursTheSideOfEachEnd) {
    const auto slices = [](const TextRange& r) {
        std::vector<std::size_t> in;
        for (std::size_t s = 0; s < 7; ++s) {
            if (r.contains({0, 0, 0, s})) {
                in.push_back(s);
            }
        }
        return in;
    };
    using V = std::vector<std::size_t>;
    EXPECT_EQ(slices({down({0, 0, 0, 2}), up({0, 0, 0, 4})}), (V{2, 3, 4}));
    EXPECT_EQ(slices({up({0, 0, 0, 2}), down({0, 0, 0, 4})}), (V{3}));
    EXPECT_EQ(slices({up({0, 0, 0, 2}), down({0, 0, 0, 2})}), V{});
    EXPECT_EQ(slices({down({0, 0, 0, 2}), down({0, 0, 0, 2})}), V{});
    EXPECT_EQ(slices({down({0, 0, 0, 2}), up({0, 0, 0, 2})}), (V{2}));
    // Across runs, the index path order decides.
    EXPECT_TRUE((TextRange{up({0, 0, 0, 9}), down({0, 0, 2, 0})}).contains({0, 0, 1, 0}));
    EXPECT_FALSE((TextRange{up({0, 0, 0, 9}), down({0, 0, 2, 0})}).contains({0, 0, 2, 0}));
}

TEST(TextRange, EqualityAndHashingTakeBothEnds) {
    const TextRange a{down({0, 0, 0, 1}), up({0, 0, 0, 4})};
    const TextRange b{down({0, 0, 0, 1}), down({0, 0, 0, 4})};
    EXPECT_EQ(a, (TextRange{down({0, 0, 0, 1}), up({0, 0, 0, 4})}));
    EXPECT_NE(a, b);
    EXPECT_EQ((std::unordered_set<TextRange>{a, b, a}.size()), 2u);
}

TEST(IndexPathSequence, WalksBothEndsIncludedAndStopsWhenTheStepGivesOut) {
    const auto step = [](const IndexPath& p) -> std::optional<IndexPath> {
        if (p.slice >= 5) {
            return std::nullopt;
        }
        return IndexPath{p.layout, p.line, p.run, p.slice + 1};
    };
    const auto collect = [](IndexPathSequence s) {
        std::vector<std::size_t> out;
        while (const auto p = s.next()) {
            out.push_back(p->slice);
        }
        return out;
    };
    using V = std::vector<std::size_t>;
    EXPECT_EQ(collect({IndexPath{0, 0, 0, 1}, IndexPath{0, 0, 0, 3}, step}), (V{1, 2, 3}));
    EXPECT_EQ(collect({IndexPath{0, 0, 0, 2}, IndexPath{0, 0, 0, 2}, step}), (V{2}));
    EXPECT_EQ(collect({std::nullopt, IndexPath{0, 0, 0, 2}, step}), V{});
    EXPECT_EQ(collect({IndexPath{0, 0, 0, 2}, std::nullopt, step}), V{});
    // An end the step never lands on: the walk runs until the step gives out.
    EXPECT_EQ(collect({IndexPath{0, 0, 0, 3}, IndexPath{0, 0, 0, 1}, step}), (V{3, 4, 5}));
}
