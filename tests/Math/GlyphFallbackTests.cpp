// Symbols a font lacks: drawn in a form the font has, or from another bundled font, never as the
// missing glyph.

#include "Math/GlyphFallback.hpp"
#include "Math/NameTables.hpp"
#include "Math/Parser.hpp"
#include "Math/SymbolTable.hpp"
#include "Math/Typesetter.hpp"
#include "tests/Math/BundledFonts.hpp"

#include <cctype>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

using namespace Math;
using Level = Style::Level;

namespace {

constexpr double size = 20;

struct DrawnGlyph {
    Font font;
    platform::GlyphID glyph = 0;
};

// Every glyph the tree draws, with the font it is drawn in.
void collectGlyphs(const DisplayNode* node, std::vector<DrawnGlyph>& glyphs) {
    if (!node) {
        return;
    }
    if (const auto* list = dynamic_cast<const DisplayList*>(node)) {
        for (const auto& child : list->children) {
            collectGlyphs(child.get(), glyphs);
        }
    } else if (const auto* run = dynamic_cast<const DisplayTextRun*>(node)) {
        for (const auto& glyph : run->shaped.glyphs) {
            glyphs.push_back({run->font, glyph.glyph});
        }
    } else if (const auto* glyph = dynamic_cast<const DisplayGlyph*>(node)) {
        glyphs.push_back({glyph->font, glyph->glyph});
    } else if (const auto* stack = dynamic_cast<const DisplayGlyphRun*>(node)) {
        for (const auto part : stack->glyphs) {
            glyphs.push_back({stack->font, part});
        }
    } else if (const auto* fraction = dynamic_cast<const DisplayFraction*>(node)) {
        collectGlyphs(fraction->numerator.get(), glyphs);
        collectGlyphs(fraction->denominator.get(), glyphs);
    } else if (const auto* radical = dynamic_cast<const DisplayRadical*>(node)) {
        collectGlyphs(radical->radicalGlyph.get(), glyphs);
        collectGlyphs(radical->radicand.get(), glyphs);
        collectGlyphs(radical->degree.get(), glyphs);
    } else if (const auto* accent = dynamic_cast<const DisplayAccent*>(node)) {
        collectGlyphs(accent->accent.get(), glyphs);
        collectGlyphs(accent->accentee.get(), glyphs);
    } else if (const auto* line = dynamic_cast<const DisplayLine*>(node)) {
        collectGlyphs(line->inner.get(), glyphs);
    } else if (const auto* op = dynamic_cast<const DisplayLargeOperator*>(node)) {
        collectGlyphs(op->nucleus.get(), glyphs);
        collectGlyphs(op->upperLimit.get(), glyphs);
        collectGlyphs(op->lowerLimit.get(), glyphs);
    }
}

std::shared_ptr<DisplayList> typeset(const AtomList& list, const Font::Name& name, Level style,
                                     double maxWidth = 0) {
    const auto font = PlatformFont::make(Font(name, size));
    EXPECT_TRUE(font) << name.rawValue();
    return font ? Typesetter::createLine(*finalizedAtomList(list), font, style, false, maxWidth)
                : nullptr;
}

std::shared_ptr<DisplayList> typeset(const std::string& latex, const Font::Name& name,
                                     Level style = Level::display) {
    const auto parsed = parseLatex(latex);
    EXPECT_TRUE(parsed) << latex;
    return parsed ? typeset(*parsed, name, style) : nullptr;
}

std::vector<DrawnGlyph> glyphsOf(const std::shared_ptr<DisplayList>& root) {
    std::vector<DrawnGlyph> glyphs;
    collectGlyphs(root.get(), glyphs);
    return glyphs;
}

// The command that writes a delimiter or accent name.
std::string command(const std::string& name) {
    if (!name.empty() && std::isalpha(static_cast<unsigned char>(name.front()))) {
        return "\\" + name + " ";
    }
    if (name == "||") {
        return "\\|";
    }
    return name == "{" || name == "}" || name == "\\" ? "\\" + name : name;
}

// x, the atom (with a subscript and a superscript when it takes scripts: large operators then
// have limits), y.
std::shared_ptr<AtomList> besideLetters(const Atom& symbol) {
    const auto letter = [](const char* nucleus) {
        return std::make_shared<Atom>(AtomType::variable, nucleus);
    };
    auto atom = symbol.copy();
    if (atom->type != AtomType::space && atom->type != AtomType::style) {
        atom->setSubscript(std::make_shared<AtomList>(
            std::vector<std::shared_ptr<Atom>>{std::make_shared<Atom>(AtomType::variable, "i")}));
        atom->setSuperscript(std::make_shared<AtomList>(
            std::vector<std::shared_ptr<Atom>>{std::make_shared<Atom>(AtomType::variable, "n")}));
    }
    return std::make_shared<AtomList>(
        std::vector<std::shared_ptr<Atom>>{letter("x"), std::move(atom), letter("y")});
}

class EachBundledFont : public testing::TestWithParam<Font::Name> {};

} // namespace

TEST_P(EachBundledFont, EverySymbolAndDelimiterIsDrawnWithGlyphsAFontHas) {
    std::vector<std::shared_ptr<AtomList>> lists;
    symbolTable().withReadLock([&lists](const SymbolDictionary& table) {
        for (const auto& [name, atom] : table) {
            lists.push_back(besideLetters(*atom));
        }
    });
    std::vector<std::string> formulas{"y'+f''(x)+g^{\\prime}'", "+'a"};
    for (int c = 33; c < 127; ++c) {
        const std::string latex = "x" + std::string(1, static_cast<char>(c)) + "y";
        if (parseLatex(latex)) {
            formulas.push_back(latex);
        }
    }
    // Each delimiter beside short content (a glyph), tall content (a larger variant) and content
    // taller than any variant (an assembly, where the font has one).
    for (const auto& [name, delimiter] : delimiterNames()) {
        for (const char* content :
             {"x", "\\frac{\\frac{a}{b}}{\\frac{c}{d}}",
              "\\begin{matrix}1\\\\2\\\\3\\\\4\\\\5\\\\6\\\\7\\\\8\\\\9\\end{matrix}"}) {
            formulas.push_back("\\left" + command(name) + content + "\\right" + command(name));
        }
    }
    for (const auto& [name, mark] : accentNames()) {
        formulas.push_back(command(name) + "{x}" + command(name) + "{xyz}");
    }
    for (const auto& latex : formulas) {
        const auto parsed = parseLatex(latex);
        ASSERT_TRUE(parsed) << latex;
        lists.push_back(parsed);
    }
    for (const auto& list : lists) {
        // In display style, and in text style broken into lines: a formula given a width sets
        // accents over single letters as text.
        for (const auto& [style, width] : {std::pair{Level::display, 0.0}, {Level::text, 40.0}}) {
            const auto glyphs = glyphsOf(typeset(*list, GetParam(), style, width));
            EXPECT_FALSE(glyphs.empty()) << list->description();
            for (const auto& drawn : glyphs) {
                EXPECT_NE(drawn.glyph, 0) << list->description() << " draws a missing glyph of "
                                          << drawn.font.name.rawValue();
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fonts, EachBundledFont, testing::ValuesIn(moss_test::bundledFontNames()),
                         moss_test::fontTestName);

TEST(GlyphFallback, AFontsOwnEquivalentComesBeforeAnotherFont) {
    // Euler is upright: its symbols are the plain ones, not the math-italic ones (its one gap,
    // the rho symbol, comes from another font).
    for (const auto& drawn :
         glyphsOf(typeset("\\epsilon\\vartheta\\phi\\varpi\\partial", Font::Name::euler))) {
        EXPECT_EQ(drawn.font.name, Font::Name::euler);
    }
    // Fira has the mathematical angle brackets, at every size, and not the older ones.
    for (const char* latex : {"\\left\\langle x\\right\\rangle",
                              "\\left\\langle\\frac{\\frac{a}{b}}{\\frac{c}{d}}\\right\\rangle"}) {
        for (const auto& drawn : glyphsOf(typeset(latex, Font::Name::fira))) {
            EXPECT_EQ(drawn.font.name, Font::Name::fira) << latex;
        }
    }
}

TEST(GlyphFallback, AnOperatorNoFormOfWhichTheFontHasComesFromAFontThatHasIt) {
    const auto fira = PlatformFont::make(Font(Font::Name::fira, size));
    ASSERT_TRUE(fira);
    const DrawableText cup = drawableText("\u22C3", *fira);
    ASSERT_TRUE(cup.font);
    // As an operator it takes that font's display size, larger than its text size, and it is
    // spaced and given limits as the font's own operators are.
    const auto root = typeset("a\\bigcup_{i=1}^{n} b", Font::Name::fira);
    ASSERT_TRUE(root);
    const DisplayLargeOperator* op = nullptr;
    for (const auto& child : root->children) {
        op = op ? op : dynamic_cast<const DisplayLargeOperator*>(child.get());
    }
    ASSERT_TRUE(op);
    const auto* glyph = dynamic_cast<const DisplayGlyph*>(op->nucleus.get());
    ASSERT_TRUE(glyph);
    EXPECT_EQ(glyph->font.name, cup.font->font().name);
    EXPECT_NE(glyph->glyph, firstGlyph(*cup.font, cup.text));
    EXPECT_TRUE(op->upperLimit && op->lowerLimit);
}

TEST(GlyphFallback, AnApostropheDrawnAsThePrimeIsRaisedAsTeXRaisesIt) {
    // KpMath has no apostrophe; its prime is the large, low one made for superscripts.
    const auto root = typeset("f''(x)", Font::Name::kpMathSans, Level::text);
    ASSERT_TRUE(root);
    const DisplayList* primes = nullptr;
    for (const auto& child : root->children) {
        const auto* list = dynamic_cast<const DisplayList*>(child.get());
        if (list && list->linePosition == DisplayList::LinePosition::superscript) {
            primes = list;
        }
    }
    ASSERT_TRUE(primes) << "the primes are one superscript";
    EXPECT_GT(primes->position().y, 0);
    std::string text;
    for (const auto& child : primes->children) {
        if (const auto* run = dynamic_cast<const DisplayTextRun*>(child.get())) {
            text += run->attributedString.text();
        }
    }
    EXPECT_EQ(text, "\u2032\u2032");
    // A font with an apostrophe draws it as written.
    const auto latinModern = PlatformFont::make(Font(Font::Name::latinModern, size));
    ASSERT_TRUE(latinModern);
    EXPECT_EQ(drawableText("'", *latinModern).text, "'");
}
