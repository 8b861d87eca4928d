#pragma once

// Two drawings of one paragraph held to each other pixel for pixel, and to having drawn something.

#include "platform/graphics/Image.hpp"

#include <gtest/gtest.h>

namespace moss_test {

/// Expects `a` and `b` to be the same pixels, and more than `leastInked` of them not white.
inline void expectSamePixelsWithInk(const platform::Image& a, const platform::Image& b,
                                    int leastInked) {
    ASSERT_EQ(a.pixels().size(), b.pixels().size());
    int differing = 0;
    int inked = 0;
    for (std::size_t i = 0; i < a.pixels().size(); ++i) {
        differing += a.pixels()[i] != b.pixels()[i] ? 1 : 0;
        inked += a.pixels()[i] != 0xFFFFFFFF ? 1 : 0;
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(inked, leastInked);
}

} // namespace moss_test
