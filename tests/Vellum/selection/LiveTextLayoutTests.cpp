#include "Vellum/attachments/LinkAttribute.hpp"
#include "Vellum/selection/TextHitTesting.hpp"
#include "tests/Vellum/selection/TextLayoutTestSupport.hpp"

#include <gtest/gtest.h>

using namespace vellum;
using vellum::test::fragment;
using vellum::test::kAdvance;
using vellum::test::LaidOutTexts;
namespace ui = platform::ui;

TEST(LiveTextLayoutCollection, KeepsOnlyTextsBuiltByAFragment) {
    const LaidOutTexts texts({fragment("one"), ui::Text("plain"), fragment("two"), fragment("")});
    ASSERT_EQ(texts.anchored().size(), 4u);
    const auto& c = texts.collection();
    // The plain text takes no part, and neither does the empty text (it has no runs).
    ASSERT_EQ(c.layoutCount(), 2u);
    EXPECT_EQ(c.layout(0).string(), "one");
    EXPECT_EQ(c.layout(1).string(), "two");
    EXPECT_EQ(c.index(texts.anchored()[2].layout), 1u);
    EXPECT_EQ(c.index(texts.anchored()[1].layout), std::nullopt);
    // Origins are where the stack placed the texts.
    EXPECT_EQ(c.layout(0).origin().y, 0);
    EXPECT_GT(c.layout(1).origin().y, c.layout(0).bounds().maxY());
}

TEST(LiveTextLayoutCollection, SlicesCountIntoTheWholeTextOfSeveralParagraphs) {
    const LaidOutTexts texts({fragment("abcdefghij\n\nxyz")});
    const TextLayout& layout = texts.collection().layout(0);
    ASSERT_EQ(layout.lineCount(), 3u);
    const TextRun& last = layout.line(2).run(0);
    ASSERT_EQ(last.sliceCount(), 3u);
    EXPECT_EQ(last.slice(0).characterRange(), (CharacterRange{12, 13}));
    EXPECT_EQ(last.slice(2).characterRange(), (CharacterRange{14, 15}));
    EXPECT_NEAR(last.slice(1).typographicBounds().minX(), kAdvance, 0.01);
    EXPECT_NEAR(last.slice(1).typographicBounds().width(), kAdvance, 0.01);
    // The empty paragraph still takes a caret: one run of one slice, the line's own box, standing
    // for the one character where the line starts.
    const TextLine& empty = layout.line(1);
    ASSERT_EQ(empty.runCount(), 1u);
    ASSERT_EQ(empty.run(0).sliceCount(), 1u);
    EXPECT_EQ(empty.run(0).slice(0).characterRange(), (CharacterRange{11, 12}));
    EXPECT_EQ(empty.run(0).slice(0).typographicBounds(), empty.typographicBounds());
    EXPECT_EQ(empty.run(0).url(), std::nullopt);
    // Lines and runs are made once: reading twice gives the same objects.
    EXPECT_EQ(&layout.line(2).run(0), &last);
}

TEST(LiveTextLayoutCollection, RunsReportTheirLinks) {
    const auto url = platform::URL::fromString("https://example.com/a");
    ASSERT_TRUE(url);
    const LaidOutTexts texts(
        {(fragment("see ") + fragment("here").customAttribute(LinkAttribute{*url}))});
    const TextLine& line = texts.collection().layout(0).line(0);
    ASSERT_EQ(line.runCount(), 2u);
    EXPECT_EQ(line.run(0).url(), std::nullopt);
    EXPECT_EQ(line.run(1).url(), url);
    const auto o = texts.collection().layout(0).origin();
    const double midY = o.y + line.typographicBounds().midY();
    EXPECT_EQ(linkURL(texts.collection(), {o.x + 5.5 * kAdvance, midY}), url);
    EXPECT_EQ(linkURL(texts.collection(), {o.x + 1.5 * kAdvance, midY}), std::nullopt);
    EXPECT_EQ(linkURL(texts.collection(), {o.x + 5.5 * kAdvance, midY + 200}), std::nullopt);
}

// Collections made one after another as rows are laid out share one index of the texts: each
// answers as one indexed whole would, before and after a later one extends the index, and one
// whose texts do not begin with those indexed gets an index of its own.
TEST(LiveTextLayoutCollection, SharedIndexAnswersAsAWholeIndexWould) {
    const LaidOutTexts texts(
        {fragment("one"), ui::Text("plain"), fragment("two"), fragment("one"), fragment("three")});
    using Layouts = LiveTextLayoutCollection::Layouts;
    const Layouts& all = texts.anchored();
    const auto shared = std::make_shared<LiveTextLayoutCollection::SharedIndex>();
    const auto upTo = [&](std::size_t count) {
        return std::make_shared<const Layouts>(all.begin(), all.begin() + long(count));
    };
    const auto check = [&](const LiveTextLayoutCollection& c, std::size_t count) {
        const LiveTextLayoutCollection whole(Layouts(all.begin(), all.begin() + long(count)),
                                             ui::GeometryProxy());
        for (std::size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(c.index(all[i].layout), whole.index(all[i].layout)) << count << " " << i;
        }
    };
    const LiveTextLayoutCollection first(upTo(2), ui::GeometryProxy(), shared);
    check(first, 2);
    const LiveTextLayoutCollection second(upTo(5), ui::GeometryProxy(), shared);
    check(second, 5);
    EXPECT_EQ(second.index(all[4].layout), 3u);
    // The first still finds only its own texts, the index having grown past them.
    check(first, 2);
    // As many texts and more, but not a continuation: the last one moved up.
    const auto reordered =
        std::make_shared<const Layouts>(Layouts{all[0], all[1], all[4], all[2], all[3], all[4]});
    const LiveTextLayoutCollection other(reordered, ui::GeometryProxy(), shared);
    const LiveTextLayoutCollection otherWhole(*reordered, ui::GeometryProxy());
    for (const auto& text : all) {
        EXPECT_EQ(other.index(text.layout), otherWhole.index(text.layout));
    }
    check(second, 5);

    // The texts from some text on laid out again (a row measured, then placed) once no other
    // collection answers from the index: it drops them, keeps the first places of texts met
    // before, and goes on with the new ones.
    const LaidOutTexts again({fragment("two"), fragment("one"), fragment("four")});
    const Layouts& redone = again.anchored();
    const auto fresh = std::make_shared<LiveTextLayoutCollection::SharedIndex>();
    {
        const LiveTextLayoutCollection before(upTo(5), ui::GeometryProxy(), fresh);
        EXPECT_EQ(before.index(all[4].layout), 3u);
    }
    for (const Layouts& now :
         {Layouts{all[0], all[1], redone[0], all[3], redone[1], redone[2]},
          Layouts{all[0], all[1], redone[0], all[3], redone[1], redone[2], all[4], all[2]},
          Layouts{all[0], redone[2]}}) {
        const LiveTextLayoutCollection shared(std::make_shared<const Layouts>(now),
                                              ui::GeometryProxy(), fresh);
        const LiveTextLayoutCollection whole(now, ui::GeometryProxy());
        for (const Layouts* texts : {&all, &redone}) {
            for (const auto& text : *texts) {
                EXPECT_EQ(shared.index(text.layout), whole.index(text.layout));
            }
        }
    }
    // A text met twice, before the cut and after it, keeps its first place.
    const auto twice = std::make_shared<LiveTextLayoutCollection::SharedIndex>();
    {
        const LiveTextLayoutCollection before(
            std::make_shared<const Layouts>(Layouts{all[0], all[2], all[0], all[4]}),
            ui::GeometryProxy(), twice);
        EXPECT_EQ(before.index(all[0].layout), 0u);
    }
    const LiveTextLayoutCollection after(
        std::make_shared<const Layouts>(Layouts{all[0], all[2], redone[0]}), ui::GeometryProxy(),
        twice);
    EXPECT_EQ(after.index(all[0].layout), 0u);
    EXPECT_EQ(after.index(redone[0].layout), 2u);
    EXPECT_EQ(after.index(all[4].layout), std::nullopt);
}

TEST(TextLayoutCollections, EqualityIsAskedOfTheLeftSide) {
    const LaidOutTexts texts({fragment("one")});
    const LaidOutTexts plain({ui::Text("no fragment")});
    const EmptyTextLayoutCollection empty;
    const auto& live = texts.collection();
    ASSERT_EQ(plain.collection().layoutCount(), 0u);
    EXPECT_TRUE(empty.isEqual(empty));
    EXPECT_TRUE(empty.isEqual(plain.collection()));
    EXPECT_FALSE(empty.isEqual(live));
    // A live collection is equal only to a live one, even when both hold nothing.
    EXPECT_FALSE(plain.collection().isEqual(empty));
    const LiveTextLayoutCollection same(texts.anchored(), ui::GeometryProxy());
    EXPECT_TRUE(live.isEqual(same));
    EXPECT_FALSE(live.isEqual(plain.collection()));

    const AnyTextLayoutCollection anyEmpty;
    const AnyTextLayoutCollection anyPlain(plain.shared());
    EXPECT_TRUE(anyEmpty == anyPlain);
    EXPECT_FALSE(anyPlain == anyEmpty);
    EXPECT_EQ(AnyTextLayoutCollection(texts.shared()).index(texts.anchored()[0].layout), 0u);
}

TEST(TextLayoutCollections, OnlyALiveCollectionOverOtherTextsNeedsRemapping) {
    const LaidOutTexts texts({fragment("one"), fragment("two")});
    const LaidOutTexts other({fragment("one"), fragment("two!")});
    const EmptyTextLayoutCollection empty;
    EXPECT_FALSE(empty.layoutsDiffer(texts.collection()));
    EXPECT_FALSE(empty.layoutsDiffer(empty));
    EXPECT_TRUE(texts.collection().layoutsDiffer(empty));
    EXPECT_TRUE(texts.collection().layoutsDiffer(other.collection()));
    // The same texts moved elsewhere keep their positions.
    auto moved = texts.anchored();
    for (auto& a : moved) {
        a.origin = ui::Anchor<platform::Point>(a.origin.rootValue() + platform::Point{0, 40});
    }
    const LiveTextLayoutCollection shifted(moved, ui::GeometryProxy());
    EXPECT_FALSE(shifted.isEqual(texts.collection()));
    EXPECT_FALSE(shifted.layoutsDiffer(texts.collection()));
    EXPECT_TRUE(AnyTextLayoutCollection(texts.shared()).layoutsDiffer(AnyTextLayoutCollection()));
}

TEST(EmptyRun, TakesTheDirectionOfTheUsersLanguage) {
    EXPECT_EQ(characterDirection("he_IL.UTF-8"), LayoutDirection::rightToLeft);
    EXPECT_EQ(characterDirection("ar-EG"), LayoutDirection::rightToLeft);
    EXPECT_EQ(characterDirection("fa"), LayoutDirection::rightToLeft);
    EXPECT_EQ(characterDirection("en_GB.UTF-8"), LayoutDirection::leftToRight);
    EXPECT_EQ(characterDirection("hel"), LayoutDirection::leftToRight);
    EXPECT_EQ(characterDirection("C"), LayoutDirection::leftToRight);
    EXPECT_EQ(characterDirection(""), LayoutDirection::leftToRight);
    const EmptyRun run(LayoutDirection::leftToRight, {1, 2, 0, 10}, std::nullopt,
                       EmptyRunSlice({1, 2, 0, 10}, {4, 5}));
    EXPECT_EQ(run.sliceCount(), 1u);
    EXPECT_EQ(run.slice(0).characterRange(), (CharacterRange{4, 5}));
}
