// Breaking formulas into lines at a width, the break positions suggested inside text, and the
// stacking of extensible glyphs from their parts.

#include "Math/Parser.hpp"
#include "Math/TextBreakSuggestion.hpp"
#include "Math/TextCharacters.hpp"
#include "Math/Typesetter.hpp"
#include "Math/TypesetterAlphabets.hpp"
#include "tests/Math/BundledFonts.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace Math;
using Level = Style::Level;

namespace {

constexpr double size = 20;

class LineBreakingTest : public testing::Test {
protected:
    void SetUp() override {
        font = PlatformFont::make(Font(Font::Name::latinModern, size));
        ASSERT_TRUE(font) << "the build bundles Latin Modern";
    }

    std::shared_ptr<DisplayList> typeset(const std::string& latex, double maxWidth,
                                         Level style = Level::text) {
        const auto parsed = parseLatex(latex);
        EXPECT_TRUE(parsed) << latex;
        return parsed ? Typesetter::createLine(*finalizedAtomList(*parsed), font, style, false,
                                               maxWidth)
                      : nullptr;
    }

    // Top-level nodes by the baseline of their line (scripts sit off the baseline, so lines are
    // told apart by the text runs, fractions and other nodes at the pen's y).
    static std::map<double, double, std::greater<>> lineWidths(const DisplayList& root) {
        std::map<double, double, std::greater<>> lines;
        for (const auto& node : root.children) {
            if (dynamic_cast<const DisplayTextRun*>(node.get())) {
                auto& right = lines[node->position().y];
                right = std::max(right, node->position().x + node->width());
            }
        }
        return lines;
    }

    std::shared_ptr<const PlatformFont> font;
};

const char* const longSum = "a+b+c+d+e+f+g+h+i+j+k+l+m+n+o+p+q+r+s+t+u+v+w+x+y+z";

// The top-level nodes line by line. Scripts sit beside their nucleus, off the baseline: they
// belong to the line they are on; every other node stands on its line's baseline.
std::vector<std::vector<const DisplayNode*>> linesOf(const DisplayList& root) {
    std::vector<std::vector<const DisplayNode*>> lines;
    double baseline = 1;
    for (const auto& node : root.children) {
        const auto* list = dynamic_cast<const DisplayList*>(node.get());
        const bool script = list && list->linePosition != DisplayList::LinePosition::regular;
        if ((!script && node->position().y != baseline) || lines.empty()) {
            baseline = node->position().y;
            lines.emplace_back();
        }
        lines.back().push_back(node.get());
    }
    return lines;
}

} // namespace

TEST_F(LineBreakingTest, WithoutAWidthNothingBreaks) {
    const auto root = typeset(longSum, 0);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 1U);
    EXPECT_GT(root->width(), 500);
}

TEST_F(LineBreakingTest, LongSumsBreakNearTheWidthAndLinesStackDown) {
    const double width = 150;
    const auto root = typeset(longSum, width);
    ASSERT_TRUE(root);
    const auto lines = lineWidths(*root);
    ASSERT_GE(lines.size(), 4U);
    double previous = 1;
    for (const auto& [y, right] : lines) {
        EXPECT_LE(right, 1.2 * width) << "line at " << y;
        if (previous <= 0) {
            EXPECT_GE(previous - y, 1.2 * size - 1e-9); // at least the minimum line advance
        }
        previous = y;
    }
}

TEST_F(LineBreakingTest, SlightOverflowWaitsForACheaperBreakAhead) {
    // Before "=" the line holds one word; "=" overflows by 5 %. Breaking before "=" costs 10,
    // after it 0, and "w" still lies within 1.3 widths: the line waits for "w", but a line is
    // never drawn wider than the width, so its text is cut where it fits, before "=".
    const std::string word = "\U0001D44E\U0001D44F\U0001D450\U0001D451\U0001D452\U0001D453"
                             "\U0001D454\u210E";
    const double mu = size / 18;
    const auto& glyphFont = font->glyphFont();
    const double projected = glyphFont.shape(word).width + 5 * mu + glyphFont.shape("=").width;
    const auto lines = [&](const std::string& latex, double width) {
        std::vector<std::string> texts;
        const auto root = typeset(latex, width);
        for (const auto& node : root->children) {
            texts.push_back(dynamic_cast<const DisplayTextRun&>(*node).attributedString.text());
        }
        return texts;
    };
    EXPECT_EQ(lines("abcdefgh=w", projected / 1.05),
              (std::vector<std::string>{word, "=\U0001D464"}));
    // Beyond 20 % the break comes at once, before "=", though a break after it would be cheaper.
    EXPECT_EQ(lines("abcdefgh=,", projected / 1.21), (std::vector<std::string>{word, "=,"}));
}

TEST_F(LineBreakingTest, ScriptsStayOnTheLineOfTheirNucleus) {
    // At this width x with its square does not fit after c: both go to the next line.
    const auto root = typeset("a+b+c+x^2", 100);
    ASSERT_TRUE(root);
    bool found = false;
    for (std::size_t i = 1; i < root->children.size(); ++i) {
        const auto* script = dynamic_cast<const DisplayList*>(root->children[i].get());
        if (!script || script->linePosition != DisplayList::LinePosition::superscript) {
            continue;
        }
        found = true;
        const auto& nucleus = dynamic_cast<const DisplayTextRun&>(*root->children[i - 1]);
        EXPECT_TRUE(nucleus.attributedString.text().ends_with("\U0001D465"))
            << nucleus.attributedString.text();
        EXPECT_NEAR(script->position().x, nucleus.position().x + nucleus.width(), 1.0);
        EXPECT_GT(script->position().y, nucleus.position().y);
        EXPECT_LT(script->position().y, nucleus.position().y + size);
    }
    EXPECT_TRUE(found);
}

TEST_F(LineBreakingTest, LongRunsAreCutWhereTheTextAllowsAndNumbersStayWhole) {
    const double width = 100;
    const auto letters = typeset("abcdefghijklmnopqrstuvwxyz", width);
    ASSERT_TRUE(letters);
    ASSERT_GE(letters->children.size(), 3U);
    std::string joined;
    for (const auto& node : letters->children) {
        EXPECT_LE(node->width(), width);
        joined += dynamic_cast<const DisplayTextRun&>(*node).attributedString.text();
    }
    EXPECT_EQ(
        joined,
        parseLatex("abcdefghijklmnopqrstuvwxyz")
            ? std::string("\U0001D44E\U0001D44F\U0001D450\U0001D451\U0001D452\U0001D453\U0001D454"
                          "\u210E\U0001D456\U0001D457\U0001D458\U0001D459\U0001D45A\U0001D45B"
                          "\U0001D45C\U0001D45D\U0001D45E\U0001D45F\U0001D460\U0001D461\U0001D462"
                          "\U0001D463\U0001D464\U0001D465\U0001D466\U0001D467")
            : std::string());

    // A run far longer than a line is cut into lines that each fit, losing nothing.
    std::string many;
    std::string expected;
    for (int i = 0; i < 120; ++i) {
        many += static_cast<char>('a' + i % 7);
        expected += styleCharacters(std::string(1, static_cast<char>('a' + i % 7)),
                                    Atom::FontStyle::default_);
    }
    const auto longRun = typeset(many, width);
    ASSERT_TRUE(longRun);
    EXPECT_GE(longRun->children.size(), 10U);
    std::string rejoined;
    for (const auto& node : longRun->children) {
        EXPECT_LE(node->width(), width);
        rejoined += dynamic_cast<const DisplayTextRun&>(*node).attributedString.text();
    }
    EXPECT_EQ(rejoined, expected);

    // A number wider than the line is never split, and is not pushed down line after line.
    const auto number = typeset("x+31415926535897932384626+y", width);
    ASSERT_TRUE(number);
    std::size_t holding = 0;
    for (const auto& node : number->children) {
        const auto& text = dynamic_cast<const DisplayTextRun&>(*node).attributedString.text();
        EXPECT_FALSE(text.empty());
        holding += text.find("31415926535897932384626") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(holding, 1U);
    EXPECT_LE(number->children.size(), 3U);
}

TEST_F(LineBreakingTest, EveryLineIsDrawnWithinTheWidthUnlessOneAtomFillsIt) {
    // A line is judged by the width it is drawn with, the space between its atoms included.
    const auto repeat = [](const std::string& unit, int times) {
        std::string text;
        for (int i = 0; i < times; ++i) {
            text += unit;
        }
        return text;
    };
    const std::vector<std::string> formulas = {
        repeat("a+b=", 60),
        repeat("abcdefghij", 12),
        repeat("x_1+\\frac{a}{b}=y^2-c+", 12),
    };
    for (const auto& latex : formulas) {
        for (const double width : {90.0, 150.0, 227.0, 400.0}) {
            const auto root = typeset(latex, width);
            ASSERT_TRUE(root);
            struct Line {
                double right = 0;
                std::size_t atoms = 0;
            };
            std::vector<Line> lines;
            for (const auto& nodes : linesOf(*root)) {
                Line& line = lines.emplace_back();
                for (const DisplayNode* node : nodes) {
                    const auto* list = dynamic_cast<const DisplayList*>(node);
                    const bool script =
                        list && list->linePosition != DisplayList::LinePosition::regular;
                    line.right = std::max(line.right, node->position().x + node->width());
                    if (const auto* run = dynamic_cast<const DisplayTextRun*>(node)) {
                        line.atoms += std::max<std::size_t>(1, run->atoms.size());
                    } else if (!script) {
                        ++line.atoms;
                    }
                }
            }
            EXPECT_GE(lines.size(), 2U) << latex << " at " << width;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                if (lines[i].atoms > 1) {
                    EXPECT_LE(lines[i].right, width + 1e-6)
                        << latex << " at " << width << ", line " << i;
                }
            }
        }
    }
}

TEST_F(LineBreakingTest, CutTextKeepsItsKernsAndColours) {
    Typesetter typesetter(font, Level::text, false, false, 30);
    typesetter.currentLine.append("\U0001D44E\U0001D44F\U0001D450\U0001D451");
    typesetter.currentLine.append("\u25A1", platform::Color(0, 0, 1));
    typesetter.currentLine.setKernAfterLastCharacter(3);
    typesetter.currentLine.append("\U0001D452\U0001D453\U0001D454");
    typesetter.wrapCurrentText();
    ASSERT_GE(typesetter.displayAtoms.size(), 1U);
    // Whatever part the square ended in, it is still blue and still followed by its kern.
    std::size_t colours = 0;
    std::size_t kerns = 0;
    const auto count = [&](const AttributedLine& line) {
        for (const auto& colour : line.colors()) {
            EXPECT_EQ(colour.color, platform::Color(0, 0, 1));
            ++colours;
        }
        kerns += line.kerns().size();
    };
    for (const auto& node : typesetter.displayAtoms) {
        count(dynamic_cast<const DisplayTextRun&>(*node).attributedString);
    }
    count(typesetter.currentLine);
    EXPECT_EQ(colours, 1U);
    EXPECT_EQ(kerns, 1U);
}

TEST_F(LineBreakingTest, TallNodesOnLaterLinesKeepClearOfTheLinesAbove) {
    const auto root = typeset("a+b+c+d+e+f+g+h+\\frac{\\frac{\\frac{1}{2}}{3}}{4}", 100);
    ASSERT_TRUE(root);
    std::shared_ptr<DisplayFraction> fraction;
    double floorAbove = 0;
    for (const auto& node : root->children) {
        if (auto found = std::dynamic_pointer_cast<DisplayFraction>(node)) {
            fraction = found;
        } else if (node->position().y == 0) {
            floorAbove = std::min(floorAbove, node->position().y - node->descent());
        }
    }
    ASSERT_TRUE(fraction);
    ASSERT_LT(fraction->position().y, 0);
    EXPECT_LE(fraction->position().y + fraction->ascent(), floorAbove - 0.5 + 1e-9);
    // Its parts moved with it.
    EXPECT_NEAR(fraction->numerator->position().y, fraction->position().y + fraction->numeratorUp,
                1e-9);
}

TEST_F(LineBreakingTest, ShiftingAListMovesItsContentOnce) {
    auto glyph = std::make_shared<DisplayGlyph>(1, font->font());
    glyph->setPosition({2, 3});
    DisplayList list({glyph}, {0, 1});
    Typesetter::shiftDisplayNode(list, -10);
    EXPECT_EQ(list.position(), (Point{0, -10}));
    EXPECT_EQ(glyph->position(), (Point{2, 3})); // relative to the list, which moved
}

TEST_F(LineBreakingTest, BreakPenaltiesPreferOperatorsAndAvoidOpenings) {
    const Atom ord(AtomType::ordinary);
    const Atom rel(AtomType::relation);
    const Atom open(AtomType::open);
    const Atom close(AtomType::close);
    const Atom op(AtomType::largeOperator);
    const Atom frac(AtomType::fraction);
    EXPECT_EQ(Typesetter::breakPenalty(nullptr, &ord), 50);
    EXPECT_EQ(Typesetter::breakPenalty(&ord, &rel), 10);
    EXPECT_EQ(Typesetter::breakPenalty(&rel, &ord), 0);
    EXPECT_EQ(Typesetter::breakPenalty(&open, &ord), 100);
    EXPECT_EQ(Typesetter::breakPenalty(&op, &ord), 150);
    EXPECT_EQ(Typesetter::breakPenalty(&op, &close), 100);
    EXPECT_EQ(Typesetter::breakPenalty(&frac, &ord), 50);
    EXPECT_EQ(Typesetter::breakPenalty(&frac, &close), 100);
}

// MARK: Break suggestion

TEST(TextBreakSuggestion, NumbersAreNeverSplit) {
    EXPECT_FALSE(isValidBreakPoint("3.14", 1));  // between 3 and the point
    EXPECT_FALSE(isValidBreakPoint("3.14", 2));  // between the point and 1
    EXPECT_FALSE(isValidBreakPoint("314", 1));   // between digits
    EXPECT_FALSE(isValidBreakPoint("2 500", 1)); // at a thousands space
    EXPECT_FALSE(isValidBreakPoint("1\u202F000", 1));
    EXPECT_FALSE(isValidBreakPoint("1,000", 1));
    EXPECT_TRUE(isValidBreakPoint("3.14", 0));
    EXPECT_TRUE(isValidBreakPoint("3.14", 4));
    // Separators only count between digits.
    EXPECT_TRUE(isValidBreakPoint("a.b", 1));
    EXPECT_TRUE(isValidBreakPoint("it's", 2));
    EXPECT_TRUE(isValidBreakPoint("3.x", 1));
    EXPECT_TRUE(isValidBreakPoint("ab", 1));
}

TEST_F(LineBreakingTest, SuggestedBreaksWalkBackOutOfNumbers) {
    const auto& glyphFont = font->glyphFont();
    const auto widthOf = [&](const char* text) { return glyphFont.shape(text).width + 0.01; };
    EXPECT_FALSE(suggestBreak("abc", glyphFont, 1));
    // Between two letters the shaper's choice stands.
    EXPECT_EQ(suggestBreak("abcdef", glyphFont, widthOf("abc")), 3U);
    // Cut between 3 and the point: back to before the 3.
    EXPECT_EQ(suggestBreak("x3.14", glyphFont, widthOf("x3")), 1U);
    // One long number: nothing fits before it.
    EXPECT_EQ(suggestBreak("31415926", glyphFont, widthOf("314")), 0U);
}

TEST_F(LineBreakingTest, LinesReadFromTextShapedAheadAreTheLinesShapedAlone) {
    // A run of symbols is shaped many lines ahead and each line read from those glyphs: every
    // line must still be drawn exactly as shaping it alone draws it, kerns included.
    std::string sums;
    std::string letters;
    for (int i = 0; i < 150; ++i) {
        sums += i % 7 == 6 ? "\\alpha+\\beta-x=" : "a+b=";
        letters += static_cast<char>('a' + (i * 7) % 26);
    }
    const auto& glyphFont = font->glyphFont();
    for (const auto& latex : {sums, letters + letters + letters}) {
        const auto root = typeset(latex, 227);
        ASSERT_TRUE(root);
        std::size_t runs = 0;
        for (const auto& node : root->children) {
            const auto* run = dynamic_cast<const DisplayTextRun*>(node.get());
            if (!run) {
                continue;
            }
            ++runs;
            const auto& line = run->attributedString;
            const platform::ShapedRun alone = glyphFont.shape(line.text(), line.kerns());
            ASSERT_EQ(run->shaped.glyphs.size(), alone.glyphs.size()) << line.text();
            for (std::size_t g = 0; g < alone.glyphs.size(); ++g) {
                EXPECT_EQ(run->shaped.glyphs[g].glyph, alone.glyphs[g].glyph);
                EXPECT_EQ(run->shaped.glyphs[g].cluster, alone.glyphs[g].cluster) << line.text();
                EXPECT_EQ(run->shaped.glyphs[g].position.x, alone.glyphs[g].position.x);
                EXPECT_EQ(run->shaped.glyphs[g].advance, alone.glyphs[g].advance);
            }
            EXPECT_EQ(run->width(), alone.width) << line.text();
        }
        EXPECT_GT(runs, 10U);
    }
}

TEST_F(LineBreakingTest, BreaksFoundFromTheGlyphsAreTheShapersOwn) {
    // Texts of letters and of signs kept to letters are cut without the shaper's line-break rules;
    // the cut must be the one those rules give, for any mix of such characters and of others
    // next to which a line may end (a second sign in a row, a comma, a space, a bracket).
    const auto& glyphFont = font->glyphFont();
    const std::vector<std::string> pieces = {
        "\U0001D44E", "\U0001D44F", "x", "Q", "\u03B1", "\u210E", "=",          "<", "+",
        "\u2212",     "\u00B1",     ",", " ", "(",      ")",      "\U0001D7CF", "-", "\u2211"};
    std::uint32_t seed = 7;
    const auto next = [&seed] {
        seed = seed * 1103515245U + 12345U;
        return seed >> 8;
    };
    for (int round = 0; round < 300; ++round) {
        std::string text;
        // Most texts draw from the characters kept together only, the rest from all of them.
        const std::size_t kinds = round % 3 == 0 ? pieces.size() : 10;
        const std::size_t length = 1 + next() % 24;
        for (std::size_t i = 0; i < length; ++i) {
            text += pieces[next() % kinds];
        }
        std::vector<platform::ExtraSpace> kerns;
        for (std::size_t unit = 0; unit < 2 * length; unit += 1 + next() % 4) {
            kerns.push_back({unit, static_cast<double>(next() % 5)});
        }
        const platform::ShapedRun shaped = glyphFont.shape(text, kerns);
        for (double width = -1; width < shaped.width + 20; width += 3.7) {
            // The shaper's rules, run over the same glyphs, through the walk out of numbers.
            const std::size_t units = glyphFont.suggestLineBreak(text, width, &shaped);
            std::optional<std::size_t> expected;
            if (units > 0) {
                std::size_t at = 0;
                for (std::size_t counted = 0; at < text.size() && counted < units;) {
                    counted += decodeScalar(text, at) > 0xFFFF ? 2 : 1;
                }
                expected = isValidBreakPoint(text, at) ? std::optional(at) : std::nullopt;
            }
            const auto found = suggestBreak(text, glyphFont, width, &shaped);
            if (expected) {
                EXPECT_EQ(found, expected) << text << " at " << width;
            } else if (units == 0) {
                EXPECT_FALSE(found) << text << " at " << width;
            }
        }
    }
}

// MARK: Extensible glyphs

TEST_F(LineBreakingTest, AssemblyPartsOverlapAndSpreadToTheWantedHeight) {
    // At 10 pt the minimum connector overlap is small enough for the parts below.
    const auto ten = PlatformFont::make(Font(Font::Name::latinModern, 10));
    ASSERT_TRUE(ten);
    Typesetter typesetter(ten, Level::text, false, false, 0);
    const double m = ten->metrics().minConnectorOverlap();
    ASSERT_LT(m, 0.25);
    const std::vector<FontMetrics::GlyphPart> parts{
        {1, 6, 0, 2, false}, // bottom
        {2, 3, 1.5, 1.5, true},
        {3, 6, 2, 0, false}, // top
    };
    // Without extenders: bottom and top overlap by the shorter connector.
    const auto exact = typesetter.constructGlyphParts(parts, 10);
    ASSERT_TRUE(exact);
    EXPECT_EQ(exact->glyphs, (std::vector<platform::GlyphID>{1, 3}));
    EXPECT_EQ(exact->offsets, (std::vector<double>{0, 4}));
    EXPECT_EQ(exact->height, 10);
    // A little taller: the top moves up, the bottom stays.
    const auto spread = typesetter.constructGlyphParts(parts, 11);
    ASSERT_TRUE(spread);
    EXPECT_EQ(spread->offsets, (std::vector<double>{0, 5}));
    EXPECT_DOUBLE_EQ(spread->height, 11);
    // Twice as tall: extenders come in until the overlaps can absorb the rest.
    const auto tall = typesetter.constructGlyphParts(parts, 20);
    ASSERT_TRUE(tall);
    ASSERT_GE(tall->glyphs.size(), 4U);
    EXPECT_EQ(tall->glyphs.front(), 1);
    EXPECT_EQ(tall->glyphs.back(), 3);
    EXPECT_DOUBLE_EQ(tall->height, 20);
    EXPECT_EQ(tall->offsets.front(), 0);
    for (std::size_t i = 1; i < tall->offsets.size(); ++i) {
        const double step = tall->offsets[i] - tall->offsets[i - 1];
        const double previousAdvance =
            parts[std::min<std::size_t>(tall->glyphs[i - 1] - 1, 2)].fullAdvance;
        EXPECT_LE(step, previousAdvance - m + 1e-9); // parts still overlap by the minimum
    }
}

TEST_F(LineBreakingTest, AssembliesThatCannotGrowEndWithinTheBound) {
    Typesetter typesetter(font, Level::text, false, false, 0);
    // An extender with no advance never makes the assembly taller.
    const std::vector<FontMetrics::GlyphPart> stuck{
        {1, 6, 0, 0, false}, {2, 0, 0, 0, true}, {3, 6, 0, 0, false}};
    const auto result = typesetter.constructGlyphParts(stuck, 100);
    ASSERT_TRUE(result);
    EXPECT_LE(result->glyphs.size(), Typesetter::maxAssemblyGlyphs);
    EXPECT_LT(result->height, 100);
    // Without extenders there is one assembly, however tall the request.
    const std::vector<FontMetrics::GlyphPart> fixed{{1, 6, 0, 1, false}, {3, 6, 1, 0, false}};
    const auto single = typesetter.constructGlyphParts(fixed, 1e9);
    ASSERT_TRUE(single);
    EXPECT_EQ(single->glyphs.size(), 2U);
    EXPECT_FALSE(typesetter.constructGlyphParts({}, 10));
    EXPECT_FALSE(typesetter.constructGlyphParts(fixed, std::nan("")));
}

TEST_F(LineBreakingTest, VariantsAreChosenByHeight) {
    Typesetter typesetter(font, Level::text, false, false, 0);
    const auto paren = font->glyphFont().glyphs(u"(")->front();
    const auto variants = font->metrics().verticalVariants(paren);
    ASSERT_GE(variants.size(), 3U);
    EXPECT_EQ(typesetter.findGlyphForHeight(paren, 0).glyph, variants.front());
    const auto second = typesetter.findGlyphForHeight(variants[1], 0);
    EXPECT_EQ(typesetter.findGlyphForHeight(paren, second.ascent + second.descent).glyph,
              variants[1]);
    EXPECT_EQ(typesetter.findGlyphForHeight(paren, 1e6).glyph, variants.back());
}

TEST_F(LineBreakingTest, AGrowingLineMeasuresAsIfShapedWhole) {
    // The pending line is shaped again only at its end as atoms join it; every width must still
    // be the one shaping the whole line gives, through scripts and texts that differ early.
    const auto& glyphFont = font->glyphFont();
    const std::vector<std::string> pieces = {
        "\U0001D44E", "+",  "\U0001D44F", "=",      "ff",         "fi", "1,000", "\u2211",
        "x",          "AV", "To",         "\u03B1", "\U0001D465", "(",  ")",     " "};
    std::string text;
    std::string previousText;
    platform::ShapedRun previous;
    for (std::size_t i = 0; i < 200; ++i) {
        text += pieces[(i * 7 + i / 5) % pieces.size()];
        const platform::ShapedRun grown = glyphFont.reshapeEnd(previous, previousText, text);
        const platform::ShapedRun whole = glyphFont.shape(text);
        ASSERT_EQ(grown.glyphs.size(), whole.glyphs.size()) << text;
        for (std::size_t g = 0; g < whole.glyphs.size(); ++g) {
            EXPECT_EQ(grown.glyphs[g].glyph, whole.glyphs[g].glyph);
            EXPECT_EQ(grown.glyphs[g].cluster, whole.glyphs[g].cluster);
            EXPECT_EQ(grown.glyphs[g].advance, whole.glyphs[g].advance);
        }
        EXPECT_EQ(grown.width, whole.width) << text;
        previous = grown;
        previousText = text;
        // Now and then the text changes well before its end, as a new line's text does.
        if (i % 37 == 36) {
            std::size_t cut = text.size() / 2;
            while (cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
                ++cut;
            }
            text = text.substr(cut);
        }
    }
}

namespace {

class BrokenLinesInEachFont : public testing::TestWithParam<Font::Name> {};

} // namespace

TEST_P(BrokenLinesInEachFont, NoLineReachesIntoTheLinesAbove) {
    const auto font = PlatformFont::make(Font(GetParam(), size));
    ASSERT_TRUE(font);
    // Each formula puts something taller than the text before it on the lines it breaks into.
    const std::vector<std::string> formulas = {
        "a+b+c+d+\\sum_{i=1}^{n} x_i+e+f+g+\\prod_{j=1}^{m}y_j+h+k+\\lim_{n\\to\\infty}a_n",
        "a+b+c+d+\\int_0^1 f(x)\\,dx+e+f+g+\\oint_C F\\cdot dr+h+\\iint_D g",
        "a+b+c+d+\\left(\\frac{1}{1+\\frac{1}{x}}\\right)+e+f+g+"
        "\\left[\\sqrt{\\frac{a}{b}}\\right]+h",
        "a+b+c+d+e^{x^{y^{z}}}+f+g+h+k_{i_{j_{l}}}+m+n+\\frac{\\frac{1}{2}}{3}+p",
        "x=\\bigcup_{k=1}^{\\infty}A_k+\\bigoplus_{i}V_i+"
        "\\sum_{j}\\int_{-\\infty}^{\\infty}e^{-t^2}dt",
    };
    for (const Level style : {Level::display, Level::text}) {
        for (const auto& latex : formulas) {
            for (const double width : {60.0, 110.0, 170.0, 260.0}) {
                const auto parsed = parseLatex(latex);
                ASSERT_TRUE(parsed) << latex;
                const auto finalized = finalizedAtomList(*parsed);
                const auto root = Typesetter::createLine(*finalized, font, style, false, width);
                const auto whole = Typesetter::createLine(*finalized, font, style, false, 0);
                ASSERT_TRUE(root && whole);
                const auto lines = linesOf(*root);
                EXPECT_GE(lines.size(), whole->width() > 1.3 * width ? 2U : 1U)
                    << latex << " at " << width;
                double floorAbove = std::numeric_limits<double>::infinity();
                for (std::size_t i = 0; i < lines.size(); ++i) {
                    double top = -std::numeric_limits<double>::infinity();
                    double bottom = std::numeric_limits<double>::infinity();
                    for (const DisplayNode* node : lines[i]) {
                        top = std::max(top, node->position().y + node->ascent());
                        bottom = std::min(bottom, node->position().y - node->descent());
                    }
                    EXPECT_LT(top, floorAbove) << latex << " at " << width << ", line " << i;
                    floorAbove = std::min(floorAbove, bottom);
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fonts, BrokenLinesInEachFont,
                         testing::ValuesIn(moss_test::bundledFontNames()), moss_test::fontTestName);
