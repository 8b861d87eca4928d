#include "platform/foundation/AttributedString.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using platform::AttributeContainer;
using platform::AttributedString;
using platform::InlinePresentationIntent;
using Foundation = platform::AttributeScopes::FoundationAttributes;

AttributeContainer withIntent(std::uint32_t bits) {
    AttributeContainer container;
    container.set<Foundation::InlinePresentationIntentAttribute>(InlinePresentationIntent{bits});
    return container;
}

AttributeContainer withLink(const char* url) {
    AttributeContainer container;
    container.set<Foundation::LinkAttribute>(*platform::URL::fromString(url));
    return container;
}

// A key of another type under a name Foundation's link key uses.
struct FakeLink {
    static constexpr std::string_view name = "NSLink";
    using Value = int;
};

// A key no container here holds.
struct UnheldTestKey {
    static constexpr std::string_view name = "Test.Missing";
    using Value = int;
};

AttributedString::Range range(std::size_t lower, std::size_t upper) {
    return {{lower}, {upper}};
}

TEST(AttributeContainerTest, KeysAreFoundByNameAndTypeAndCompareByValue) {
    AttributeContainer a = withLink("https://a.dev");
    a.set<Foundation::InlinePresentationIntentAttribute>(InlinePresentationIntent::code());
    AttributeContainer b = withIntent(InlinePresentationIntent::codeBit);
    b.set<Foundation::LinkAttribute>(*platform::URL::fromString("https://a.dev"));
    // Same entries set in another order: equal, same hash.
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_EQ(a.get<Foundation::LinkAttribute>()->absoluteString(), "https://a.dev");
    EXPECT_FALSE(a.get<Foundation::ImageURLAttribute>());

    // A key of another type under a taken name is not read as the stored type.
    EXPECT_FALSE(a.get<FakeLink>());

    AttributeContainer merged = withLink("https://old.dev");
    merged.merge(withLink("https://new.dev"));
    EXPECT_EQ(merged.get<Foundation::LinkAttribute>()->absoluteString(), "https://new.dev");

    // Removing the last key leaves a container equal to an empty one; the copy is untouched.
    const AttributeContainer before = merged;
    merged.remove<Foundation::LinkAttribute>();
    EXPECT_EQ(merged, AttributeContainer{});
    EXPECT_TRUE(before.contains<Foundation::LinkAttribute>());
}

TEST(AttributeContainerTest, SeveralKeysReadInOnePassAgreeWithOneByOne) {
    AttributeContainer a = withLink("https://a.dev");
    a.set<Foundation::InlinePresentationIntentAttribute>(InlinePresentationIntent::code());
    a.set<Foundation::ImageURLAttribute>(*platform::URL::fromString("https://a.dev/i.png"));
    a.set<Foundation::PresentationIntentAttribute>(platform::PresentationIntent(
        platform::PresentationIntent::IntentType::paragraph(1), nullptr));
    // Asked in another order than the entries are kept, with an absent key and a key of another
    // type under a taken name among them: every entry is seen, each key gets only its own value.
    const auto [intent, fake, inlineIntent, image, link, missing] =
        a.getAll<Foundation::PresentationIntentAttribute, FakeLink,
                 Foundation::InlinePresentationIntentAttribute, Foundation::ImageURLAttribute,
                 Foundation::LinkAttribute, UnheldTestKey>();
    EXPECT_EQ(intent, a.get<Foundation::PresentationIntentAttribute>());
    EXPECT_NE(intent, nullptr);
    EXPECT_EQ(fake, nullptr);
    EXPECT_EQ(inlineIntent, a.get<Foundation::InlinePresentationIntentAttribute>());
    EXPECT_NE(inlineIntent, nullptr);
    EXPECT_EQ(image, a.get<Foundation::ImageURLAttribute>());
    EXPECT_NE(image, nullptr);
    EXPECT_EQ(link, a.get<Foundation::LinkAttribute>());
    EXPECT_NE(link, nullptr);
    EXPECT_EQ(missing, nullptr);

    const auto [none, alsoNone] =
        AttributeContainer{}.getAll<Foundation::LinkAttribute, Foundation::ImageURLAttribute>();
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(alsoNone, nullptr);
}

TEST(AttributedStringTest, AppendingCoalescesEqualAttributesSoEqualityIsStructural) {
    AttributedString a;
    a.append("ab", withIntent(1));
    a.append("cd", withIntent(1));
    a.append("ef", withIntent(2));
    ASSERT_EQ(a.runs().size(), 2U);
    EXPECT_EQ(a.runs()[0].range, range(0, 4));

    const AttributedString b =
        AttributedString("abcd", withIntent(1)) + AttributedString("ef", withIntent(2));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, AttributedString("abcdef", withIntent(1)));
    EXPECT_NE(a, AttributedString("abcdeF", withIntent(1)));
    // Appending a string to itself doubles it.
    AttributedString twice = b;
    twice.append(twice);
    EXPECT_EQ(twice.characters(), "abcdefabcdef");
    EXPECT_EQ(twice.runs().size(), 4U);
}

TEST(AttributedStringTest, EachObjectReplacementCharacterIsARunOfItsOwn) {
    // Two equal attachments side by side are two things to draw and to export.
    const std::string box = "\xEF\xBF\xBC";
    AttributedString appended;
    appended.append(box, withIntent(1));
    appended.append(box, withIntent(1));
    appended.append("a", withIntent(1));
    ASSERT_EQ(appended.runs().size(), 3U);
    EXPECT_EQ(appended.runs()[1].range, range(3, 6));

    // However the text was put together, the runs are the same.
    const AttributedString whole(box + box + "a", withIntent(1));
    EXPECT_EQ(whole, appended);
    AttributedString joined = AttributedString(box, withIntent(1));
    joined.append(AttributedString(box + "a", withIntent(1)).slice());
    EXPECT_EQ(joined, appended);
    AttributedString edited(box + box + "a", withIntent(2));
    edited.setAttributes(edited.fullRange(), withIntent(1));
    EXPECT_EQ(edited, appended);
    EXPECT_EQ(AttributedString("a" + box + "b", withIntent(1)).runs().size(), 3U);
}

TEST(AttributedStringTest, SlicesClipRunsAndOutliveTheirString) {
    AttributedString text("hello ", withIntent(1));
    text.append("brave ", withIntent(2));
    text.append("world", withIntent(4));
    const platform::AttributedSubstring middle = text[range(3, 14)];
    text = AttributedString("replaced");

    EXPECT_EQ(middle.characters(), "lo brave wo");
    const auto runs = middle.runs();
    ASSERT_EQ(runs.size(), 3U);
    EXPECT_EQ(runs[0].range, range(3, 6));
    EXPECT_EQ(runs[2].range, range(12, 14));
    const AttributedString copy(middle);
    EXPECT_EQ(copy.characters(), "lo brave wo");
    EXPECT_EQ(copy.runs()[2].range, range(9, 11));
    // A narrower slice stays inside its parent slice.
    EXPECT_EQ(middle[range(0, 100)].characters(), "lo brave wo");
    // A range ending inside a UTF-8 sequence is moved to the next character boundary.
    const AttributedString accented("é!");
    EXPECT_EQ(accented[range(0, 1)].characters(), "é");
}

TEST(AttributedStringTest, EverySliceOfManyRunsHoldsTheRunsItOverlaps) {
    // Runs of lengths 1, 2, 3, 1, 2, 3, ...: a slice's last run lies anywhere from its first
    // one to many runs further, and at or just before a boundary.
    AttributedString text;
    std::vector<std::size_t> ends;
    for (std::uint32_t i = 0; i < 40; ++i) {
        text.append(std::string(1 + i % 3, 'a'), withIntent(1U << (i % 2)));
        ends.push_back(text.characters().size());
    }
    ASSERT_EQ(text.runs().size(), 40U);
    const std::size_t length = text.characters().size();
    for (std::size_t lower = 0; lower < length; ++lower) {
        for (std::size_t upper = lower + 1; upper <= length; ++upper) {
            const auto runs = text[range(lower, upper)].runs();
            // Expected: the runs whose span meets [lower, upper), clipped to it.
            std::vector<AttributedString::Range> expected;
            std::size_t start = 0;
            for (const std::size_t end : ends) {
                if (end > lower && start < upper) {
                    expected.push_back(range(std::max(start, lower), std::min(end, upper)));
                }
                start = end;
            }
            ASSERT_EQ(runs.size(), expected.size()) << lower << ".." << upper;
            for (std::size_t i = 0; i < expected.size(); ++i) {
                ASSERT_EQ(runs.range(i), expected[i]) << lower << ".." << upper << " run " << i;
            }
        }
    }
}

TEST(AttributedStringTest, SlicesCompareAsTheirCopiesWouldWhateverTheirBase) {
    AttributedString text("hello ", withIntent(1));
    text.append("brave ", withIntent(2));
    text.append("world", withIntent(4));
    // The same characters and runs at another offset of another string.
    AttributedString other("xx", withIntent(8));
    other.append("lo ", withIntent(1));
    other.append("brave ", withIntent(2));
    other.append("wo!", withIntent(4));
    EXPECT_EQ(text[range(3, 14)], other[range(2, 13)]);
    EXPECT_EQ(text[range(3, 14)], AttributedString(text[range(3, 14)]).slice());
    EXPECT_EQ(text[range(7, 9)], other[range(6, 8)]);
    EXPECT_EQ(text[range(3, 3)], other[range(0, 0)]);

    // A run boundary elsewhere, other attributes on a clipped outer run, other characters, or a
    // longer stretch: unequal.
    AttributedString shifted("lo b", withIntent(1));
    shifted.append("rave wo", withIntent(2));
    EXPECT_FALSE(text[range(3, 14)] == shifted.slice());
    EXPECT_FALSE(text[range(3, 14)] == other[range(1, 12)]);
    AttributedString lastDiffers("lo ", withIntent(1));
    lastDiffers.append("brave ", withIntent(2));
    lastDiffers.append("wo", withIntent(2));
    EXPECT_FALSE(text[range(3, 14)] == lastDiffers.slice());
    EXPECT_FALSE(text[range(3, 14)] == other[range(2, 14)]);
    EXPECT_FALSE(text[range(3, 14)] == text[range(4, 15)]);
    EXPECT_FALSE(text[range(0, 6)] == AttributedString("hello ", withIntent(2)).slice());

    // Attachment stand-ins, each a run of its own, compare run by run as well.
    const std::string box = "\xEF\xBF\xBC";
    AttributedString boxes(box + box, withIntent(1));
    AttributedString boxesAgain("a" + box, withIntent(1));
    boxesAgain.append(box, withIntent(1));
    EXPECT_EQ(boxes.slice(), boxesAgain[range(1, 7)]);
}

// Two versions of a text, compared run by run from either end, as a document compares its text
// before and after an edit: the same bytes from each view's own start (end), within a limit,
// with equal attributes whether or not they share storage.
TEST(AttributedStringTest, RunsAlikeAreCountedFromEitherEnd) {
    AttributedString before("head ", withIntent(1));
    before.append("old", withIntent(2));
    before.append(" tail", withIntent(1));
    // Built apart: equal attributes in their own storage; one byte longer in its middle run.
    AttributedString after("head ", withIntent(1));
    after.append("olde", withIntent(2));
    after.append(" tail", withIntent(1));
    const auto a = before.runs();
    const auto b = after.runs();
    EXPECT_EQ(a.alikeRuns(b, 100, false, 10), 1U);
    EXPECT_EQ(a.alikeRuns(b, 100, true, 10), 1U);
    // Runs reaching past the limit do not count; nor runs beyond `maxRuns`.
    EXPECT_EQ(a.alikeRuns(b, 4, false, 10), 0U);
    EXPECT_EQ(a.alikeRuns(b, 5, true, 10), 1U);
    EXPECT_EQ(a.alikeRuns(b, 4, true, 10), 0U);
    EXPECT_EQ(a.alikeRuns(b, 100, false, 0), 0U);

    // Slices at other offsets, their outer runs clipped: counted from each slice's own ends.
    AttributedString shifted("xx", withIntent(8));
    shifted.append(after);
    const auto inner = before[range(2, 11)].runs();         // "ad old ta"
    const auto shiftedInner = shifted[range(4, 14)].runs(); // "ad olde ta"
    EXPECT_EQ(inner.alikeRuns(shiftedInner, 100, false, 10), 1U);
    EXPECT_EQ(inner.alikeRuns(shiftedInner, 100, true, 10), 1U);
    EXPECT_EQ(inner.alikeRuns(shifted[range(3, 14)].runs(), 100, false, 10), 0U);
    // Alike throughout: the clipped outer runs end (start) where their slices do.
    AttributedString shiftedBefore("xx", withIntent(8));
    shiftedBefore.append(before);
    const auto same = shiftedBefore[range(4, 13)].runs(); // "ad old ta" again
    EXPECT_EQ(inner.alikeRuns(same, 9, false, 10), 3U);
    EXPECT_EQ(inner.alikeRuns(same, 9, true, 10), 3U);

    // Different attributes over the same bytes are not alike.
    AttributedString relinked("head ", withIntent(1));
    relinked.append("old", withLink("https://example.com"));
    relinked.append(" tail", withIntent(1));
    EXPECT_EQ(a.alikeRuns(relinked.runs(), 100, false, 10), 1U);
    EXPECT_EQ(a.alikeRuns(relinked.runs(), 100, true, 10), 1U);
    EXPECT_EQ(a.alikeRuns(before.runs(), 100, false, 10), 3U);
}

TEST(AttributedStringTest, AttributeEditsSplitRunsAndCoalesceBack) {
    AttributedString text("abcdef", withIntent(1));
    AttributedString copy = text;
    text.setAttribute<Foundation::LinkAttribute>(range(2, 4),
                                                 *platform::URL::fromString("https://x"));
    ASSERT_EQ(text.runs().size(), 3U);
    EXPECT_EQ(text.runs()[1].range, range(2, 4));
    EXPECT_TRUE(text.runs()[1].get<Foundation::InlinePresentationIntentAttribute>());
    // The copy made before the edit keeps its own storage.
    EXPECT_EQ(copy.runs().size(), 1U);

    text.removeAttribute<Foundation::LinkAttribute>(range(0, 6));
    EXPECT_EQ(text, copy);

    text.replaceSubrange(range(1, 5), AttributedString("XY", withIntent(2)));
    EXPECT_EQ(text.characters(), "aXYf");
    ASSERT_EQ(text.runs().size(), 3U);
    EXPECT_EQ(text.runs()[1].range, range(1, 3));
}

TEST(AttributedStringTest, IndicesConvertToUtf16AndMoveByCharacters) {
    // "a", U+1F600 (two UTF-16 units), "e" + combining acute (one character), "z".
    const AttributedString text("a\xF0\x9F\x98\x80"
                                "e\xCC\x81z");
    EXPECT_EQ(text.utf16Length(), 6U);
    EXPECT_EQ(text.utf16Offset({5}), 3U);
    EXPECT_EQ(text.index(3).offset, 5U);
    EXPECT_EQ(text.index(2).offset, 5U); // inside the surrogate pair: the next boundary
    EXPECT_EQ(text.index(99), text.endIndex());
    EXPECT_EQ(text.characterCount(), 4U);
    EXPECT_EQ(text.index(text.startIndex(), 3).offset, 8U);
    EXPECT_EQ(text.index({8}, -2).offset, 1U);
    EXPECT_EQ(text.index({8}, 10), text.endIndex());
    EXPECT_EQ(text.unicodeScalars().size(), 5U);
}

} // namespace
