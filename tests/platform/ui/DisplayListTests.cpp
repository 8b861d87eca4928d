// Replaying display lists: what lies outside the clip is skipped, and the visible rectangle each
// Save keeps is restored by the matching Restore of the same list only, however lists nest.

#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/ui/DisplayList.hpp"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>

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
// where each drew (a sublist where it drew when appended, though its list changed since), or
// everything where a clip or a transform differs.
TEST(DisplayList, TheDifferenceOfTwoRecordingsHoldsWhatEitherDrawsAndTheOtherDoesNot) {
    auto row = std::make_shared<RetainedList>();
    DisplayList tall;
    tall.append(fill(Rect(0, 0, 100, 40), Color(1, 0, 0)));
    row->set(tall);
    auto other = std::make_shared<RetainedList>();
    other->set(tall);
    DisplayList before;
    before.append(fill(Rect(0, 0, 100, 10), Color(0, 0, 0)));
    before.append(DisplayList::Sublist{row, {0, 10}});
    before.append(DisplayList::Sublist{other, {0, 50}});
    before.append(fill(Rect(0, 200, 100, 10), Color(0, 0, 0)));
    EXPECT_TRUE(DisplayList::difference(before, before).isNull());

    // The row drawn lower and shorter, recorded again in place: all it covered before counts.
    DisplayList shorter;
    shorter.append(fill(Rect(0, 0, 100, 20), Color(1, 0, 0)));
    row->set(shorter);
    DisplayList after;
    after.append(fill(Rect(0, 0, 100, 10), Color(0, 0, 0)));
    after.append(DisplayList::Sublist{row, {0, 12}});
    after.append(DisplayList::Sublist{other, {0, 50}});
    after.append(fill(Rect(0, 200, 100, 10), Color(0, 0, 0)));
    EXPECT_EQ(DisplayList::difference(before, after), Rect(0, 10, 100, 40));

    // One item more in the middle: that item alone.
    DisplayList more;
    more.append(fill(Rect(0, 0, 100, 10), Color(0, 0, 0)));
    more.append(DisplayList::Sublist{row, {0, 12}});
    more.append(fill(Rect(5, 120, 10, 10), Color(0, 1, 0)));
    more.append(DisplayList::Sublist{other, {0, 50}});
    more.append(fill(Rect(0, 200, 100, 10), Color(0, 0, 0)));
    EXPECT_EQ(DisplayList::difference(after, more), Rect(5, 120, 10, 10));

    // A clip that differs changes all that follows it.
    DisplayList clipped;
    clipped.append(DisplayList::Clip{platform::Path::rect(Rect(0, 0, 50, 50))});
    clipped.append(fill(Rect(0, 0, 100, 10), Color(0, 0, 0)));
    clipped.append(fill(Rect(0, 200, 100, 10), Color(0, 0, 0)));
    DisplayList unclipped;
    unclipped.append(fill(Rect(0, 0, 100, 10), Color(0, 0, 0)));
    unclipped.append(fill(Rect(0, 200, 100, 10), Color(0, 0, 0)));
    EXPECT_EQ(DisplayList::difference(clipped, unclipped), Rect(0, 0, 100, 210));

    // After a transform, an item lands anywhere.
    DisplayList turned;
    turned.append(DisplayList::Transform{platform::AffineTransform::translation(0, 500)});
    turned.append(fill(Rect(0, 0, 10, 10), Color(0, 0, 0)));
    DisplayList turnedRed;
    turnedRed.append(DisplayList::Transform{platform::AffineTransform::translation(0, 500)});
    turnedRed.append(fill(Rect(0, 0, 10, 10), Color(1, 0, 0)));
    EXPECT_TRUE(DisplayList::difference(turned, turnedRed).contains(Rect(0, 500, 10, 10)));
}
