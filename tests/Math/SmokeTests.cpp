#include "Math/Parser.hpp"
#include "Math/Serializer.hpp"

#include <gtest/gtest.h>

TEST(Smoke, ParsesAndWrites) {
    auto list = Math::parseLatex("x^2_i");
    ASSERT_TRUE(list);
    EXPECT_EQ(Math::serializeAtomList(list), "x^{2}_{i}");
}
