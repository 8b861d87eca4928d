// Writing atom lists back as LaTeX, and reading the output again.

#include "Math/NameTables.hpp"
#include "Math/Parser.hpp"
#include "Math/Serializer.hpp"
#include "Math/SymbolTable.hpp"

#include <clocale>
#include <fstream>
#include <gtest/gtest.h>

using namespace Math;

namespace {

std::shared_ptr<Atom> atom(AtomType type, std::string nucleus) {
    return std::make_shared<Atom>(type, std::move(nucleus));
}

std::shared_ptr<AtomList> list(std::vector<std::shared_ptr<Atom>> atoms) {
    return std::make_shared<AtomList>(std::move(atoms));
}

std::string written(std::string_view latex) {
    const auto parsed = parseLatex(latex);
    EXPECT_TRUE(parsed) << latex;
    return parsed ? serializeAtomList(parsed) : "<error>";
}

} // namespace

TEST(Serializer, AtomsAndScripts) {
    EXPECT_EQ(serializeAtomList(nullptr), "");
    EXPECT_EQ(serializeAtomList(AtomList()), "");
    auto x = atom(AtomType::variable, "x");
    x->setSuperscript(list({atom(AtomType::number, "2")}));
    x->setSubscript(list({atom(AtomType::variable, "i")}));
    EXPECT_EQ(serializeAtomList(list({x})), "x^{2}_{i}");
    EXPECT_EQ(serializeAtomList(list({atom(AtomType::variable, "x")})), "x");
    // Signs go back to ASCII, symbols to their shortest command, empty nuclei to a group.
    EXPECT_EQ(written("a-b:c"), "a-b:c");
    EXPECT_EQ(written("\\alpha\\Longrightarrow\\Vert"), "\\alpha \\implies \\| ");
    EXPECT_EQ(written("^2"), "{}^{2}");
    EXPECT_EQ(written("\\{ \\}"), "\\{ \\} ");
}

TEST(Serializer, FontStylesShareAGroup) {
    auto a = atom(AtomType::variable, "a");
    auto b = atom(AtomType::variable, "b");
    a->fontStyle = b->fontStyle = Atom::FontStyle::roman;
    EXPECT_EQ(serializeAtomList(list({a, b, atom(AtomType::variable, "c")})), "\\mathrm{ab}c");
    EXPECT_EQ(written("\\mathbf{x}\\mathcal{L}\\bm y"), "\\mathbf{x}\\mathcal{L}\\bm{y}");
    EXPECT_EQ(written("\\mathfrak g\\mathbb R\\mathsf s\\mathtt t\\mathit i"),
              "\\mathfrak{g}\\mathbb{R}\\mathsf{s}\\mathtt{t}\\mathit{i}");
}

TEST(Serializer, Fractions) {
    EXPECT_EQ(written("\\frac12"), "\\frac{1}{2}");
    EXPECT_EQ(written("1 \\atop 2"), "{1 \\atop 2}");
    EXPECT_EQ(written("1 \\choose 2"), "{1 \\choose 2}");
    EXPECT_EQ(written("\\binom{n}{k}"), "{n \\choose k}");
    EXPECT_EQ(written("a \\brack b"), "{a \\brack b}");
    EXPECT_EQ(written("a \\brace b"), "{a \\brace b}");
    EXPECT_EQ(written("\\cfrac[l]{1}{x}"), "\\cfrac[l]{1}{x}");
    EXPECT_EQ(written("\\cfrac{1}{x}"), "\\cfrac{1}{x}");
    Fraction odd;
    odd.hasRule = false;
    odd.leftDelimiter = "(";
    odd.rightDelimiter = "]";
    odd.numerator = list({atom(AtomType::number, "1")});
    odd.denominator = list({atom(AtomType::number, "2")});
    EXPECT_EQ(serializeAtomList(list({odd.copy()})), "{1 \\atopwithdelims(] 2}");
    // A fraction-typed atom of another class has nothing to write.
    EXPECT_EQ(serializeAtomList(list({atom(AtomType::fraction, "")})), "");
}

TEST(Serializer, RadicalsInnersAndLines) {
    EXPECT_EQ(written("\\sqrt[3]{x}"), "\\sqrt[3]{x}");
    EXPECT_EQ(written("\\sqrt x"), "\\sqrt{x}");
    EXPECT_EQ(written("\\left( x \\right)"), "\\left( x\\right) ");
    EXPECT_EQ(written("\\left\\langle x \\right."), "\\left< x\\right. ");
    EXPECT_EQ(written("\\left\\lfloor x \\right\\Vert"), "\\left\\lfloor x\\right\\| ");
    EXPECT_EQ(
        serializeAtomList(list({std::make_shared<Inner>(list({atom(AtomType::variable, "x")}))})),
        "{x}");
    EXPECT_EQ(written("\\overline{a}\\underline b"), "\\overline{a}\\underline{b}");
    EXPECT_EQ(written("\\widehat{xy}\\vec v"), "\\hat{xy}\\vec{v}");
}

TEST(Serializer, DelimiterCommandNames) {
    const auto name = [](const char* delimiter) {
        return delimiterCommandName(*boundaryAtomForDelimiterName(delimiter));
    };
    EXPECT_EQ(name("("), "(");
    EXPECT_EQ(name("."), ".");
    EXPECT_EQ(name("/"), "/");
    EXPECT_EQ(name("Vert"), "\\|");
    EXPECT_EQ(name("langle"), "<");
    EXPECT_EQ(name("lceil"), "\\lceil");
    EXPECT_EQ(name("lbrace"), "\\{");
    EXPECT_EQ(delimiterCommandName(Atom(AtomType::open, "(")), "");
    EXPECT_EQ(delimiterCommandName(Atom(AtomType::boundary, "x")), "");
}

TEST(Serializer, OperatorsSpacesAndStyles) {
    EXPECT_EQ(written("\\sum_{i}\\int\\limits\\lim\\nolimits\\limsup"),
              "\\sum _{i}\\int \\limits \\lim \\nolimits \\limsup ");
    EXPECT_EQ(serializeAtomList(list({std::make_shared<Space>(6)})), "\\mkern6.0mu");
    EXPECT_EQ(serializeAtomList(list({std::make_shared<Space>(18)})), "\\quad ");
    EXPECT_EQ(serializeAtomList(list({std::make_shared<Space>(2.25)})), "\\mkern2.2mu");
    EXPECT_EQ(written("\\,\\>\\;\\!\\qquad"), "\\, \\> \\; \\! \\qquad ");
    EXPECT_EQ(written("\\displaystyle\\textstyle\\scriptstyle\\scriptscriptstyle"),
              "\\displaystyle \\textstyle \\scriptstyle \\scriptscriptstyle ");
}

TEST(Serializer, TablesWithoutTouchingTheList) {
    const auto parsed = parseLatex("\\begin{matrix} a & b \\\\ c & d \\end{matrix}");
    ASSERT_TRUE(parsed);
    const std::string before = parsed->description();
    EXPECT_EQ(serializeAtomList(parsed), "\\begin{matrix}a&b\\\\ c&d\\end{matrix}");
    // The cells keep their style atoms: writing twice gives the same text.
    EXPECT_EQ(parsed->description(), before);
    EXPECT_EQ(serializeAtomList(parsed), "\\begin{matrix}a&b\\\\ c&d\\end{matrix}");
    const auto table = std::dynamic_pointer_cast<Table>(parsed->atoms[0]);
    EXPECT_EQ(table->cells[0][0]->atoms[0]->type, AtomType::style);

    EXPECT_EQ(written("\\begin{aligned} x &= 1 \\\\ y &= 2 \\end{aligned}"),
              "\\begin{aligned}x&=1\\\\ y&=2\\end{aligned}");
    EXPECT_EQ(written("\\begin{pmatrix} 1 \\end{pmatrix}"),
              "\\left( \\begin{matrix}1\\end{matrix}\\right) ");
    EXPECT_EQ(written("a & b \\\\ c"), "a&b\\\\ c");
    EXPECT_EQ(written("\\begin{cases} 1 & x \\\\ 0 & y \\end{cases}"),
              "\\begin{cases}1&x\\\\ 0&y\\end{cases}");
}

TEST(Serializer, ColoursAndNegationsKeepTheirContent) {
    EXPECT_EQ(written("\\color{#FF0000}{x}"), "\\color{#FF0000}{x}");
    EXPECT_EQ(written("\\textcolor{red}{a+b}\\colorbox{blue}{c}"),
              "\\textcolor{red}{a+b}\\colorbox{blue}{c}");
    EXPECT_EQ(written("a\\not\\equiv b \\not\\subset c \\not\\in d"),
              "a\\not\\equiv b\\not\\subset c\\notin d");
}

TEST(Serializer, RoundTrips) {
    // Parsing what was written gives the same list again.
    for (const auto* latex : {"x^2_i + y",
                              "\\frac{a}{b}",
                              "{n \\choose k}",
                              "\\cfrac[r]{1}{1+x}",
                              "\\sqrt[n]{x+1}",
                              "\\left[ \\frac{1}{2} \\right)",
                              "\\sum\\limits_{i=0}^{n} i^2",
                              "\\int\\nolimits_0^1 f",
                              "\\alpha\\beta\\Gamma",
                              "\\mathbf{v} = \\mathrm{d}x",
                              "\\hat{x} \\bar y \\vec{z}",
                              "\\overline{AB}",
                              "\\begin{matrix} a & b \\\\ c & d \\end{matrix}",
                              "\\begin{pmatrix} 1 & 0 \\\\ 0 & 1 \\end{pmatrix}",
                              "\\begin{aligned} x &= y \\\\ z &= w \\end{aligned}",
                              "\\begin{cases} x & y>0 \\\\ -x & y \\le 0 \\end{cases}",
                              "\\begin{gather} a \\\\ b \\end{gather}",
                              "a & b \\\\ c & d",
                              "\\quad x \\; y",
                              "\\displaystyle \\sum",
                              "\\color{red}{x}",
                              "a \\not\\approx b",
                              "\\{ x \\}",
                              "\\left\\| v \\right\\|",
                              "\\left\\backslash x \\right/",
                              "{}^{2}x",
                              "\\text{a b}",
                              "$x+1$"}) {
        const std::string once = written(latex);
        const auto again = parseLatex(once);
        ASSERT_TRUE(again) << latex << " -> " << once;
        EXPECT_EQ(serializeAtomList(again), once) << latex;
        EXPECT_EQ(again->description(), parseLatex(latex)->description()) << latex;
    }
}

TEST(Serializer, ScriptsOfAFontGroupStayOutsideIt) {
    // Inside the group the scripts would take its font when read back.
    EXPECT_EQ(written("\\mathrm{d}^2"), "\\mathrm{d}^{2}");
    EXPECT_EQ(written("\\mathrm{dx}_i y"), "\\mathrm{dx}_{i}y");
    EXPECT_EQ(written("\\mathbf{a}^2\\mathbf{b}"), "\\mathbf{a}^{2}\\mathbf{b}");
    EXPECT_EQ(written("\\mathrm{d^2}"), "\\mathrm{d}^{\\mathrm{2}}");
    // So do atoms holding lists: their atoms carry fonts of their own.
    EXPECT_EQ(written("\\mathrm{a\\hat{b}c}"), "\\mathrm{a}\\hat{\\mathrm{b}}\\mathrm{c}");
    EXPECT_EQ(written("\\text{\u00e9t\u00e9}"), "\\acute{e}\\mathrm{t}\\acute{e}");
}

TEST(Serializer, SpacesWithoutANameReadBack) {
    EXPECT_EQ(written("a \\pmod{n}"), "a\\left( \\mod \\mkern6.0mun\\right) ");
    EXPECT_EQ(written("\\mkern-1.5mu x\\mkern +2 m u"), "\\mkern-1.5mux\\mkern2.0mu");
    // The widest amount the parser reads is written out whole.
    const std::string nines(64, '9');
    const std::string wide = written("\\mkern" + nines + "mu"); // 1e64, in 65 digits
    EXPECT_EQ(wide.size(), std::string("\\mkern").size() + 65 + 4) << wide;
    EXPECT_TRUE(parseLatex(wide));
    const auto huge = serializeAtomList(list({std::make_shared<Space>(1e300)}));
    EXPECT_EQ(huge.size(), std::string("\\mkern").size() + 301 + 2 + 2) << huge;
    for (const auto* bad : {"\\mkern", "\\mkern mu", "\\mkern3", "\\mkern3pt", "\\mkern1.2.3mu"}) {
        const auto parsed = parseLatex(bad);
        EXPECT_FALSE(parsed) << bad;
    }
}

TEST(Serializer, CorpusRoundTripsToTheSameText) {
    // Realistic formulas: what is written reads back as the same formula, so writing it again
    // gives the same text.
    std::ifstream corpus("tests/fixtures/math/formulas.txt");
    ASSERT_TRUE(corpus) << "formula corpus not found";
    std::string line;
    int formulas = 0;
    while (std::getline(corpus, line)) {
        if (line.empty()) {
            continue;
        }
        const auto parsed = parseLatex(line);
        if (!parsed) {
            continue; // the corpus may hold formulas the parser refuses
        }
        ++formulas;
        const std::string once = serializeAtomList(parsed);
        const auto again = parseLatex(once);
        ASSERT_TRUE(again) << line << " -> " << once;
        EXPECT_EQ(serializeAtomList(again), once) << line;
    }
    EXPECT_GT(formulas, 100);
}

TEST(Serializer, SpaceAmountsIgnoreTheProcessLocale) {
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        GTEST_SKIP() << "no locale with a decimal comma installed";
    }
    const std::string six = serializeAtomList(list({std::make_shared<Space>(6)}));
    const std::string negative = serializeAtomList(list({std::make_shared<Space>(-1.5)}));
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(six, "\\mkern6.0mu");
    EXPECT_EQ(negative, "\\mkern-1.5mu");
}
