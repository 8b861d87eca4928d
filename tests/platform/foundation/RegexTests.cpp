#include "platform/foundation/Regex.hpp"

#include <gtest/gtest.h>

namespace {

using platform::Regex;
using platform::RegexError;

TEST(RegexTest, MatchAtIsAnchoredAndReportsGroups) {
    const Regex math(R"(\$(?!\$)((?:\\\$|[^$\n])+)\$)");
    const std::string subject = "x $a\\$b$ $$";
    EXPECT_FALSE(math.matchAt(subject, 0)); // a later match does not count
    const auto match = math.matchAt(subject, 2);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->whole(), (Regex::Group{2, 8}));
    EXPECT_EQ(match->group(1, subject), "a\\$b");
    EXPECT_FALSE(math.matchAt(subject, 9)); // "$$" is refused by the look-ahead
    EXPECT_EQ(math.firstMatch(subject)->whole().begin, 2U);
}

TEST(RegexTest, LazyQuantifierAndDotAllFlag) {
    const Regex block(R"((?s)\$\$(.+?)\$\$)");
    const std::string subject = "$$a\nb$$ c $$";
    const auto match = block.matchAt(subject, 0);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->group(1, subject), "a\nb");
    EXPECT_FALSE(Regex(R"(\$\$(.+?)\$\$)").matchAt(subject, 0)); // without (?s) no newline
    EXPECT_EQ(block.firstByte(), '$');
    EXPECT_FALSE(Regex("[ab]c").firstByte());
}

TEST(RegexTest, OffsetsAreUtf8AndConvertToUtf16) {
    const Regex word("(b+)");
    const std::string subject = "\xF0\x9F\x98\x80"
                                "é bb";
    const auto match = word.firstMatch(subject);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->whole().begin, 7U);
    EXPECT_EQ(Regex::utf16Offset(subject, match->whole().begin), 4U);
}

TEST(RegexTest, InvalidPatternsSubjectsAndRunawayMatchesAreErrors) {
    EXPECT_THROW(Regex("(unclosed"), RegexError);
    EXPECT_THROW((void)Regex("a").matchAt("\xC3\x28", 0), RegexError);

    // Nested repetition backtracks exponentially: the default limit lets this subject fail to
    // match, a small one stops it with an error.
    const std::string subject = std::string(16, 'a') + "b";
    EXPECT_FALSE(Regex("(a+)+$").firstMatch(subject));
    Regex::Options limited;
    limited.matchLimit = 1'000;
    EXPECT_THROW((void)Regex("(a+)+$", limited).firstMatch(subject), RegexError);
}

} // namespace
