// Block spacing: merging the wishes of neighbouring blocks side by side, scaling, and resolving an
// em-based spacing against a real font.

#include "Vellum/style/BlockSpacing.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <unordered_set>

namespace {

using vellum::structured::BlockSpacing;
using vellum::structured::BlockSpacingKey;
using vellum::structured::maxOfOptionals;

TEST(BlockSpacingTest, UnionTakesTheLargerWishPerSide) {
    const BlockSpacing merged = BlockSpacing(8).unioned(BlockSpacing(4, 2));
    EXPECT_EQ(merged.top, 8);
    EXPECT_EQ(merged.bottom, 2);
    EXPECT_EQ(BlockSpacing(1, 9).unioned(BlockSpacing(3, 5)), BlockSpacing(3, 9));
    EXPECT_EQ(BlockSpacing().unioned(BlockSpacing()), BlockSpacing());

    // The preference merges the same way, sibling after sibling.
    BlockSpacing value = BlockSpacingKey::defaultValue();
    BlockSpacingKey::reduce(value, BlockSpacing(std::nullopt, 3));
    BlockSpacingKey::reduce(value, BlockSpacing(6, 1));
    EXPECT_EQ(value, BlockSpacing(6, 3));
}

TEST(BlockSpacingTest, MaximumKeepsTheFirstOfEqualValues) {
    EXPECT_EQ(maxOfOptionals({}), std::nullopt);
    EXPECT_EQ(maxOfOptionals({std::nullopt, std::nullopt}), std::nullopt);
    EXPECT_EQ(maxOfOptionals({std::nullopt, -2.0, std::nullopt}), -2.0);
    // 0 and -0 compare equal: which one comes out tells which one was kept.
    EXPECT_FALSE(std::signbit(*maxOfOptionals({0.0, -0.0})));
    EXPECT_TRUE(std::signbit(*maxOfOptionals({-0.0, 0.0})));
}

TEST(BlockSpacingTest, AbsentIsNotZero) {
    EXPECT_NE(BlockSpacing(0), BlockSpacing(std::nullopt));
    EXPECT_NE(BlockSpacing(std::nullopt, 0), BlockSpacing());
    const std::unordered_set<BlockSpacing> distinct{
        BlockSpacing(), BlockSpacing(0), BlockSpacing(std::nullopt, 0), BlockSpacing(0, 0)};
    EXPECT_EQ(distinct.size(), 4U);
    // Zero is a wish of its own and beats no wish.
    EXPECT_EQ(BlockSpacing().unioned(BlockSpacing(0)).top, 0);
}

TEST(BlockSpacingTest, ScalingLeavesAbsentSidesAbsent) {
    EXPECT_EQ(BlockSpacing(std::nullopt, 3).scaled(2), BlockSpacing(std::nullopt, 6));
    EXPECT_EQ(BlockSpacing(1.5, std::nullopt).scaled(4), BlockSpacing(6, std::nullopt));
}

TEST(BlockSpacingTest, EmSpacingResolvesAgainstTheFontSize) {
    vellum::TextEnvironmentValues environment;
    environment.font = platform::Font::system(20.0);
    const auto spacing = vellum::structured::fontScaled(0.5, std::nullopt);
    EXPECT_EQ(spacing.resolve(environment), BlockSpacing(10, std::nullopt));
    environment.font = platform::Font::system(32.0);
    EXPECT_EQ(spacing.resolve(environment), BlockSpacing(16, std::nullopt));
}

} // namespace
