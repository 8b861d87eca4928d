// The cache of parsed and typeset formulas: width rounding, reuse, and its bound.

#include "Math/DisplayProvider.hpp"

#include <cmath>
#include <gtest/gtest.h>

using namespace Math;
using Level = Style::Level;

namespace {

const Font latinModern20(Font::Name::latinModern, 20);

} // namespace

TEST(DisplayProvider, WidthsRoundToHalfPoints) {
    EXPECT_EQ(DisplayProvider::keyWidth(100.2), 100);
    EXPECT_EQ(DisplayProvider::keyWidth(100.24), 100);
    EXPECT_EQ(DisplayProvider::keyWidth(100.25), 100.5);
    EXPECT_EQ(DisplayProvider::keyWidth(std::nullopt), 0);
    EXPECT_EQ(DisplayProvider::keyWidth(-3), 0);
    EXPECT_EQ(DisplayProvider::keyWidth(std::nan("")), 0);

    const DisplayProvider::Key positive{"x", latinModern20, Level::display, 0.0};
    const DisplayProvider::Key negative{"x", latinModern20, Level::display, -0.0};
    EXPECT_EQ(positive, negative);
    EXPECT_EQ(DisplayProvider::KeyHash{}(positive), DisplayProvider::KeyHash{}(negative));
}

TEST(DisplayProvider, ReusesRootsAlsoAtTheirNaturalWidth) {
    DisplayProvider provider;
    const auto root = provider.displayNode("a+b", latinModern20, Level::display, 100.2);
    ASSERT_TRUE(root);
    EXPECT_EQ(provider.displayNode("a+b", latinModern20, Level::display, 100.24), root);
    EXPECT_EQ(provider.displayNode("a+b", latinModern20, Level::display, root->width()), root);
    EXPECT_EQ(provider.displayNodeCount(), 2U);
    EXPECT_EQ(provider.atomListCount(), 1U);
    // Another style is another entry; the parsed list is shared.
    EXPECT_NE(provider.displayNode("a+b", latinModern20, Level::text, 100), root);
    EXPECT_EQ(provider.atomListCount(), 1U);
}

TEST(DisplayProvider, FailuresAreNotKept) {
    DisplayProvider provider;
    EXPECT_FALSE(provider.displayNode("\\frac{", latinModern20, Level::display, 0));
    EXPECT_FALSE(
        provider.displayNode("x", Font(Font::Name("no-such-font"), 20), Level::display, 0));
    EXPECT_FALSE(provider.displayNode("x", Font(Font::Name::latinModern, 1e9), Level::display, 0));
    EXPECT_EQ(provider.displayNodeCount(), 0U);
    EXPECT_EQ(provider.atomListCount(), 1U); // "x" parsed fine
}

TEST(DisplayProvider, KeepsABoundedNumberOfEntriesDroppingTheLeastRecentlyUsed) {
    // Each formula takes two root entries: its requested width and its natural width.
    DisplayProvider provider(2, 4);
    const auto a = provider.displayNode("a", latinModern20, Level::display, 0);
    const auto b = provider.displayNode("b", latinModern20, Level::display, 0);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(provider.displayNode("a", latinModern20, Level::display, 0), a); // a is recent now
    provider.displayNode("c", latinModern20, Level::display, 0);
    EXPECT_EQ(provider.displayNodeCount(), 4U);
    EXPECT_EQ(provider.atomListCount(), 2U);
    EXPECT_EQ(provider.displayNode("a", latinModern20, Level::display, 0), a);
    EXPECT_NE(provider.displayNode("b", latinModern20, Level::display, 0), b); // typeset again
}
