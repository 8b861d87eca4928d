// The break opportunities found without Pango against Pango's own analysis of the same text: any
// difference would move a line break of a word-shaped paragraph away from where Pango breaks it.

#include "platform/text/LineBreaks.hpp"
#include "platform/text/TextLayout.hpp"
#include "platform/text/TextLayoutInternal.hpp"
#include "tests/platform/text/PangoLineBreaks.hpp"
#include "tests/support/FileContents.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace platform {
namespace {

using moss_test::pangoLineBreaks;
using text_internal::asciiLineBreaks;

const std::filesystem::path kFixtures = MOSS_TEXT_FIXTURES;

/// `text` with its controls shown, for a failure's message.
std::string shown(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte < 0x20 || byte >= 0x7F ? "\\" + std::to_string(byte) + " " : std::string(1, c);
    }
    return out;
}

/// Compares the two on `text`; true when `text` was ASCII and so compared.
bool expectPangoBreaks(const std::string& text) {
    std::vector<std::size_t> breaks;
    if (!asciiLineBreaks(text, breaks)) {
        return false;
    }
    EXPECT_EQ(breaks, pangoLineBreaks(text)) << shown(text);
    return true;
}

/// The paragraphs of a document (text between blank lines), and the document whole.
int expectPangoBreaksInDocument(const std::string& document) {
    int compared = expectPangoBreaks(document) ? 1 : 0;
    std::size_t start = 0;
    while (start < document.size()) {
        std::size_t end = document.find("\n\n", start);
        end = end == std::string::npos ? document.size() : end;
        compared += expectPangoBreaks(document.substr(start, end - start)) ? 1 : 0;
        start = end + 2;
    }
    return compared;
}

TEST(LineBreaks, SameAsPangoInTheDocuments) {
    const std::string manual = moss_test::readFile(kFixtures / ".." / ".." / ".." / "bench" /
                                                   "Vellum" / "blocks" / "TechnicalManual.md");
    ASSERT_GT(manual.size(), 100000U);
    EXPECT_GT(expectPangoBreaksInDocument(manual), 400);
    const std::string everyBlock =
        moss_test::readFile(kFixtures / ".." / "vellum-documents" / "every-block.md");
    ASSERT_FALSE(everyBlock.empty());
    EXPECT_GT(expectPangoBreaksInDocument(everyBlock), 20);
}

TEST(LineBreaks, SameAsPangoInGeneratedText) {
    // Letters, figures, spaces, tabs, line feeds, every punctuation character and boxes, with
    // now and then any ASCII character at all (controls, carriage returns, form feeds), in short
    // strings where every pair and triple of classes meets and in longer ones where numbers,
    // brackets and spaces chain.
    std::vector<std::string> alphabet = {"a", "Z", "0", "9", " ", "\t", "\n", "\xEF\xBF\xBC"};
    for (char c = '!'; c <= '~'; ++c) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            alphabet.emplace_back(1, c);
        }
    }
    std::mt19937 random(20261208);
    int compared = 0;
    for (int n = 0; n < 6000; ++n) {
        const std::size_t length = 1 + random() % (n % 3 == 0 ? 40 : 8);
        const unsigned anyCharacter = (n % 4) * 5; // percent
        std::string text;
        for (std::size_t i = 0; i < length; ++i) {
            text += random() % 100 < anyCharacter
                        ? std::string(1, static_cast<char>(1 + random() % 127))
                        : alphabet[random() % alphabet.size()];
        }
        compared += expectPangoBreaks(text) ? 1 : 0;
        if (HasFailure()) {
            return; // one message is enough
        }
    }
    EXPECT_EQ(compared, 6000);
}

TEST(LineBreaks, LeavesToPangoWhatItDoesNotKnow) {
    // Characters past ASCII but a box's, the start of one, and a null character (where Pango's
    // analysis ends).
    for (const std::string& text : {std::string("na\xc3\xafve"), std::string("a\xEF\xBF\xBD"),
                                    std::string("a\xEF\xBF"), std::string("a\0b", 3)}) {
        std::vector<std::size_t> breaks{7};
        EXPECT_FALSE(asciiLineBreaks(text, breaks)) << shown(text);
        EXPECT_EQ(breaks, std::vector<std::size_t>{7});
    }
    std::vector<std::size_t> none;
    EXPECT_TRUE(asciiLineBreaks("", none));
    EXPECT_TRUE(none.empty());
}

TEST(LineBreaks, AnAsciiTailAfterOtherTextBreaksAsPangoBreaksTheWhole) {
    // Other scripts, marks, joiners and spaces that forbid or force a break, in front of and
    // among the letters, spaces, brackets, quotes, hyphens and boxes of the tail.
    const std::vector<std::string> alphabet = {"a",
                                               "Z",
                                               " ",
                                               " ",
                                               "\xEF\xBF\xBC",
                                               "(",
                                               "\"",
                                               "-",
                                               "1",
                                               ".",
                                               ")",
                                               "!",
                                               "/",
                                               "\n",
                                               "\t",
                                               "\u05E9\u05DC",
                                               "\u05BE",
                                               "\u00E9",
                                               "\u0301",
                                               "\u00A0",
                                               "\u200B",
                                               "\u4E2D",
                                               "\U0001F600"};
    std::mt19937 random(20261209);
    int split = 0;
    for (int n = 0; n < 8000; ++n) {
        std::string text;
        for (std::size_t i = 0, length = 2 + random() % 20; i < length; ++i) {
            // Past the first pieces: ASCII and boxes, letters, spaces and boxes above all.
            text += alphabet[random() % (i < 4 ? alphabet.size() : random() % 2 ? 5 : 15)];
        }
        std::vector<std::size_t> breaks;
        if (!text_internal::lineBreaksWithAsciiTail(text, breaks)) {
            continue;
        }
        ++split;
        ASSERT_EQ(breaks, pangoLineBreaks(text)) << shown(text);
    }
    EXPECT_GT(split, 1000);
    // A null character, where Pango's analysis ends, leaves the whole text to it.
    std::vector<std::size_t> breaks;
    EXPECT_FALSE(text_internal::lineBreaksWithAsciiTail(std::string("\u05E9\0 a b c", 9), breaks));
    EXPECT_FALSE(text_internal::lineBreaksWithAsciiTail(std::string("\u05E9 a b\0 c", 9), breaks));
    EXPECT_TRUE(breaks.empty());
}

TEST(LineBreaks, WordsOfASharedWordShapedLayoutAreFoundOnceForAllThreads) {
    // The analysis behind word ranges is made when first asked, from whichever thread asks.
    const std::string text = "Words, words (and 3.5 more) words; the end.";
    const TextLayout layout{StyledText(text), ParagraphStyle{.width = 120}};
    ASSERT_TRUE(text_internal::isWordShaped(layout));
    ASSERT_GT(layout.lines().size(), 1U);
    std::vector<std::vector<CharacterRange>> seen(4);
    std::vector<std::thread> threads;
    for (auto& ranges : seen) {
        threads.emplace_back([&layout, &ranges, &text] {
            for (std::size_t i = 0; i < text.size(); ++i) {
                ranges.push_back(layout.wordRange(i));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const auto& ranges : seen) {
        EXPECT_EQ(ranges, seen.front());
    }
    EXPECT_EQ(seen.front()[2], (CharacterRange{0, 5}));
    EXPECT_EQ(seen.front()[15], (CharacterRange{14, 17}));
    EXPECT_EQ(layout.nextWordBoundary(22, true), 26U);
}

} // namespace
} // namespace platform
