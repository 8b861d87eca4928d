#include "platform/foundation/Regex.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

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

TEST(RegexTest, AnchoredMatchesAgreeWithTheEngineWhateverThePatternOpensWith) {
    // matchAt refuses a position that lacks the characters a pattern opens with before asking
    // the engine. Every pattern here is also compiled inside a group, which hides its opening and
    // leaves each attempt to the engine: both must agree at every position of every short
    // subject. The patterns open with what may look literal and is not (repeated, alternated,
    // caseless, escaped letters, classes, flags, quantifiers behind comments or empty quoting).
    const std::vector<std::string> patterns = {R"((?s)\$\$(.+?)\$\$)",
                                               R"(\$(?!\$)((?:\\\$|[^$\n])+)\$)",
                                               "ab?c",
                                               "ab*",
                                               "a+b",
                                               "ab{2}",
                                               "ab{0}",
                                               "ba|b",
                                               "(?s)a.b",
                                               "(?m)a$",
                                               "(?i)ab",
                                               R"(\Qa$\E)",
                                               R"(a\b)",
                                               R"(a\d)",
                                               "K",
                                               "a\\$",
                                               "[a$]b",
                                               "$",
                                               "\\$ab",
                                               "(?:ab)?a",
                                               R"(\A\$a)",
                                               "a(?=b)",
                                               R"(a(?#c)?b)",
                                               R"(a\Q\E*b)",
                                               R"(a\E*b)",
                                               R"(a\Q\E+)",
                                               R"(a(?#c){2})",
                                               R"(a(?#x)(?#y)?b)",
                                               R"(a\Q\E\E?b)",
                                               R"((a)(b)?)"};
    const std::vector<std::string> pieces = {"a", "b", "$", "K", "k", "\n", "\u212A"};
    std::vector<std::string> subjects = {""};
    for (std::size_t from = 0, length = 0; length < 4; ++length) {
        const std::size_t to = subjects.size();
        for (std::size_t s = from; s < to; ++s) {
            for (const std::string& piece : pieces) {
                subjects.push_back(subjects[s] + piece);
            }
        }
        from = to;
    }
    // One match taken into again and again, across patterns of more and fewer groups, holds
    // what a match made anew holds.
    Regex::Match reused;
    for (const bool caseless : {false, true}) {
        Regex::Options options;
        options.caseInsensitive = caseless;
        for (const std::string& pattern : patterns) {
            const Regex regex(pattern, options);
            const Regex engine("(?:" + pattern + ")", options);
            for (const std::string& subject : subjects) {
                for (std::size_t at = 0; at <= subject.size(); ++at) {
                    if (at < subject.size() && (subject[at] & 0xC0) == 0x80) {
                        continue; // inside a character
                    }
                    const auto match = regex.matchAt(subject, at, Regex::Subject::validUTF8);
                    const auto expected = engine.matchAt(subject, at, Regex::Subject::validUTF8);
                    ASSERT_EQ(match.has_value(), expected.has_value())
                        << pattern << " at " << at << " of " << subject
                        << (caseless ? " (caseless)" : "");
                    ASSERT_EQ(regex.matchAt(subject, at, reused, Regex::Subject::validUTF8),
                              match.has_value());
                    if (match) {
                        EXPECT_EQ(match->groups, expected->groups) << pattern << " in " << subject;
                        EXPECT_EQ(reused.groups, match->groups) << pattern << " in " << subject;
                    }
                }
            }
        }
    }
}

} // namespace
