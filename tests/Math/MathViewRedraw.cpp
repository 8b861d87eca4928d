// A formula view drawn again after the shared cache of typeset formulas has let its root go: it
// draws from the root it drew before, typesetting nothing. A program of its own, as it fills the
// process's cache with formulas of its own, which the other tests' counts of entries do not
// expect.

#include "Math/DisplayProvider.hpp"
#include "Math/MathView.hpp"
#include "platform/ui/UI.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

using namespace Math;

TEST(MathViewRedraw, DrawsAgainFromItsOwnRootWhateverTheCacheDropped) {
    const Font font(Font::Name::latinModern, 20);
    DisplayProvider& provider = DisplayProvider::shared();
    platform::ui::OffscreenHost host{MathView("\\sum_{i=0}^{n} x_i + \\frac{a}{b}")};
    const platform::Image first = host.render(1.0, platform::Color::white());
    // More formulas than the cache keeps entries: the view's root is no longer among them.
    for (int i = 0; i < 600; ++i) {
        ASSERT_TRUE(
            provider.displayNode("y_{" + std::to_string(i) + "}", font, Style::Level::display, 0));
    }
    const std::size_t typesets = provider.typesetCount();
    const platform::Image again = host.render(1.0, platform::Color::white());
    EXPECT_EQ(provider.typesetCount(), typesets);
    ASSERT_EQ(again.width(), first.width());
    ASSERT_EQ(again.height(), first.height());
    EXPECT_TRUE(std::ranges::equal(again.pixels(), first.pixels()));
}
