#include "platform/foundation/Unicode.hpp"

#include <array>
#include <gtest/gtest.h>
#include <thread>

namespace unicode = platform::unicode;

namespace {

std::vector<std::string> clusters(std::string_view text) {
    std::vector<std::string> out;
    for (const auto cluster : unicode::graphemeClusters(text)) {
        out.emplace_back(cluster);
    }
    return out;
}

} // namespace

TEST(UnicodeGraphemes, AsciiSplitsPerByteButKeepsCrLfTogether) {
    EXPECT_EQ(clusters("ab\r\nc"), (std::vector<std::string>{"a", "b", "\r\n", "c"}));
    EXPECT_TRUE(clusters("").empty());
}

TEST(UnicodeGraphemes, CombiningMarksEmojiAndHangulStayWhole) {
    // e + combining acute, a family emoji joined by ZWJ, a flag, and a decomposed Hangul syllable.
    const std::string text = "e\u0301x\U0001F468\u200D\U0001F469\u200D\U0001F467"
                             "\U0001F1EB\U0001F1F7\u1100\u1161";
    EXPECT_EQ(clusters(text), (std::vector<std::string>{
                                  "e\u0301", "x", "\U0001F468\u200D\U0001F469\u200D\U0001F467",
                                  "\U0001F1EB\U0001F1F7", "\u1100\u1161"}));
}

TEST(UnicodeGraphemes, MalformedBytesNeitherCrashNorLoseBytes) {
    const std::string text = "a\xFF\xC3(b\xE2\x82\u00E9";
    std::string joined;
    for (const auto cluster : unicode::graphemeClusters(text)) {
        joined += cluster;
    }
    EXPECT_EQ(joined, text);
}

TEST(UnicodeUtf8, ValidationRepairAndScalars) {
    EXPECT_TRUE(unicode::isValidUtf8("h\u00E9\U0001F600"));
    EXPECT_FALSE(unicode::isValidUtf8("\xC0\xAF"));         // overlong "/"
    EXPECT_FALSE(unicode::isValidUtf8("\xED\xA0\x80"));     // a surrogate
    EXPECT_FALSE(unicode::isValidUtf8("\xF4\x90\x80\x80")); // past U+10FFFF
    EXPECT_EQ(unicode::makeValidUtf8("a\xFF"
                                     "b"),
              "a\uFFFD"
              "b");
    // A truncated sequence is one replacement; the byte after it starts afresh.
    EXPECT_EQ(unicode::makeValidUtf8("\xE2\x82"
                                     "A"),
              "\uFFFD"
              "A");
    EXPECT_EQ(unicode::scalars("a\u00E9\U0001F600"), (std::u32string{U'a', 0xE9, 0x1F600}));
    EXPECT_EQ(unicode::utf8(U"\u00E9x"), "\u00E9x");
    EXPECT_EQ(unicode::utf8(char32_t{0xD800}), "\uFFFD");
}

TEST(UnicodeNormalization, CanonicalEquivalence) {
    EXPECT_EQ(unicode::nfc("e\u0301"), "\u00E9");
    EXPECT_EQ(unicode::nfd("\u00E9"), "e\u0301");
    EXPECT_TRUE(unicode::canonicallyEquivalent("caf\u00E9", "cafe\u0301"));
    EXPECT_TRUE(unicode::canonicallyEquivalent("\u212B", "\u00C5")); // angstrom sign
    EXPECT_TRUE(unicode::canonicallyEquivalent("\u037E", ";"));      // Greek question mark
    EXPECT_FALSE(unicode::canonicallyEquivalent("\uFB01", "fi"));    // only compatibility
    EXPECT_TRUE(unicode::isNfc("\u00E9"));
    EXPECT_FALSE(unicode::isNfc("e\u0301"));
}

TEST(UnicodeCase, PropertiesOfCharacters) {
    EXPECT_TRUE(unicode::isUppercase("A"));
    EXPECT_TRUE(unicode::isUppercase("\u00C5"));
    EXPECT_TRUE(unicode::isUppercase("A\u030A")); // decomposed Å
    EXPECT_TRUE(unicode::isLowercase("e\u0301"));
    EXPECT_TRUE(unicode::isLowercase("\u03B1"));
    EXPECT_FALSE(unicode::isUppercase("1"));
    EXPECT_FALSE(unicode::isLowercase("1"));
    EXPECT_FALSE(unicode::isCased("\u2135")); // alef symbol
    EXPECT_FALSE(unicode::isUppercase("\u05D0"));
    EXPECT_EQ(unicode::uppercased("stra\u00DFe"), "STRASSE");
    EXPECT_EQ(unicode::lowercased("\u00C9COLE"), "\u00E9cole");
}

TEST(UnicodeWhitespace, TrimsSpacesAndLineBreaksOfEveryKind) {
    EXPECT_EQ(unicode::trimmingWhitespaceAndNewlines(" \t\n x y \u00A0\u2029\r\n"), "x y");
    EXPECT_EQ(unicode::trimmingWhitespaceAndNewlines("\u3000"), "");
    EXPECT_EQ(unicode::trimmingWhitespaceAndNewlines("x"), "x");
    EXPECT_FALSE(unicode::isWhitespaceOrNewline(U'\u200B')); // zero-width space is a format char
}

TEST(UnicodeGraphemes, SplitsFromManyThreadsAtOnce) {
    const std::string text = "na\u0308ive \U0001F1E9\U0001F1EA e\u0301\u0301 \u0915\u094D\u0937";
    const auto expected = clusters(text);
    std::vector<std::thread> threads;
    std::array<bool, 8> same{};
    for (std::size_t t = 0; t < same.size(); ++t) {
        threads.emplace_back([&, t] {
            bool ok = true;
            for (int i = 0; i < 200; ++i) {
                ok = ok && clusters(text) == expected;
            }
            same[t] = ok;
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const bool ok : same) {
        EXPECT_TRUE(ok);
    }
}

TEST(UnicodeWords, IdentifiersNumbersAndContractionsAreOneWord) {
    using Range = std::pair<std::size_t, std::size_t>;
    // An underscore joins, as do the apostrophe of a contraction and the point of a number.
    const std::string text = "use wasm_bindgen, can't 3.14";
    EXPECT_EQ(unicode::wordRange(text, 6), (Range{4, 16}));
    EXPECT_EQ(unicode::wordRange(text, 13), (Range{4, 16}));
    EXPECT_EQ(unicode::wordRange(text, 20), (Range{18, 23}));
    EXPECT_EQ(unicode::wordRange(text, 25), (Range{24, 28}));
    // Between two words: the comma and the space together.
    EXPECT_EQ(unicode::wordRange(text, 16), (Range{16, 18}));
    EXPECT_EQ(unicode::wordRange(text, 28), (Range{28, 28}));
    EXPECT_EQ(unicode::wordRange(text, 99), (Range{28, 28}));

    EXPECT_EQ(unicode::nextWordBoundary(text, 4, true), 16U);
    EXPECT_EQ(unicode::nextWordBoundary(text, 10, true), 16U);
    EXPECT_EQ(unicode::nextWordBoundary(text, 16, true), 23U);
    EXPECT_EQ(unicode::nextWordBoundary(text, 28, true), 28U);
    EXPECT_EQ(unicode::nextWordBoundary(text, 18, false), 4U);
    EXPECT_EQ(unicode::nextWordBoundary(text, 10, false), 4U);
    EXPECT_EQ(unicode::nextWordBoundary(text, 3, false), 0U);
    EXPECT_EQ(unicode::nextWordBoundary("  ", 1, false), 0U);
    EXPECT_EQ(unicode::nextWordBoundary("  ", 0, true), 2U);
    EXPECT_EQ(unicode::wordRange("", 0), (Range{0, 0}));

    // Indexes count UTF-16 units: the emoji before the word takes two.
    EXPECT_EQ(unicode::wordRange("\U0001F600 snake_case", 5), (Range{3, 13}));
}
