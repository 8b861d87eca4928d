// Replaying display lists: what lies outside the clip is skipped, and the visible rectangle each
// Save keeps is restored by the matching Restore of the same list only, however lists nest.

#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/ui/DisplayList.hpp"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using platform::Color;
using platform::Rect;
using platform::ui::DisplayList;
using platform::ui::RetainedList;

namespace {

DisplayList::Fill fill(Rect r, Color c) {
    return {platform::Path::rect(r), c, {}};
}

} // namespace

TEST(DisplayList, ReplaySkipsWhatTheClipHidesAndEachListRestoresOnlyWhatItSaved) {
    // A sublist with a Restore of no Save of its own (which takes the context back past the
    // sublist's own offset), and a Save it leaves open.
    DisplayList inner;
    inner.append(DisplayList::Restore{});
    inner.append(fill(Rect(1, 1, 2, 2), Color(1, 0, 0)));
    inner.append(DisplayList::Clip{platform::Path::rect(Rect(0, 0, 30, 30))});
    inner.append(DisplayList::Save{});
    inner.append(DisplayList::Clip{platform::Path::rect(Rect(0, 0, 1, 1))});
    auto retained = std::make_shared<RetainedList>();
    retained->set(inner);

    DisplayList outer;
    outer.append(DisplayList::Save{});
    outer.append(DisplayList::Clip{platform::Path::rect(Rect(0, 0, 10, 10))});
    outer.append(DisplayList::Sublist{retained, {6, 6}});
    outer.append(fill(Rect(20, 20, 4, 4), Color(0, 1, 0))); // hidden by the clip: skipped
    outer.append(DisplayList::Restore{});
    outer.append(fill(Rect(27, 27, 4, 4), Color(0, 0, 1))); // the clip is gone: drawn
    DisplayList beside;
    beside.append(fill(Rect(28, 2, 2, 2), Color(1, 1, 0)));
    auto besideRetained = std::make_shared<RetainedList>();
    besideRetained->set(beside);
    outer.append(DisplayList::Sublist{besideRetained, {0, 0}});
    outer.append(DisplayList::Sublist{besideRetained, {0, 40}}); // below the surface: skipped

    platform::ImageSurface surface = platform::ImageSurface::ofSize({32, 32}, 1);
    std::uint64_t drawn = 0;
    {
        platform::GraphicsContext context(surface);
        outer.draw(context, &drawn);
    }
    EXPECT_EQ(drawn, 3u);
    const platform::Image image = surface.makeImage();
    EXPECT_EQ(image.pixel(2, 2).red, 255);
    EXPECT_EQ(image.pixel(21, 21).green, 0);
    EXPECT_EQ(image.pixel(28, 28).blue, 255);
    EXPECT_EQ(image.pixel(29, 3).green, 255);
}

// What two recordings of one list draw differently: the items not shared at their start and end,
// where each drew (a sublist where it drew when appended, though its list changed since), one
// rectangle per run of neighbours; sublists kept in order where they were count as the same; a
// clip or a transform that differs changes everything.
TEST(DisplayList, TheDifferenceOfTwoRecordingsHoldsWhatEitherDrawsAndTheOtherDoesNot) {
    using Rects = std::vector<Rect>;
    DisplayList tall;
    tall.append(fill(Rect(0, 0, 100, 40), Color(1, 0, 0)));
    std::vector<std::shared_ptr<RetainedList>> rows;
    for (int i = 0; i < 6; ++i) {
        rows.push_back(std::make_shared<RetainedList>());
        rows.back()->set(tall);
    }
    const auto stack = [&](int first, int end, double lastOffset = 0) {
        DisplayList list;
        for (int i = first; i < end; ++i) {
            const double y = i + 1 == end && lastOffset != 0 ? lastOffset : 50.0 * i;
            list.append(DisplayList::Sublist{rows[i], {0, y}});
        }
        return list;
    };
    const DisplayList shown = stack(1, 4);
    EXPECT_TRUE(DisplayList::difference(shown, shown).empty());
    // Rows that came and went around those kept: none across the rows kept.
    EXPECT_EQ(DisplayList::difference(stack(0, 3), stack(1, 5)),
              (Rects{Rect(0, 150, 100, 40), Rect(0, 200, 100, 40), Rect(0, 0, 100, 40)}));
    // A row moved and recorded shorter in place since: all it covered before counts.
    const DisplayList before = stack(1, 4);
    DisplayList shorter;
    shorter.append(fill(Rect(0, 0, 100, 20), Color(1, 0, 0)));
    rows[3]->set(shorter);
    EXPECT_EQ(DisplayList::difference(before, stack(1, 4, 160)), (Rects{Rect(0, 150, 100, 40)}));

    // A clip that differs changes all that follows it; after a transform, an item lands
    // anywhere.
    DisplayList clipped;
    clipped.append(DisplayList::Clip{platform::Path::rect(Rect(0, 0, 50, 50))});
    clipped.append(fill(Rect(0, 0, 100, 10), Color(0, 0, 0)));
    clipped.append(fill(Rect(0, 200, 100, 10), Color(0, 0, 0)));
    DisplayList unclipped;
    unclipped.append(fill(Rect(0, 0, 100, 10), Color(0, 0, 0)));
    unclipped.append(fill(Rect(0, 200, 100, 10), Color(0, 0, 0)));
    EXPECT_EQ(DisplayList::difference(clipped, unclipped), (Rects{Rect(0, 0, 100, 210)}));
    DisplayList turned;
    turned.append(DisplayList::Transform{platform::AffineTransform::translation(0, 500)});
    turned.append(fill(Rect(0, 0, 10, 10), Color(0, 0, 0)));
    DisplayList turnedRed;
    turnedRed.append(DisplayList::Transform{platform::AffineTransform::translation(0, 500)});
    turnedRed.append(fill(Rect(0, 0, 10, 10), Color(1, 0, 0)));
    const Rects anywhere = DisplayList::difference(turned, turnedRed);
    ASSERT_EQ(anywhere.size(), 1u);
    EXPECT_TRUE(anywhere[0].contains(Rect(0, 500, 10, 10)));
}
