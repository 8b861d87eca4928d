// List markers shown in a live view tree: their text, the box they sit in, and the bullet shapes.

#include "Vellum/style/DashListMarker.hpp"
#include "Vellum/style/DecimalListMarker.hpp"
#include "Vellum/style/HierarchicalSymbolListMarker.hpp"
#include "Vellum/style/MapOrdinalListMarker.hpp"
#include "Vellum/style/Ordinal.hpp"
#include "Vellum/style/SymbolListMarker.hpp"
#include "platform/ui/UI.hpp"

#include <climits>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using platform::Font;
using platform::ui::AnyView;
using platform::ui::OffscreenHost;
using platform::ui::Text;
using platform::ui::ViewContext;
using namespace vellum::structured;

struct MarkerBody {
    std::function<AnyView(ViewContext&)> make;
    AnyView body(ViewContext& context) const { return make(context); }
};

struct Shown {
    std::string text;
    platform::Size size;
    platform::Image image;

    // Whether the pixel at (x, y) is drawn (more than faintly).
    [[nodiscard]] bool inked(int x, int y) const {
        const auto rgba = image.rgba();
        return rgba[(static_cast<std::size_t>(y) * image.width() + x) * 4 + 3] > 128;
    }
    // The rightmost column with any ink, or -1.
    [[nodiscard]] int lastInkedColumn() const {
        for (int x = image.width() - 1; x >= 0; --x) {
            for (int y = 0; y < image.height(); ++y) {
                if (inked(x, y)) {
                    return x;
                }
            }
        }
        return -1;
    }
};

Shown show(const std::function<AnyView(ViewContext&)>& make, double fontSize) {
    auto texts = std::make_shared<std::string>();
    const AnyView root =
        AnyView(MarkerBody{make})
            .onPreferenceChange<Text::LayoutKey>([texts](const Text::LayoutKey::Value& layouts) {
                texts->clear();
                for (const Text::AnchoredLayout& layout : layouts) {
                    *texts += layout.layout.base().string();
                }
            })
            .foregroundStyle(platform::Color::black())
            .font(Font::system(fontSize));
    OffscreenHost host(root);
    host.runUntilIdle();
    Shown shown;
    shown.size = host.size();
    if (shown.size.width > 0 && shown.size.height > 0) {
        shown.image = host.render(1.0);
    }
    shown.text = *texts;
    return shown;
}

Shown showOrdered(const OrderedListMarker& marker, int ordinal, double fontSize = 20) {
    return show(
        [&marker, ordinal](ViewContext& context) {
            return marker.makeBody(context, OrderedListMarkerConfiguration{1, ordinal});
        },
        fontSize);
}

Shown showUnordered(const UnorderedListMarker& marker, int level, double fontSize = 20) {
    return show(
        [&marker, level](ViewContext& context) {
            return marker.makeBody(context, UnorderedListMarkerConfiguration{level});
        },
        fontSize);
}

TEST(ListMarker, OrderedMarkersWriteTheirNumberAndAFullStop) {
    EXPECT_EQ(showOrdered(*OrderedListMarker::decimal(), 7).text, "7.");
    EXPECT_EQ(showOrdered(*OrderedListMarker::decimal(), -3).text, "-3.");
    EXPECT_EQ(showOrdered(*OrderedListMarker::upperRoman(), 1994).text, "MCMXCIV.");
    EXPECT_EQ(showOrdered(*OrderedListMarker::lowerRoman(), 14).text, "xiv.");
    EXPECT_EQ(showOrdered(*OrderedListMarker::upperAlpha(), 26).text, "Z.");
    EXPECT_EQ(showOrdered(*OrderedListMarker::lowerAlpha(), 3).text, "c.");
    EXPECT_EQ(showOrdered(*OrderedListMarker::lowerAlpha(), 27).text, "27.");
    // A marker made without a function still numbers its items.
    EXPECT_EQ(showOrdered(MapOrdinalListMarker(vellum::FontScaled<double>(1.5), {}), 4).text, "4.");
    EXPECT_EQ(showUnordered(*UnorderedListMarker::dash(), 1).text, "-");
}

TEST(ListMarker, MarkersLineUpAtTheTrailingEdgeOfAnEmBox) {
    // 1.5 em at 20 pt: a narrow and a wide letter both fit, so both boxes are 30 pt and their
    // full stops end in the same place.
    const Shown narrow = showOrdered(*OrderedListMarker::lowerAlpha(), 9);
    const Shown wide = showOrdered(*OrderedListMarker::lowerAlpha(), 13);
    EXPECT_EQ(narrow.text, "i.");
    EXPECT_DOUBLE_EQ(narrow.size.width, 30);
    EXPECT_DOUBLE_EQ(wide.size.width, 30);
    EXPECT_GE(narrow.lastInkedColumn(), 25);
    EXPECT_EQ(narrow.lastInkedColumn(), wide.lastInkedColumn());
    // The box follows the font.
    EXPECT_DOUBLE_EQ(showOrdered(*OrderedListMarker::decimal(), 9, 10).size.width, 15);

    const Shown dash = showUnordered(*UnorderedListMarker::dash(), 1);
    EXPECT_DOUBLE_EQ(dash.size.width, 30);
    EXPECT_GE(dash.lastInkedColumn(), 22);
}

TEST(ListMarker, AWideMarkerGrowsItsBoxInsteadOfBeingCut) {
    const Shown wide = showOrdered(*OrderedListMarker::upperRoman(), 3888);
    EXPECT_EQ(wide.text, "MMMDCCCLXXXVIII.");
    EXPECT_GT(wide.size.width, 100);
    EXPECT_GE(wide.lastInkedColumn(), static_cast<int>(wide.size.width) - 3);
}

TEST(ListMarker, BulletsAreDrawnAsTheShapesTheyNameAndFollowTheFont) {
    const Shown disc = showUnordered(*UnorderedListMarker::disc(), 1, 40);
    const Shown ring = showUnordered(*UnorderedListMarker::circle(), 1, 40);
    const Shown square = showUnordered(*UnorderedListMarker::square(), 1, 40);
    for (const Shown* shown : {&disc, &ring, &square}) {
        EXPECT_DOUBLE_EQ(shown->size.width, 60);
    }
    // At 40 pt with scale 0.33 the symbol is about 11 pt, against the trailing edge.
    const double side = 40 * 0.33 * 0.86;
    EXPECT_NEAR(disc.size.height, side, 1);
    const int cx = static_cast<int>(60 - side / 2);
    const int cy = static_cast<int>(side / 2);
    const int left = static_cast<int>(60 - side) + 1;
    EXPECT_TRUE(disc.inked(cx, cy));
    EXPECT_FALSE(disc.inked(left, 1)) << "a disc leaves its corners empty";
    EXPECT_FALSE(ring.inked(cx, cy)) << "a ring is hollow";
    EXPECT_TRUE(ring.inked(cx, 0) || ring.inked(cx, 1));
    EXPECT_TRUE(square.inked(cx, cy));
    EXPECT_TRUE(square.inked(left, 2)) << "a square fills towards its corners";

    EXPECT_NEAR(showUnordered(*UnorderedListMarker::disc(), 1, 20).size.height, side / 2, 1);
}

TEST(ListMarker, AnUnknownSymbolKeepsTheBoxAndDrawsNothing) {
    const SymbolListMarker unknown("star.fill", 0.33, vellum::FontScaled<double>(1.5));
    const Shown shown = showUnordered(unknown, 1);
    EXPECT_DOUBLE_EQ(shown.size.width, 30);
    EXPECT_EQ(shown.lastInkedColumn(), -1);
}

TEST(ListMarker, HierarchicalMarkersCycleWithDepth) {
    const vellum::FontScaled<double> box(1.5);
    const HierarchicalSymbolListMarker marker({SymbolListMarker("circle.fill", 0.33, box),
                                               SymbolListMarker("circle", 0.33, box),
                                               SymbolListMarker("square.fill", 0.33, box)});
    const std::vector<std::string> expected{"circle.fill", "circle", "square.fill",
                                            "circle.fill", "circle", "square.fill"};
    for (int level = 1; level <= 6; ++level) {
        ASSERT_TRUE(marker.marker(level));
        EXPECT_EQ(marker.marker(level)->symbolName, expected[level - 1]) << level;
    }
    // Outside the contract, but never a failure: below 1 the cycle runs backwards.
    EXPECT_EQ(marker.marker(0)->symbolName, "square.fill");
    EXPECT_TRUE(marker.marker(INT_MIN));
    EXPECT_TRUE(marker.marker(INT_MAX));
    EXPECT_DOUBLE_EQ(showUnordered(marker, INT_MIN).size.width, 30);

    const HierarchicalSymbolListMarker empty({});
    EXPECT_EQ(empty.marker(1), nullptr);
    EXPECT_DOUBLE_EQ(showUnordered(empty, 1).size.width, 0);
}

} // namespace
