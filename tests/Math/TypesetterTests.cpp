// Typesetting formulas with the bundled Latin Modern font: spacing, styles, scripts, fractions,
// radicals, large operators, accents, tables and delimiters. Expected geometry is worked out
// here from the font's own MATH constants and glyph measurements, the way TeX places each part.

#include "Math/Parser.hpp"
#include "Math/Serializer.hpp"
#include "Math/Typesetter.hpp"
#include "Math/TypesetterSpacing.hpp"
#include "platform/foundation/Unicode.hpp"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <typeinfo>

using namespace Math;
using Level = Style::Level;

namespace {

constexpr double size = 20;

std::shared_ptr<const PlatformFont> fontAt(double points) {
    return PlatformFont::make(Font(Font::Name::latinModern, points));
}

class TypesetterTest : public testing::Test {
protected:
    void SetUp() override {
        font = fontAt(size);
        ASSERT_TRUE(font) << "the build bundles Latin Modern";
    }

    std::shared_ptr<DisplayList> typeset(const std::string& latex, Level style = Level::display,
                                         double maxWidth = 0) {
        const auto parsed = parseLatex(latex);
        EXPECT_TRUE(parsed) << latex;
        if (!parsed) {
            return nullptr;
        }
        return Typesetter::createLine(*finalizedAtomList(*parsed), font, style, false, maxWidth);
    }

    const FontMetrics& metrics() const { return font->metrics(); }
    double mu() const { return size / 18; }
    // The font at script and script-of-script size.
    std::shared_ptr<const PlatformFont> scriptFont() const {
        return fontAt(size * metrics().scriptPercentScaleDown());
    }
    std::shared_ptr<const PlatformFont> scriptScriptFont() const {
        return fontAt(size * metrics().scriptScriptPercentScaleDown());
    }
    double textWidth(const std::string& text, const PlatformFont& in) const {
        return in.glyphFont().shape(text).width;
    }
    double textWidth(const std::string& text) const { return textWidth(text, *font); }
    platform::Rect inkOf(const std::string& text, const PlatformFont& in) const {
        return in.glyphFont().shape(text).glyphPathBounds;
    }
    platform::GlyphID glyphOf(const std::string& character, const PlatformFont& in) const {
        std::u16string units;
        for (const char32_t c : platform::unicode::scalars(character)) {
            if (c > 0xFFFF) {
                units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            } else {
                units.push_back(static_cast<char16_t>(c));
            }
        }
        return in.glyphFont().glyphs(units).value_or(std::vector<platform::GlyphID>{0}).front();
    }

    std::shared_ptr<const PlatformFont> font;
};

template <class T>
std::shared_ptr<T> child(const DisplayList& list, std::size_t index) {
    if (index >= list.children.size()) {
        ADD_FAILURE() << "no child " << index;
        return nullptr;
    }
    auto result = std::dynamic_pointer_cast<T>(list.children[index]);
    EXPECT_TRUE(result) << "child " << index << " has another class";
    return result;
}

std::string textOf(const DisplayNode& node) {
    const auto* run = dynamic_cast<const DisplayTextRun*>(&node);
    return run ? run->attributedString.text() : std::string{};
}

// The tree as text, geometry to a hundredth of a point: two trees that print alike draw alike.
std::string dump(const DisplayNode& node) {
    const auto number = [](double value) { return std::to_string(std::lround(value * 100)); };
    std::string text = std::string(typeid(node).name()) + "@" + number(node.position().x) + "," +
                       number(node.position().y) + " " + number(node.width()) + "x" +
                       number(node.ascent()) + "+" + number(node.descent());
    const auto part = [&text](const char* name, const auto& child) {
        if (child) {
            text += std::string(" ") + name + "{" + dump(*child) + "}";
        }
    };
    if (const auto* list = dynamic_cast<const DisplayList*>(&node)) {
        for (const auto& child : list->children) {
            part("", child);
        }
    } else if (const auto* run = dynamic_cast<const DisplayTextRun*>(&node)) {
        text += " \"" + run->attributedString.text() + "\"";
    } else if (const auto* glyph = dynamic_cast<const DisplayGlyph*>(&node)) {
        text += " #" + std::to_string(glyph->glyph);
    } else if (const auto* accent = dynamic_cast<const DisplayAccent*>(&node)) {
        part("accent", accent->accent);
        part("base", accent->accentee);
    } else if (const auto* fraction = dynamic_cast<const DisplayFraction*>(&node)) {
        part("over", fraction->numerator);
        part("under", fraction->denominator);
    }
    return text;
}

// Calls `visit` on every node of a tree, each before the nodes inside it.
void eachNode(const DisplayNode& node, const std::function<void(const DisplayNode&)>& visit) {
    visit(node);
    const auto inner = [&visit](const auto& part) {
        if (part) {
            eachNode(*part, visit);
        }
    };
    if (const auto* list = dynamic_cast<const DisplayList*>(&node)) {
        for (const auto& part : list->children) {
            inner(part);
        }
    } else if (const auto* op = dynamic_cast<const DisplayLargeOperator*>(&node)) {
        inner(op->upperLimit);
        inner(op->lowerLimit);
        inner(op->nucleus);
    } else if (const auto* fraction = dynamic_cast<const DisplayFraction*>(&node)) {
        inner(fraction->numerator);
        inner(fraction->denominator);
    } else if (const auto* radical = dynamic_cast<const DisplayRadical*>(&node)) {
        inner(radical->radicalGlyph);
        inner(radical->degree);
        inner(radical->radicand);
    }
}

} // namespace

// MARK: Spacing and styles

TEST_F(TypesetterTest, SymbolsShareOneRunSpacedByKerns) {
    const auto root = typeset("a+b", Level::text);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 1U);
    const auto run = child<DisplayTextRun>(*root, 0);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->attributedString.text(), "\U0001D44E+\U0001D44F");
    // Medium space (4 mu) after the a and after the plus.
    ASSERT_EQ(run->attributedString.kerns().size(), 2U);
    EXPECT_EQ(run->attributedString.kerns()[0].utf16Offset, 0U);
    EXPECT_EQ(run->attributedString.kerns()[1].utf16Offset, 2U);
    for (const auto& kern : run->attributedString.kerns()) {
        EXPECT_DOUBLE_EQ(kern.points, 4 * mu());
    }
    EXPECT_NEAR(run->width(), textWidth("\U0001D44E+\U0001D44F") + 8 * mu(), 1e-9);
    EXPECT_EQ(run->range, (IndexRange{0, 3}));
    EXPECT_EQ(root->range, (IndexRange{0, 3}));

    // In script style the medium space goes; relations lose theirs too.
    const auto script = typeset("\\scriptstyle a+b=c", Level::text);
    ASSERT_TRUE(script);
    const auto scriptRun = child<DisplayTextRun>(*script, 0);
    ASSERT_TRUE(scriptRun);
    EXPECT_TRUE(scriptRun->attributedString.kerns().empty());
    EXPECT_DOUBLE_EQ(scriptRun->font.size, size * metrics().scriptPercentScaleDown());
}

TEST_F(TypesetterTest, ExplicitSpaceEndsTheRunAndKeepsTheSpacingDecision) {
    // \, is 3 mu; the relation still gets its thick space from the a before the space.
    const auto root = typeset("a\\,=b", Level::text);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 2U);
    const double aWidth = textWidth("\U0001D44E");
    EXPECT_NEAR(root->children[1]->position().x, aWidth + 3 * mu() + 5 * mu(), 1e-9);
    EXPECT_EQ(textOf(*root->children[1]), "=\U0001D44F");
}

TEST_F(TypesetterTest, StyleChangeFlushesAndLaterTextUsesTheNewSize) {
    const auto root = typeset("x\\scriptscriptstyle y", Level::text);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 2U);
    EXPECT_EQ(child<DisplayTextRun>(*root, 0)->font.size, size);
    EXPECT_DOUBLE_EQ(child<DisplayTextRun>(*root, 1)->font.size,
                     size * metrics().scriptScriptPercentScaleDown());
}

TEST_F(TypesetterTest, PlaceholdersAreBlueInsideTheirRun) {
    const auto root = typeset("a+\\square", Level::text);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 1U);
    const auto& colors = child<DisplayTextRun>(*root, 0)->attributedString.colors();
    ASSERT_EQ(colors.size(), 1U);
    EXPECT_EQ(colors[0].utf16Offset, 3U);
    EXPECT_EQ(colors[0].color, platform::Color(0, 0, 1));
}

TEST_F(TypesetterTest, DelimitedGroupBodyIsSpacedAsBetweenOpenAndClose) {
    // A trailing comma inside \left( \right) gets the thin space a close would see.
    const auto root = typeset("\\left(a,\\right)", Level::text);
    ASSERT_TRUE(root);
    const auto group = child<DisplayList>(*root, 0);
    ASSERT_TRUE(group);
    ASSERT_EQ(group->children.size(), 3U);
    const auto body = child<DisplayList>(*group, 1);
    ASSERT_TRUE(body);
    EXPECT_NEAR(body->children.back()->width(), textWidth("\U0001D44E,") + 3 * mu(), 1e-9);
}

TEST_F(TypesetterTest, EntryPointsAndPreprocessing) {
    const auto empty = typeset("");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->children.empty());
    EXPECT_EQ(empty->range, (IndexRange{0, 0}));

    // x followed by 2 fuses into one ordinary atom; a superscript stops fusion.
    const auto fused = Typesetter::preprocessAtoms(*finalizedAtomList(*parseLatex("x2")));
    ASSERT_EQ(fused.size(), 1U);
    EXPECT_EQ(fused[0]->type, AtomType::ordinary);
    EXPECT_EQ(fused[0]->nucleus, "\U0001D465"
                                 "2");
    EXPECT_EQ(fused[0]->fusedAtoms.size(), 2U);
    EXPECT_EQ(Typesetter::preprocessAtoms(*finalizedAtomList(*parseLatex("x^2y"))).size(), 2U);
    const auto unary = Typesetter::preprocessAtoms(*finalizedAtomList(*parseLatex("-x")));
    ASSERT_EQ(unary.size(), 1U);
    EXPECT_EQ(unary[0]->nucleus, "\u2212\U0001D465");

    const Typesetter typesetter(font, Level::text, false, false, 0);
    EXPECT_DOUBLE_EQ(typesetter.minimumLineSpacing, 4);
}

TEST_F(TypesetterTest, RepeatedSymbolsTakeTheirOwnAlphabetAndForm) {
    // Restyling a symbol and asking whether the font draws it is done once for the few last
    // seen: a later symbol must still come out as it does alone.
    const std::vector<std::string> pieces = {
        "x",
        "\\mathrm{x}",
        "\\mathbf{x}",
        "x",
        "\\mathbb{R}",
        "1",
        "\\mathbf{1}",
        "x",
        "\\mathcal{X}",
        "\u0416",
        "x",
        "\u0416",
        "\\mathfrak{x}",
        "y",
        "\\alpha",
        "\\mathbf{\\alpha}",
        "\\mathrm{x}",
        "x",
        "\u0416",
        "\\mathsf{x}",
        "x",
        "\\text{\u6F22}y",
    };
    const auto forms = [this](const std::string& latex) {
        std::vector<std::string> out;
        for (const auto& atom :
             Typesetter::preprocessAtoms(*finalizedAtomList(*parseLatex(latex)), font.get())) {
            if (atom->nucleus != "+") {
                out.push_back(std::to_string(static_cast<int>(atom->type)) + atom->nucleus);
            }
        }
        return out;
    };
    std::vector<std::string> alone;
    std::string formula;
    for (const auto& piece : pieces) {
        for (const auto& form : forms(piece)) {
            alone.push_back(form);
        }
        formula += piece + "+";
    }
    formula.pop_back(); // a + at the end would be unary, and join the symbol before it
    EXPECT_EQ(forms(formula), alone);
}

TEST_F(TypesetterTest, TypesettingLeavesTheListAsItWas) {
    // Cached lists are typeset again at every new width: what one pass does to the list must not
    // show in the next. Numbers and variables take their alphabet, runs fuse, accents move their
    // scripts onto their letter and built atoms turn ordinary, all in the typesetter's own copies.
    const auto list =
        finalizedAtomList(*parseLatex("-x2+\\hat{x}^2\\dot{\\vec{r}}_1\\underline{ab}\\overline{c}"
                                      "\\begin{matrix}1&2\\end{matrix}y"));
    ASSERT_TRUE(list);
    const auto state = [](const AtomList& atoms) {
        std::string text;
        for (const auto& atom : atoms.atoms) {
            text += std::to_string(static_cast<int>(atom->type)) + ":" + atom->nucleus + ":" +
                    std::to_string(atom->fusedAtoms.size()) + " ";
            if (const auto* accent = dynamic_cast<const Accent*>(atom.get())) {
                text += "[" + accent->innerList->description() + "] ";
            }
        }
        return text + serializeAtomList(atoms);
    };
    const std::string before = state(*list);
    for (const double width : {0.0, 60.0}) {
        const auto first = Typesetter::createLine(*list, font, Level::display, false, width);
        EXPECT_EQ(state(*list), before) << width;
        const auto second = Typesetter::createLine(*list, font, Level::display, false, width);
        ASSERT_TRUE(first && second);
        EXPECT_EQ(dump(*second), dump(*first)) << width;
        EXPECT_EQ(state(*list), before) << width;
    }
}

TEST_F(TypesetterTest, AListLetGoIsReleasedAndTypesetAsTheSameListKept) {
    // A finalised list handed over whole (a formula too large to cache) is released by the
    // typesetter, not held beside the display made from it, and gives the same display.
    const auto parsed = parseLatex("\\sum_{i=0}^{n} x_i^{2} + \\frac{a}{b} - 12");
    ASSERT_TRUE(parsed);
    const auto kept =
        Typesetter::createLine(*finalizedAtomList(*parsed), font, Level::display, false, 80);
    std::shared_ptr<const AtomList> handed = finalizedAtomList(*parsed);
    const std::weak_ptr<const AtomList> watched = handed;
    const auto released =
        Typesetter::createLine(std::move(handed), font, Level::display, false, 80);
    EXPECT_EQ(handed, nullptr);
    EXPECT_TRUE(watched.expired());
    ASSERT_TRUE(kept && released);
    EXPECT_EQ(dump(*released), dump(*kept));
    EXPECT_EQ(released->range, kept->range);
    std::shared_ptr<const AtomList> none;
    EXPECT_FALSE(Typesetter::createLine(std::move(none), font, Level::display, false, 0));
}

TEST_F(TypesetterTest, AbsurdSizesGiveNoOutputInsteadOfACrash) {
    const auto list = finalizedAtomList(*parseLatex("\\frac{a}{\\sqrt{b}}\\left(x\\right)"));
    EXPECT_FALSE(Typesetter::createLine(*list, nullptr, Level::display, false, 0));
    for (const double points :
         {0.0, -12.0, std::nan(""), 1e9, std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(Typesetter::createLine(*list, fontAt(points), Level::display, false, 0))
            << points;
    }
    // A width that is not a number never breaks.
    const auto root = Typesetter::createLine(*list, font, Level::display, false, std::nan(""));
    ASSERT_TRUE(root);
    EXPECT_FALSE(std::isnan(root->width()));
    EXPECT_FALSE(std::isnan(root->descent()));
}

// MARK: Scripts

TEST_F(TypesetterTest, SuperscriptOnATextRunRisesByTheFontsShift) {
    const auto root = typeset("x^2", Level::text);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 2U);
    const auto nucleus = child<DisplayTextRun>(*root, 0);
    const auto script = child<DisplayList>(*root, 1);
    ASSERT_TRUE(nucleus && script);
    EXPECT_TRUE(nucleus->hasScript);
    EXPECT_EQ(script->linePosition, DisplayList::LinePosition::superscript);
    EXPECT_EQ(script->index, 0);
    EXPECT_DOUBLE_EQ(child<DisplayTextRun>(*script, 0)->font.size,
                     size * metrics().scriptPercentScaleDown());
    // Text runs start from shift 0; the pen first moves past the x's italic correction.
    const double italic = metrics().italicCorrection(glyphOf("\U0001D465", *font));
    const double up = std::max(metrics().superscriptShiftUp(),
                               script->descent() + metrics().superscriptBottomMin());
    EXPECT_NEAR(script->position().x, nucleus->width() + italic, 1e-9);
    EXPECT_NEAR(script->position().y, up, 1e-9);
    EXPECT_NEAR(root->width(), script->position().x + script->width(), 1e-9);
}

TEST_F(TypesetterTest, CrampedListsUseTheCrampedSuperscriptShift) {
    // The denominator of a fraction is cramped, so its superscript sits lower.
    const auto root = typeset("\\frac{1}{x^2}", Level::text);
    ASSERT_TRUE(root);
    const auto fraction = child<DisplayFraction>(*root, 0);
    ASSERT_TRUE(fraction && fraction->denominator);
    const auto script = child<DisplayList>(*fraction->denominator, 1);
    ASSERT_TRUE(script);
    EXPECT_NEAR(script->position().y,
                std::max(metrics().superscriptShiftUpCramped(),
                         script->descent() + metrics().superscriptBottomMin()),
                1e-9);
}

TEST_F(TypesetterTest, SubscriptAloneDropsByTheFontsShift) {
    const auto root = typeset("x_1", Level::text);
    ASSERT_TRUE(root);
    const auto script = child<DisplayList>(*root, 1);
    ASSERT_TRUE(script);
    EXPECT_EQ(script->linePosition, DisplayList::LinePosition::subscript);
    const double down = std::max(
        {0.0, metrics().subscriptShiftDown(), script->ascent() - metrics().subscriptTopMax()});
    EXPECT_NEAR(script->position().y, -down, 1e-9);
    // No italic correction before a lone subscript: it tucks under the letter.
    EXPECT_NEAR(script->position().x, root->children[0]->width(), 1e-9);
    EXPECT_NEAR(root->width(), script->position().x + script->width(), 1e-9);
}

TEST_F(TypesetterTest, BothScriptsKeepTheMinimumGapBetweenThem) {
    const auto root = typeset("x_{\\frac{1}{2}}^{\\int}", Level::text);
    ASSERT_TRUE(root);
    const auto sup = child<DisplayList>(*root, 1);
    const auto sub = child<DisplayList>(*root, 2);
    ASSERT_TRUE(sup && sub);
    const double gap = (sup->position().y - sup->descent()) - (sub->position().y + sub->ascent());
    EXPECT_GE(gap, metrics().subSuperscriptGapMin() - 1e-9);
    EXPECT_LE(sub->position().y, -metrics().subscriptShiftDown() + 1e-9);
}

TEST_F(TypesetterTest, ScriptsOfAGroupDropFromItsEdges) {
    // Scripts of a fraction start from its ascent and descent, measured in the script font.
    const auto root = typeset("{\\frac{a}{b}}^2", Level::text);
    ASSERT_TRUE(root);
    const auto fraction = child<DisplayFraction>(*root, 0);
    const auto script = child<DisplayList>(*root, 1);
    ASSERT_TRUE(fraction && script);
    const double up = std::max(
        {fraction->ascent() - scriptFont()->metrics().superscriptBaselineDropMax(),
         metrics().superscriptShiftUp(), script->descent() + metrics().superscriptBottomMin()});
    EXPECT_NEAR(script->position().y, up, 1e-9);
}

TEST_F(TypesetterTest, RepeatedScriptsAndLimitsComeOutAsEachSetAlone) {
    // A short script or limit seen before in the formula is not set again: it must then be the
    // very one seen before, never one that differs in a symbol, its alphabet, its type, its
    // digits or where its symbols stand.
    const std::vector<std::string> terms = {
        "x_{a}",           "x_{b}",           "x_{\\mathrm{a}}",
        "x_{ab}",          "x_{ba}",          "x_{12}",
        "x_{1}",           "y^{-}",           "y^{<}",
        "y^{+}_{a}",       "\\sum_{i=0}^{n}", "\\sum_{i=1}^{n}",
        "\\sum_{j=0}^{n}", "\\sum_{i=0}^{m}", "\\prod_{i=0}^{n}",
    };
    // The scripts and limits of a tree in order, each as its children print: where it is placed
    // is its surroundings' matter.
    const auto collect = [](const DisplayNode& root, std::vector<std::string>& out) {
        const auto print = [&out](const DisplayList* list) {
            if (list) {
                std::string text;
                for (const auto& part : list->children) {
                    text += dump(*part) + " [" + std::to_string(part->range.location) + "," +
                            std::to_string(part->range.length) + "] ";
                }
                out.push_back(text);
            }
        };
        eachNode(root, [&print](const DisplayNode& node) {
            if (const auto* op = dynamic_cast<const DisplayLargeOperator*>(&node)) {
                print(op->upperLimit.get());
                print(op->lowerLimit.get());
            } else if (const auto* list = dynamic_cast<const DisplayList*>(&node);
                       list && list->linePosition != DisplayList::LinePosition::regular) {
                print(list);
            }
        });
    };
    std::vector<std::string> alone;
    std::string formula;
    for (int round = 0; round < 2; ++round) {
        for (const auto& term : terms) {
            const auto root = typeset(term);
            ASSERT_TRUE(root) << term;
            collect(*root, alone);
            formula += term + "+";
        }
    }
    const auto root = typeset(formula + "1");
    ASSERT_TRUE(root);
    std::vector<std::string> together;
    collect(*root, together);
    ASSERT_EQ(together.size(), alone.size());
    for (std::size_t k = 0; k < alone.size(); ++k) {
        EXPECT_EQ(together[k], alone[k]) << "script or limit " << k;
    }
}

TEST_F(TypesetterTest, EveryRunHoldsTheGlyphsItsLineShapesTo) {
    // A run is given the glyphs its line was shaped to before, when it was (measured, shaped
    // ahead, or a short line shaped alike a moment ago): they must be the line's own.
    std::string formula;
    for (int i = 0; i < 12; ++i) {
        formula += std::string(i % 3 == 0   ? "\\sum_{i=0}^{n} x_i"
                               : i % 3 == 1 ? "y^{2}"
                                            : "ab") +
                   (i % 2 == 0 ? " + " : " - \\frac{z_1}{2} \\cdot ");
    }
    formula += "1";
    for (const double width : {0.0, 300.0, 120.0}) {
        const auto root = typeset(formula, Level::display, width);
        ASSERT_TRUE(root);
        std::vector<const DisplayTextRun*> found;
        eachNode(*root, [&found](const DisplayNode& node) {
            if (const auto* run = dynamic_cast<const DisplayTextRun*>(&node)) {
                found.push_back(run);
            }
        });
        ASSERT_GT(found.size(), 40U);
        for (const DisplayTextRun* run : found) {
            const auto runFont = PlatformFont::make(run->font);
            ASSERT_TRUE(runFont);
            const DisplayTextRun alone(run->attributedString, run->font, runFont->glyphFont(), {});
            const std::string text = run->attributedString.text();
            ASSERT_EQ(run->shaped.glyphs.size(), alone.shaped.glyphs.size()) << text;
            for (std::size_t k = 0; k < alone.shaped.glyphs.size(); ++k) {
                const auto& got = run->shaped.glyphs[k];
                const auto& want = alone.shaped.glyphs[k];
                EXPECT_EQ(got.glyph, want.glyph) << text;
                EXPECT_EQ(got.position.x, want.position.x) << text;
                EXPECT_EQ(got.advance, want.advance) << text;
                EXPECT_EQ(got.cluster, want.cluster) << text;
            }
            EXPECT_EQ(run->width(), alone.width()) << text;
            EXPECT_EQ(run->ascent(), alone.ascent()) << text;
            EXPECT_EQ(run->descent(), alone.descent()) << text;
        }
    }
}

// MARK: Fractions

TEST_F(TypesetterTest, FractionInDisplayStyleClearsTheRuleByTheFontsGaps) {
    const auto root = typeset("\\frac{x}{y}");
    ASSERT_TRUE(root);
    const auto fraction = child<DisplayFraction>(*root, 0);
    ASSERT_TRUE(fraction);
    const double axis = metrics().axisHeight();
    const double t = metrics().fractionRuleThickness();
    const auto x = inkOf("\U0001D465", *font);
    const auto y = inkOf("\U0001D466", *font);
    const double up = std::max(metrics().fractionNumeratorDisplayStyleShiftUp(),
                               axis + t / 2 + metrics().fractionNumDisplayStyleGapMin() -
                                   std::min(0.0, x.minY()));
    const double down =
        std::max(metrics().fractionDenominatorDisplayStyleShiftDown(),
                 y.maxY() - axis + t / 2 + metrics().fractionDenomDisplayStyleGapMin());
    EXPECT_NEAR(fraction->numeratorUp, up, 1e-9);
    EXPECT_NEAR(fraction->denominatorDown, down, 1e-9);
    EXPECT_EQ(fraction->linePosition, axis);
    EXPECT_EQ(fraction->lineThickness, t);
    // The narrower part is centred under the wider one.
    const double wide = std::max(textWidth("\U0001D465"), textWidth("\U0001D466"));
    EXPECT_NEAR(fraction->width(), wide, 1e-9);
    EXPECT_NEAR(fraction->numerator->position().x, (wide - textWidth("\U0001D465")) / 2, 1e-9);
    EXPECT_NEAR(fraction->denominator->position().x, (wide - textWidth("\U0001D466")) / 2, 1e-9);
    EXPECT_NEAR(root->ascent(), up + x.maxY(), 1e-9);

    // A deep numerator is pushed up until it clears the rule by the minimum gap.
    const auto deep = child<DisplayFraction>(*typeset("\\frac{\\frac{1}{2}}{x}"), 0);
    ASSERT_TRUE(deep);
    const double needed =
        axis + t / 2 + metrics().fractionNumDisplayStyleGapMin() + deep->numerator->descent();
    ASSERT_GT(needed, metrics().fractionNumeratorDisplayStyleShiftUp());
    EXPECT_NEAR(deep->numeratorUp, needed, 1e-9);
}

TEST_F(TypesetterTest, FractionPartsKeepTheStyleAndContinuedFractionsResetIt) {
    const auto root = typeset("\\scriptstyle\\frac{1}{2}", Level::display);
    ASSERT_TRUE(root);
    const auto fraction = child<DisplayFraction>(*root, 0);
    ASSERT_TRUE(fraction);
    EXPECT_DOUBLE_EQ(child<DisplayTextRun>(*fraction->numerator, 0)->font.size,
                     size * metrics().scriptPercentScaleDown());
    EXPECT_NEAR(fraction->numeratorUp,
                std::max(scriptFont()->metrics().fractionNumeratorShiftUp(),
                         scriptFont()->metrics().axisHeight() +
                             scriptFont()->metrics().fractionRuleThickness() / 2 +
                             scriptFont()->metrics().fractionNumeratorGapMin()),
                1e-9);

    const auto continued = typeset("\\scriptstyle\\cfrac{1}{2}", Level::display);
    ASSERT_TRUE(continued);
    const auto cf = child<DisplayFraction>(*continued, 0);
    ASSERT_TRUE(cf);
    EXPECT_EQ(child<DisplayTextRun>(*cf->numerator, 0)->font.size, size);
}

TEST_F(TypesetterTest, BinomialIsARulelessStackBetweenSizedParentheses) {
    const auto root = typeset("\\binom{n}{k}", Level::text);
    ASSERT_TRUE(root);
    const auto group = child<DisplayList>(*root, 0);
    ASSERT_TRUE(group);
    ASSERT_EQ(group->children.size(), 3U);
    const auto left = child<DisplayShiftedNode>(*group, 0);
    const auto stack = child<DisplayFraction>(*group, 1);
    const auto right = child<DisplayShiftedNode>(*group, 2);
    ASSERT_TRUE(left && stack && right);
    EXPECT_EQ(stack->lineThickness, 0);
    // n and k are too close at the font's own shifts: both move apart by half the shortfall.
    const auto n = inkOf("\U0001D45B", *font);
    const auto k = inkOf("\U0001D458", *font);
    const double clearance =
        (metrics().stackTopShiftUp() + n.minY()) - (k.maxY() - metrics().stackBottomShiftDown());
    ASSERT_LT(clearance, metrics().stackGapMin());
    const double half = (metrics().stackGapMin() - clearance) / 2;
    EXPECT_NEAR(stack->numeratorUp, metrics().stackTopShiftUp() + half, 1e-9);
    EXPECT_NEAR(stack->denominatorDown, metrics().stackBottomShiftDown() + half, 1e-9);
    // Delimiters at least 1.01 em tall, centred on the axis; the stack between them.
    EXPECT_GE(left->ascent() + left->descent(), 1.01 * size - 1e-9);
    EXPECT_NEAR((left->ascent() - left->descent()) / 2, metrics().axisHeight(), 1e-9);
    EXPECT_NEAR(stack->position().x, left->width(), 1e-9);
    EXPECT_NEAR(right->position().x, left->width() + stack->width(), 1e-9);
}

// MARK: Radicals

TEST_F(TypesetterTest, RadicalWithDegreeMakesRoomAndRaisesTheDegree) {
    const auto root = typeset("a\\sqrt[3]{x}", Level::text);
    ASSERT_TRUE(root);
    const auto radical = child<DisplayRadical>(*root, 1);
    ASSERT_TRUE(radical && radical->degree && radical->radicalGlyph && radical->radicand);
    EXPECT_DOUBLE_EQ(child<DisplayTextRun>(*radical->degree, 0)->font.size,
                     size * metrics().scriptScriptPercentScaleDown());
    const double kernBefore = metrics().radicalKernBeforeDegree();
    const double shift =
        std::max(0.0, kernBefore + radical->degree->width() + metrics().radicalKernAfterDegree());
    EXPECT_NEAR(radical->radicalShift, shift, 1e-9);
    const Point at = radical->position();
    EXPECT_NEAR(at.x, textWidth("\U0001D44E"), 1e-9); // spaced as an ordinary atom
    EXPECT_NEAR(radical->degree->position().x, at.x + kernBefore, 1e-9);
    EXPECT_NEAR(radical->degree->position().y,
                at.y + metrics().radicalDegreeBottomRaisePercent() *
                           (radical->ascent() - radical->descent()),
                1e-9);
    EXPECT_NEAR(radical->radicand->position().x, at.x + shift + radical->radicalGlyph->width(),
                1e-9);
    EXPECT_NEAR(radical->width(),
                shift + radical->radicalGlyph->width() + radical->radicand->width(), 1e-9);
    // Overbar: the radicand's top plus the gap and the rule, then the extra ascender.
    const double gap = metrics().radicalVerticalGap();
    const double t = metrics().radicalRuleThickness();
    EXPECT_GE(radical->ascent(),
              radical->radicand->ascent() + gap + t + metrics().radicalExtraAscender() - 1e-9);
    EXPECT_GE(radical->descent(), radical->radicand->descent());
}

TEST_F(TypesetterTest, TallRadicandsGetATallerSign) {
    const auto small = typeset("\\sqrt{x}");
    const auto tall = typeset("\\sqrt{\\frac{\\frac{a}{b}}{\\frac{c}{d}}}");
    ASSERT_TRUE(small && tall);
    const auto smallSign = child<DisplayRadical>(*small, 0)->radicalGlyph;
    const auto tallRadical = child<DisplayRadical>(*tall, 0);
    const auto tallSign = tallRadical->radicalGlyph;
    const double needed = tallRadical->radicand->ascent() + tallRadical->radicand->descent() +
                          metrics().radicalDisplayStyleVerticalGap() +
                          metrics().radicalRuleThickness();
    EXPECT_GT(tallSign->ascent() + tallSign->descent(), smallSign->ascent() + smallSign->descent());
    EXPECT_GE(tallSign->ascent() + tallSign->descent(), needed - 1e-9);
    // The sign's top meets the overbar.
    EXPECT_NEAR(tallSign->ascent(), tallRadical->ascent() - metrics().radicalExtraAscender(), 1e-9);
}

// MARK: Large operators

TEST_F(TypesetterTest, DisplaySumTakesItsLargerVariantWithLimitsCentred) {
    const auto root = typeset("\\sum_{i=0}^{n}");
    ASSERT_TRUE(root);
    std::shared_ptr<DisplayLargeOperator> op;
    for (const auto& node : root->children) {
        if (auto found = std::dynamic_pointer_cast<DisplayLargeOperator>(node)) {
            op = found;
        }
    }
    ASSERT_TRUE(op && op->upperLimit && op->lowerLimit && op->nucleus);
    const auto glyph = std::dynamic_pointer_cast<DisplayGlyph>(op->nucleus);
    ASSERT_TRUE(glyph);
    EXPECT_EQ(glyph->glyph, metrics().largerGlyph(glyphOf("\u2211", *font)));
    // Centred on the axis.
    EXPECT_NEAR((glyph->ascent() - glyph->descent()) / 2, metrics().axisHeight(), 1e-9);
    EXPECT_NEAR(op->upperLimitGap,
                std::max(metrics().upperLimitGapMin(),
                         metrics().upperLimitBaselineRiseMin() - op->upperLimit->descent()),
                1e-9);
    EXPECT_NEAR(op->lowerLimitGap,
                std::max(metrics().lowerLimitGapMin(),
                         metrics().lowerLimitBaselineDropMin() - op->lowerLimit->ascent()),
                1e-9);
    const double centre = op->position().x + op->width() / 2;
    EXPECT_NEAR(op->upperLimit->position().x + op->upperLimit->width() / 2, centre, 1e-9);
    EXPECT_NEAR(op->lowerLimit->position().x + op->lowerLimit->width() / 2, centre, 1e-9);
    EXPECT_NEAR(op->upperLimit->position().y,
                glyph->ascent() + op->upperLimitGap + op->upperLimit->descent(), 1e-9);
    EXPECT_DOUBLE_EQ(child<DisplayTextRun>(*op->upperLimit, 0)->font.size,
                     size * metrics().scriptPercentScaleDown());
}

TEST_F(TypesetterTest, RepeatedLimitsAndScriptsShareTheirRunsAndSitEachAtItsOwnPlace) {
    // A long formula repeats its limits and indices: each is set once, and every occurrence is a
    // list of its own over the same runs, placed where its operator or nucleus is.
    const auto root = typeset("\\sum_{i=0}^{n} x_k + \\sum_{i=0}^{n} x_k - \\sum_{i=0}^{n} x_k");
    ASSERT_TRUE(root);
    std::vector<std::shared_ptr<DisplayLargeOperator>> ops;
    std::vector<std::shared_ptr<DisplayList>> indices;
    for (const auto& node : root->children) {
        if (auto op = std::dynamic_pointer_cast<DisplayLargeOperator>(node)) {
            ops.push_back(op);
        } else if (auto list = std::dynamic_pointer_cast<DisplayList>(node)) {
            indices.push_back(list);
        }
    }
    ASSERT_EQ(ops.size(), 3U);
    ASSERT_EQ(indices.size(), 3U);
    for (const auto& op : ops) {
        ASSERT_TRUE(op->upperLimit && op->lowerLimit);
        const double centre = op->position().x + op->width() / 2;
        EXPECT_NEAR(op->upperLimit->position().x + op->upperLimit->width() / 2, centre, 1e-9);
        EXPECT_NEAR(op->lowerLimit->position().x + op->lowerLimit->width() / 2, centre, 1e-9);
    }
    for (std::size_t k = 1; k < ops.size(); ++k) {
        EXPECT_EQ(ops[0]->lowerLimit->children, ops[k]->lowerLimit->children);
        EXPECT_EQ(ops[0]->upperLimit->children, ops[k]->upperLimit->children);
        EXPECT_EQ(indices[0]->children, indices[k]->children);
        // Each index follows its own sum.
        EXPECT_GT(indices[k]->position().x, ops[k]->position().x);
        EXPECT_LT(indices[k - 1]->position().x, ops[k]->position().x);
    }
}

TEST_F(TypesetterTest, LimitsBecomeScriptsInScriptStyle) {
    const auto text = typeset("\\sum_{i}^{n}", Level::text);
    ASSERT_TRUE(text);
    EXPECT_TRUE(std::dynamic_pointer_cast<DisplayLargeOperator>(text->children.back()));
    const auto script = typeset("\\scriptstyle\\sum_{i}^{n}", Level::text);
    ASSERT_TRUE(script);
    for (const auto& node : script->children) {
        EXPECT_FALSE(std::dynamic_pointer_cast<DisplayLargeOperator>(node));
    }
    EXPECT_EQ(script->children.size(), 3U); // the sign and two script lists
}

TEST_F(TypesetterTest, IntegralIsNarrowedAndItsSuperscriptMovedByTheItalicCorrection) {
    const auto root = typeset("\\int_0^1", Level::text);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 3U);
    const auto sign = child<DisplayGlyph>(*root, 2);
    const auto sup = child<DisplayList>(*root, 0);
    const auto sub = child<DisplayList>(*root, 1);
    ASSERT_TRUE(sign && sup && sub);
    const double delta = metrics().italicCorrection(sign->glyph);
    ASSERT_GT(delta, 0);
    EXPECT_NEAR(sign->width(), font->glyphFont().advance(sign->glyph).width - delta, 1e-9);
    EXPECT_NEAR(sup->position().x - sub->position().x, delta, 1e-9);
}

TEST_F(TypesetterTest, WordOperatorIsTextWithUprightLimits) {
    const auto root = typeset("\\lim_{x\\to 0}");
    ASSERT_TRUE(root);
    const auto op = std::dynamic_pointer_cast<DisplayLargeOperator>(root->children.back());
    ASSERT_TRUE(op);
    EXPECT_EQ(textOf(*op->nucleus), "lim");
    EXPECT_EQ(op->limitShift, 0);
}

TEST_F(TypesetterTest, RepeatedOperatorsAndDelimitersComeOutAsEachSetAlone) {
    // The glyph an operator or delimiter is drawn with, and an operator's extent, are looked up
    // once for the few last seen: a later one must still be its own, in the style it stands in.
    struct Piece {
        std::string latex;
        Level style;
    };
    const std::vector<Piece> pieces = {
        {"\\sum", Level::display},     {"\\int", Level::display},
        {"\\sum", Level::display},     {"\\oint", Level::display},
        {"\\prod", Level::display},    {"\\coprod", Level::display},
        {"\\sum", Level::display},     {"\\sum", Level::script},
        {"\\int", Level::script},      {"\\left(x\\right)", Level::text},
        {"\\sum", Level::text},        {"\\left[\\frac{1}{2}\\right)", Level::display},
        {"\\sum", Level::display},     {"\\int_{0}^{1}", Level::display},
        {"\\lim_{n}", Level::display}, {"\\sum_{i}", Level::text},
        {"\\int", Level::display},
    };
    // The glyphs of a tree in order, each with its font's size and, alone, its extent.
    const auto glyphs = [](const DisplayNode& root, std::vector<std::string>& out) {
        eachNode(root, [&out](const DisplayNode& node) {
            if (const auto* glyph = dynamic_cast<const DisplayGlyph*>(&node)) {
                out.push_back(
                    std::to_string(glyph->glyph) + "@" + std::to_string(glyph->font.size) + " " +
                    std::to_string(glyph->width()) + "x" + std::to_string(glyph->ascent()) + "+" +
                    std::to_string(glyph->descent()));
            } else if (const auto* run = dynamic_cast<const DisplayGlyphRun*>(&node)) {
                for (const auto id : run->glyphs) {
                    out.push_back(std::to_string(id) + "@" + std::to_string(run->font.size));
                }
            }
        });
    };
    std::vector<std::string> alone;
    std::string formula;
    for (const auto& piece : pieces) {
        const auto root = typeset(piece.latex, piece.style);
        ASSERT_TRUE(root) << piece.latex;
        glyphs(*root, alone);
        formula += (piece.style == Level::display ? "\\displaystyle "
                    : piece.style == Level::text  ? "\\textstyle "
                                                  : "\\scriptstyle ") +
                   piece.latex + "+";
    }
    const auto root = typeset(formula + "1");
    ASSERT_TRUE(root);
    std::vector<std::string> together;
    glyphs(*root, together);
    EXPECT_EQ(together, alone);
}

// MARK: Accents

TEST_F(TypesetterTest, AccentSitsOnTheLettersAttachmentPoint) {
    const auto root = typeset("\\hat{x}", Level::text);
    ASSERT_TRUE(root);
    const auto accent = child<DisplayAccent>(*root, 0);
    ASSERT_TRUE(accent && accent->accent && accent->accentee);
    const auto x = glyphOf("\U0001D465", *font);
    const double skew =
        metrics().topAccentAdjustment(x) - metrics().topAccentAdjustment(accent->accent->glyph);
    EXPECT_NEAR(accent->accent->position().x, skew, 1e-9);
    // x is lower than the accent base height, so the accent is not raised.
    ASSERT_LT(accent->accentee->ascent(), metrics().accentBaseHeight());
    EXPECT_NEAR(accent->accent->position().y, 0, 1e-9);

    // A tall base raises the accent by how much it passes the accent base height.
    const auto tall = typeset("\\hat{A}", Level::text);
    const auto raised = child<DisplayAccent>(*tall, 0);
    ASSERT_GT(raised->accentee->ascent(), metrics().accentBaseHeight());
    EXPECT_NEAR(raised->accent->position().y,
                raised->accentee->ascent() - metrics().accentBaseHeight(), 1e-9);
}

TEST_F(TypesetterTest, WideAccentTakesAWiderVariantAndCentresOverLongBases) {
    const auto narrow = typeset("\\widehat{x}", Level::text);
    const auto wide = typeset("\\widehat{xyz}", Level::text);
    ASSERT_TRUE(narrow && wide);
    const auto narrowAccent = child<DisplayAccent>(*narrow, 0);
    const auto wideAccent = child<DisplayAccent>(*wide, 0);
    EXPECT_GT(wideAccent->accent->width(), narrowAccent->accent->width());
    EXPECT_NEAR(wideAccent->accent->position().x,
                wideAccent->accentee->width() / 2 -
                    metrics().topAccentAdjustment(wideAccent->accent->glyph),
                1e-9);
}

TEST_F(TypesetterTest, ScriptsOfAnAccentedLetterAttachToTheLetter) {
    const auto root = typeset("\\hat{x}^2", Level::text);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 1U); // no script list beside the accent
    const auto accent = child<DisplayAccent>(*root, 0);
    ASSERT_TRUE(accent);
    ASSERT_EQ(accent->accentee->children.size(), 2U);
    EXPECT_EQ(child<DisplayList>(*accent->accentee, 1)->linePosition,
              DisplayList::LinePosition::superscript);
}

TEST_F(TypesetterTest, AccentsAreBuiltTheSameWhetherOrNotLinesMayBreak) {
    // A width the formulas fit in changes nothing: the accents are accents over their bases, not
    // text made of the base's source and a combining mark.
    for (const char* latex :
         {"\\hat{\\alpha}+\\dot{\\theta}+\\vec{F}+\\hat{x}", "a\\acute{e}", "\\hat{\\mathbf{n}}+x",
          "\\acute{e}^2+\\hat{x}_i", "\\widehat{ABC}=\\bar{z}", "\\hat{\\frac{a}{b}}"}) {
        const auto unbroken = typeset(latex, Level::text);
        const auto wide = typeset(latex, Level::text, 1600);
        ASSERT_TRUE(unbroken && wide);
        EXPECT_EQ(dump(*wide), dump(*unbroken)) << latex;
    }

    // An accent that does not fit starts the next line, as any other built node.
    const auto narrow = typeset("a+b+c+d+e+f+g+\\hat{x}", Level::text, 100);
    ASSERT_TRUE(narrow);
    const auto accent = std::dynamic_pointer_cast<DisplayAccent>(narrow->children.back());
    ASSERT_TRUE(accent);
    EXPECT_LT(accent->position().y, 0);
    EXPECT_LE(accent->position().x + accent->width(), 100);
}

TEST_F(TypesetterTest, NestedAccentsStackOverTheirLetter) {
    // Every accent over a letter, however deep, lines up on the letter's attachment point (and
    // not on the mark of the accent below it), each one higher than the one it covers.
    for (const char* latex :
         {"a=\\dot{\\vec{r}}", "a=\\hat{\\hat{x}}", "a=\\ddot{\\tilde{\\bar{y}}}"}) {
        const auto root = typeset(latex, Level::text);
        ASSERT_TRUE(root);
        std::vector<std::shared_ptr<DisplayAccent>> stack;
        auto accent = std::dynamic_pointer_cast<DisplayAccent>(root->children.back());
        for (; accent; accent = std::dynamic_pointer_cast<DisplayAccent>(
                           accent->accentee->children.front())) {
            stack.push_back(accent);
            ASSERT_EQ(accent->accentee->children.size(), 1U) << latex;
        }
        ASSERT_GE(stack.size(), 2U) << latex;
        const auto letter =
            std::dynamic_pointer_cast<DisplayTextRun>(stack.back()->accentee->children.front());
        ASSERT_TRUE(letter) << latex;
        const double attachment = metrics().topAccentAdjustment(letter->shaped.glyphs[0].glyph);
        double below = 0;
        for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
            const DisplayAccent& node = **it;
            const DisplayGlyph& mark = *node.accent;
            EXPECT_NEAR(mark.position().x + metrics().topAccentAdjustment(mark.glyph), attachment,
                        1e-9)
                << latex;
            EXPECT_GT(node.ascent(), below) << latex;
            below = node.ascent();
        }
    }
}

// MARK: Tables and delimiters

TEST_F(TypesetterTest, OneRowTableIsCentredOnTheAxis) {
    const auto root = typeset("\\begin{matrix}x&y\\end{matrix}", Level::text);
    ASSERT_TRUE(root);
    const auto table = child<DisplayList>(*root, 0);
    ASSERT_TRUE(table);
    const auto row = child<DisplayList>(*table, 0);
    ASSERT_TRUE(row);
    EXPECT_NEAR((table->ascent() - table->descent()) / 2, metrics().axisHeight(), 1e-9);
    EXPECT_NEAR(row->position().y,
                -(0.5 * (row->ascent() - row->descent()) - metrics().axisHeight()), 1e-9);
    // Matrix columns are 18 mu apart.
    const auto y = child<DisplayList>(*row, 1);
    EXPECT_NEAR(y->position().x, textWidth("\U0001D465") + 18 * mu(), 1e-9);
}

TEST_F(TypesetterTest, RowsAreABaselineSkipApartUnlessTheyWouldTouch) {
    const auto root = typeset("\\begin{matrix}x\\\\y\\end{matrix}", Level::text);
    ASSERT_TRUE(root);
    const auto table = child<DisplayList>(*root, 0);
    ASSERT_EQ(table->children.size(), 2U);
    EXPECT_NEAR(table->children[0]->position().y - table->children[1]->position().y, 1.2 * size,
                1e-9);

    const auto tall = typeset("\\begin{matrix}\\frac{a}{b}\\\\\\frac{c}{d}\\end{matrix}");
    const auto tallTable = child<DisplayList>(*tall, 0);
    const auto& first = *tallTable->children[0];
    const auto& second = *tallTable->children[1];
    EXPECT_NEAR(first.position().y - second.position().y,
                first.descent() + second.ascent() + 0.1 * size, 1e-9);
}

TEST_F(TypesetterTest, EveryRowIsAtLeastAStrutTallAndDeep) {
    // Fractions of short letters rise less than a strut: the strut, not their ink, keeps the rows
    // apart, so that the ink of neighbouring rows never comes near.
    const double strutHeight = 0.7 * 1.2 * size;
    const double strutDepth = 0.3 * 1.2 * size;
    for (const Level level : {Level::text, Level::display}) {
        const auto root = typeset("\\begin{pmatrix}\\frac{1}{2}&\\frac{a}{b}\\\\\\frac{c}{d}&"
                                  "\\frac{x+1}{y-1}\\\\a&b\\end{pmatrix}",
                                  level);
        ASSERT_TRUE(root);
        const auto group = child<DisplayList>(*root, 0);
        ASSERT_TRUE(group && group->children.size() == 3U);
        const auto body = child<DisplayList>(*group, 1);
        ASSERT_TRUE(body && !body->children.empty());
        const auto table = child<DisplayList>(*body, 0);
        ASSERT_TRUE(table);
        ASSERT_EQ(table->children.size(), 3U);
        for (std::size_t i = 0; i < table->children.size(); ++i) {
            const auto& row = static_cast<const DisplayList&>(*table->children[i]);
            double inkAscent = 0;
            double inkDescent = 0;
            for (const auto& cell : row.children) {
                inkAscent = std::max(inkAscent, cell->ascent());
                inkDescent = std::max(inkDescent, cell->descent());
            }
            EXPECT_NEAR(row.ascent(), std::max(inkAscent, strutHeight), 1e-9) << i;
            EXPECT_NEAR(row.descent(), std::max(inkDescent, strutDepth), 1e-9) << i;
            if (i > 0) {
                const auto& above = *table->children[i - 1];
                EXPECT_GE(above.position().y - row.position().y,
                          above.descent() + row.ascent() - 1e-9)
                    << i;
            }
        }
    }
}

TEST_F(TypesetterTest, ColumnsAlignAsAskedAndCentreWithoutAnAlignment) {
    auto table = std::make_shared<Table>();
    const auto cell = [](const std::string& latex) { return parseLatex(latex); };
    table->setCell(cell("x"), 0, 0);
    table->setCell(cell("x"), 0, 1);
    table->setCell(cell("x"), 0, 2);
    table->setCell(cell("www"), 1, 0);
    table->setCell(cell("www"), 1, 1);
    table->setCell(cell("www"), 1, 2);
    table->alignments = {Table::ColumnAlignment::left, Table::ColumnAlignment::right};
    AtomList list;
    list.append(table);
    const auto root = Typesetter::createLine(list, font, Level::text, false, 0);
    ASSERT_TRUE(root);
    const auto rows = child<DisplayList>(*root, 0);
    const auto row = child<DisplayList>(*rows, 0);
    const double column = textWidth("\U0001D464\U0001D464\U0001D464");
    const double x = textWidth("\U0001D465");
    EXPECT_NEAR(row->children[0]->position().x, 0, 1e-9);
    EXPECT_NEAR(row->children[1]->position().x, column + column - x, 1e-9);
    EXPECT_NEAR(row->children[2]->position().x, 2 * column + (column - x) / 2, 1e-9);
}

TEST_F(TypesetterTest, DelimitersGrowWithTheirContent) {
    const auto root = typeset("\\left(\\frac{\\frac{a}{b}}{\\frac{c}{d}}\\right)");
    ASSERT_TRUE(root);
    const auto group = child<DisplayList>(*root, 0);
    ASSERT_EQ(group->children.size(), 3U);
    const auto left = child<DisplayShiftedNode>(*group, 0);
    const auto content = child<DisplayList>(*group, 1);
    const double axis = metrics().axisHeight();
    const double delta = std::max(content->ascent() - axis, content->descent() + axis);
    const double wanted = std::max(delta / 500 * 901, 2 * delta - 5);
    EXPECT_GE(left->ascent() + left->descent(), wanted - 1e-6);
    EXPECT_NEAR((left->ascent() - left->descent()) / 2, axis, 1e-9);
    // Taller than any variant: built from parts, exactly as tall as wanted.
    EXPECT_TRUE(std::dynamic_pointer_cast<DisplayGlyphRun>(group->children[0]));
    EXPECT_NEAR(left->ascent() + left->descent(), wanted, 1e-6);
    EXPECT_NEAR(content->position().x, left->width(), 1e-9);

    // Shorter content takes the smallest variant that is tall enough.
    const auto small = child<DisplayList>(*typeset("\\left(x^2\\right)"), 0);
    const auto smallContent = child<DisplayList>(*small, 1);
    const double smallDelta =
        std::max(smallContent->ascent() - axis, smallContent->descent() + axis);
    const double smallWanted = std::max(smallDelta / 500 * 901, 2 * smallDelta - 5);
    platform::GlyphID expected = 0;
    for (const auto variant : metrics().verticalVariants(glyphOf("(", *font))) {
        expected = variant;
        const auto box = font->glyphFont().boundingRect(variant);
        if (box.maxY() - box.minY() >= smallWanted) {
            break;
        }
    }
    EXPECT_EQ(child<DisplayGlyph>(*small, 0)->glyph, expected);

    // A missing delimiter leaves no glyph and no gap.
    const auto open = typeset("\\left.x\\right)", Level::text);
    const auto openGroup = child<DisplayList>(*open, 0);
    ASSERT_EQ(openGroup->children.size(), 2U);
    EXPECT_EQ(openGroup->children[0]->position().x, 0);
}

TEST_F(TypesetterTest, EnormousDelimitersStayBounded) {
    std::string rows;
    for (int i = 0; i < 400; ++i) {
        rows += "x\\\\";
    }
    const auto root = typeset("\\left(\\begin{matrix}" + rows + "\\end{matrix}\\right)");
    ASSERT_TRUE(root);
    const auto group = child<DisplayList>(*root, 0);
    const auto run = child<DisplayGlyphRun>(*group, 0);
    ASSERT_TRUE(run);
    EXPECT_LE(run->glyphs.size(), Typesetter::maxAssemblyGlyphs);
}

TEST_F(TypesetterTest, ColourGroupsCarryTheirColour) {
    const auto root = typeset("a\\color{#ff0000}{b}\\colorbox{#00ff00}{c}", Level::text);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 3U);
    EXPECT_EQ(root->children[1]->localTextColor, platform::Color(1, 0, 0));
    EXPECT_EQ(root->children[2]->localBackgroundColor, platform::Color(0, 1, 0));
    EXPECT_NEAR(root->children[2]->position().x,
                root->children[1]->position().x + root->children[1]->width(), 1e-9);
}

TEST_F(TypesetterTest, UnderAndOverlinesFollowTheFontsRules) {
    const auto root = typeset("\\underline{x}\\overline{y}", Level::text);
    ASSERT_TRUE(root);
    const auto under = child<DisplayLine>(*root, 0);
    const auto over = child<DisplayLine>(*root, 1);
    ASSERT_TRUE(under && over);
    EXPECT_NEAR(under->lineShiftUp, -(under->inner->descent() + metrics().underbarVerticalGap()),
                1e-9);
    EXPECT_EQ(under->lineThickness, metrics().underbarRuleThickness());
    EXPECT_NEAR(over->lineShiftUp, over->inner->ascent() + metrics().overbarVerticalGap(), 1e-9);
    EXPECT_NEAR(over->ascent(),
                over->inner->ascent() + metrics().overbarVerticalGap() +
                    metrics().overbarRuleThickness() + metrics().overbarExtraAscender(),
                1e-9);
}
