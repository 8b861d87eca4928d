#include "Vellum/markdown/CharacterStarts.hpp"
#include "Vellum/markdown/PatternTokenizer.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

using vellum::CharacterStarts;

// Texts mixing ASCII with what can hold a cluster together around it: CR LF, combining marks,
// joiners, prepended marks (Arabic number sign, Malayalam reph), flags, keycaps, Hangul jamo,
// Devanagari conjuncts, controls.
TEST(CharacterStartsTest, AgreesWithSplittingTheWholeText) {
    const std::vector<std::string> pieces = {
        "a",          "$",          ":",          " ",          "\r",     "\n",
        "\t",         "\x7F",       "\u0301",     "\u200D",     "\u0600", "\u0D4E",
        "\U000110BD", "\U0001F1E6", "\U0001F1E8", "\U0001F468", "\uFE0F", "\u20E3",
        "\u1100",     "\u1161",     "\u05E9",     "\u0915",     "\u094D", "\u00A9"};
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int length = 1 + int(random() % 8);
        for (int i = 0; i < length; ++i) {
            text += pieces[random() % pieces.size()];
        }
        std::vector<std::size_t> starts;
        for (const std::string_view cluster : platform::unicode::graphemeClusters(text)) {
            starts.push_back(std::size_t(cluster.data() - text.data()));
        }
        starts.push_back(text.size());
        CharacterStarts walked(text);
        for (std::size_t at = 0; at < text.size(); ++at) {
            const bool expected = std::binary_search(starts.begin(), starts.end(), at);
            const std::size_t next = *std::upper_bound(starts.begin(), starts.end(), at);
            EXPECT_EQ(CharacterStarts(text).startsAt(at), expected) << text << " @" << at;
            EXPECT_EQ(CharacterStarts(text).after(at), next) << text << " @" << at;
            EXPECT_EQ(walked.after(at), next) << text << " @" << at;
        }
    }
}

// A formula's dollar sign held by the mark before it starts no formula.
TEST(CharacterStartsTest, TokenizerTriesOnlyCharacterStarts) {
    const vellum::PatternTokenizer tokenizer({{platform::Regex(R"(\$([^$]+)\$)"), "math"}});
    EXPECT_EQ(tokenizer.spans("\u05E9$x$").size(), 2U);
    EXPECT_EQ(tokenizer.spans("\u0600$x$").size(), 1U);
    EXPECT_EQ(tokenizer.spans("\u0600\n$x$").size(), 2U);
    EXPECT_EQ(tokenizer.spans("\u00E9\r\n$x$").size(), 2U);
}

} // namespace
