// The LaTeX parser, grouped by construct, and every error it reports.

#include "Math/Parser.hpp"
#include "Math/Serializer.hpp"

#include <gtest/gtest.h>
#include <pthread.h>

using namespace Math;
using Code = ParserError::Code;

namespace {

std::shared_ptr<AtomList> parse(std::string_view latex) {
    Parser parser(latex);
    auto list = parser.buildAtomList();
    EXPECT_TRUE(list) << latex.substr(0, 80) << ": "
                      << (parser.error() ? parser.error()->description() : "");
    EXPECT_FALSE(parser.error()) << latex.substr(0, 80);
    return list ? list : std::make_shared<AtomList>();
}

ParserError failure(std::string_view latex) {
    Parser parser(latex);
    EXPECT_FALSE(parser.buildAtomList()) << latex.substr(0, 80);
    EXPECT_FALSE(parseLatex(latex)) << latex.substr(0, 80);
    return parser.error().value_or(ParserError{Code::missingEnvironment, "no error"});
}

template <class T>
std::shared_ptr<T> only(const std::shared_ptr<AtomList>& list) {
    EXPECT_EQ(list->atoms.size(), 1u) << list->description();
    return list->atoms.empty() ? nullptr : std::dynamic_pointer_cast<T>(list->atoms[0]);
}

std::string nuclei(const AtomList& list) {
    std::string text;
    for (const auto& atom : list.atoms) {
        text += atom->nucleus.empty() ? "_" : atom->nucleus;
    }
    return text;
}

} // namespace

// MARK: Math mode

TEST(ParserMode, DelimitersChooseInlineOrDisplay) {
    Parser inlineParser("  $x$\n");
    const auto inlineList = inlineParser.buildAtomList();
    ASSERT_TRUE(inlineList);
    EXPECT_EQ(inlineParser.mode(), Parser::Mode::inline_);
    ASSERT_EQ(inlineList->atoms.size(), 2u);
    EXPECT_EQ(std::dynamic_pointer_cast<Style>(inlineList->atoms[0])->level, Style::Level::text);

    for (const auto* display : {"$$x$$", "\\[x\\]", "x"}) {
        Parser parser(display);
        const auto list = parser.buildAtomList();
        ASSERT_TRUE(list) << display;
        EXPECT_EQ(parser.mode(), Parser::Mode::display);
        EXPECT_EQ(nuclei(*list), "x") << display;
    }
    Parser paren("\\(y\\)");
    EXPECT_EQ(nuclei(*paren.buildAtomList()), "_y");
    EXPECT_EQ(paren.mode(), Parser::Mode::inline_);
    // White space of any script around the delimiters.
    Parser wide("\u2003\n\u00A0$z$\u3000");
    EXPECT_EQ(nuclei(*wide.buildAtomList()), "_z");
    EXPECT_EQ(wide.mode(), Parser::Mode::inline_);

    // Too short to unwrap: read as written.
    EXPECT_TRUE(parse("$$")->atoms.empty());
    EXPECT_TRUE(parse("$ $")->atoms.empty()); // inline, but nothing to mark
    EXPECT_TRUE(parse("$$$")->atoms.empty());
}

// MARK: Symbols, characters and font styles

TEST(ParserSymbols, CommandsAliasesAndCharacters) {
    const auto list = parse("\\alpha \\le x_1 \\to \\infty, \\{ \\} \\$ \\% \\# \\_ \\|");
    EXPECT_EQ(nuclei(*list), "\u03B1\u2264x\u2192\u221E,{}$%#_\u2016");
    EXPECT_EQ(list->atoms[0]->type, AtomType::variable);
    EXPECT_EQ(list->atoms[1]->type, AtomType::relation);
    EXPECT_EQ(list->atoms[2]->subscript()->atoms[0]->nucleus, "1");
    EXPECT_EQ(parse("a-b")->atoms[1]->nucleus, "\u2212");
    // Spaces, unknown characters and Greek typed directly make no atoms.
    EXPECT_EQ(nuclei(*parse(" a \t \u03B1 ~ b ")), "ab");
}

TEST(ParserSymbols, AccentedAndCyrillicInputAlsoDecomposed) {
    const auto precomposed = parse("\u00E9\u00F1\u0416");
    const auto decomposed = parse("e\u0301n\u0303\u0416");
    EXPECT_EQ(precomposed->description(), decomposed->description());
    const auto accent = std::dynamic_pointer_cast<Accent>(decomposed->atoms[0]);
    ASSERT_TRUE(accent);
    EXPECT_EQ(accent->nucleus, "\u0301");
    EXPECT_EQ(accent->innerList->atoms[0]->nucleus, "e");
    EXPECT_EQ(decomposed->atoms[2]->type, AtomType::ordinary);
    // A combining mark on a plain letter forms one character that stands for nothing.
    EXPECT_EQ(nuclei(*parse("x\u0302y")), "y");
}

TEST(ParserSymbols, CommandNamesReadCasedLettersOnly) {
    EXPECT_EQ(failure("\\caf\u00E9").message, "Invalid command \\caf\u00E9");
    EXPECT_EQ(failure("\\2").message, "Invalid command \\");
    EXPECT_EQ(failure("\\").message, "Invalid command \\");
    EXPECT_EQ(nuclei(*parse("\\pi2")), "\u03C02");
}

TEST(ParserFontStyles, StyleTheirArgument) {
    const auto list = parse("\\mathbf{ab}c\\mathrm x\\bm\\alpha");
    ASSERT_EQ(list->atoms.size(), 5u);
    EXPECT_EQ(list->atoms[0]->fontStyle, Atom::FontStyle::bold);
    EXPECT_EQ(list->atoms[1]->fontStyle, Atom::FontStyle::bold);
    EXPECT_EQ(list->atoms[2]->fontStyle, Atom::FontStyle::default_);
    EXPECT_EQ(list->atoms[3]->fontStyle, Atom::FontStyle::roman);
    EXPECT_EQ(list->atoms[4]->fontStyle, Atom::FontStyle::boldItalic);

    const auto text = parse("\\text{a b\u00DF\u03B1!}");
    EXPECT_EQ(nuclei(*text), "a b\u00DF\u03B1!");
    for (const auto& atom : text->atoms) {
        EXPECT_EQ(atom->fontStyle, Atom::FontStyle::roman);
    }
    EXPECT_EQ(text->atoms[1]->type, AtomType::ordinary);
    // Only \text keeps spaces; other roman styles keep unknown characters only inside \text.
    EXPECT_EQ(nuclei(*parse("\\mathrm{a b}")), "ab");
    EXPECT_EQ(nuclei(*parse("\\textbf{a b}")), "ab");
}

// MARK: Scripts and groups

TEST(ParserScripts, AttachToThePreviousAtom) {
    const auto twice = parse("x^2^3");
    ASSERT_EQ(twice->atoms.size(), 2u);
    EXPECT_EQ(twice->atoms[0]->superscript()->description(), "[2]");
    EXPECT_EQ(twice->atoms[1]->type, AtomType::ordinary);
    EXPECT_TRUE(twice->atoms[1]->nucleus.empty());
    EXPECT_EQ(twice->atoms[1]->superscript()->description(), "[3]");

    const auto leading = only<Atom>(parse("^2"));
    EXPECT_TRUE(leading->nucleus.empty());
    EXPECT_EQ(leading->superscript()->description(), "[2]");

    const auto group = parse("{ab}^2");
    EXPECT_EQ(group->description(), "[a, b^{[2]}]");
    const auto both = only<Atom>(parse("x_i^{n+1}"));
    EXPECT_EQ(both->subscript()->description(), "[i]");
    EXPECT_EQ(both->superscript()->description(), "[n, +, 1]");
    // A script after a scriptless atom goes on a new empty atom.
    const auto afterSpace = parse("\\quad^2");
    ASSERT_EQ(afterSpace->atoms.size(), 2u);
    EXPECT_FALSE(afterSpace->atoms[0]->superscript());
    EXPECT_TRUE(afterSpace->atoms[1]->superscript());
    // A script at the end is empty but present.
    EXPECT_TRUE(only<Atom>(parse("x^"))->superscript()->atoms.empty());
}

// MARK: Fractions

TEST(ParserFractions, CommandForms) {
    const auto half = only<Fraction>(parse("\\frac12"));
    ASSERT_TRUE(half);
    EXPECT_TRUE(half->hasRule);
    EXPECT_EQ(half->numerator->description(), "[1]");
    EXPECT_EQ(half->denominator->description(), "[2]");

    const auto open = only<Fraction>(parse("\\frac{a}"));
    EXPECT_TRUE(open->denominator->atoms.empty());

    const auto cfrac = only<Fraction>(parse("\\cfrac[l]{1}{x}"));
    EXPECT_TRUE(cfrac->isContinuedFraction);
    EXPECT_EQ(cfrac->alignment, "l");
    EXPECT_EQ(only<Fraction>(parse("\\cfrac[x]{1}{2}"))->alignment, "c");
    EXPECT_EQ(only<Fraction>(parse("\\cfrac [r] 1 2"))->alignment, "r");
    EXPECT_EQ(only<Fraction>(parse("\\cfrac["))->alignment, "c");

    const auto dfrac = only<Fraction>(parse("\\dfrac{a}{b}"));
    const auto style = std::dynamic_pointer_cast<Style>(dfrac->numerator->atoms[0]);
    ASSERT_TRUE(style);
    EXPECT_EQ(style->level, Style::Level::display);
    EXPECT_EQ(dfrac->denominator->atoms[0], dfrac->numerator->atoms[0]);
    EXPECT_EQ(
        std::dynamic_pointer_cast<Style>(only<Fraction>(parse("\\tfrac ab"))->numerator->atoms[0])
            ->level,
        Style::Level::text);

    const auto binom = only<Fraction>(parse("\\binom{n}{k}"));
    EXPECT_FALSE(binom->hasRule);
    EXPECT_EQ(binom->leftDelimiter, "(");
    EXPECT_EQ(binom->rightDelimiter, ")");
}

TEST(ParserFractions, InfixForms) {
    const auto over = only<Fraction>(parse("a \\over b"));
    EXPECT_TRUE(over->hasRule);
    EXPECT_EQ(over->numerator->description(), "[a]");
    EXPECT_EQ(over->denominator->description(), "[b]");

    const auto grouped = parse("{a \\over b} + c");
    ASSERT_EQ(grouped->atoms.size(), 3u);
    EXPECT_EQ(grouped->atoms[0]->type, AtomType::fraction);
    EXPECT_EQ(grouped->atoms[2]->nucleus, "c");

    const struct {
        const char* latex;
        bool rule;
        const char* left;
        const char* right;
    } forms[] = {{"a\\atop b", false, "", ""},
                 {"a\\choose b", false, "(", ")"},
                 {"a\\brack b", false, "[", "]"},
                 {"a\\brace b", false, "{", "}"}};
    for (const auto& form : forms) {
        const auto fraction = only<Fraction>(parse(form.latex));
        ASSERT_TRUE(fraction) << form.latex;
        EXPECT_EQ(fraction->hasRule, form.rule);
        EXPECT_EQ(fraction->leftDelimiter, form.left);
        EXPECT_EQ(fraction->rightDelimiter, form.right);
    }
    EXPECT_EQ(failure("{a \\over b").message, "Missing closing brace");
}

// MARK: Radicals

TEST(ParserRadicals, DegreeAndRadicand) {
    const auto cube = only<Radical>(parse("\\sqrt[3]{x}"));
    ASSERT_TRUE(cube);
    EXPECT_EQ(cube->degree->description(), "[3]");
    EXPECT_EQ(cube->radicand->description(), "[x]");
    const auto plain = only<Radical>(parse("\\sqrt x"));
    EXPECT_FALSE(plain->degree);
    EXPECT_EQ(plain->radicand->description(), "[x]");
    const auto nested = only<Radical>(parse("\\sqrt{\\sqrt[n]{a+b}}"));
    EXPECT_EQ(std::dynamic_pointer_cast<Radical>(nested->radicand->atoms[0])->degree->description(),
              "[n]");
    EXPECT_EQ(failure("\\sqrt[3").message, "Expected character not found: ]");
}

// MARK: \left ... \right

TEST(ParserLeftRight, BuildsInnerAtoms) {
    const auto inner = only<Inner>(parse("\\left( x \\right)"));
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->leftBoundary()->nucleus, "(");
    EXPECT_EQ(inner->rightBoundary()->nucleus, ")");
    EXPECT_EQ(inner->innerList->description(), "[x]");

    const auto fancy = only<Inner>(parse("\\left\\langle a \\right\\| "));
    EXPECT_EQ(fancy->leftBoundary()->nucleus, "\u2329");
    EXPECT_EQ(fancy->rightBoundary()->nucleus, "\u2016");
    const auto open = only<Inner>(parse("\\left. \\frac{df}{dx} \\right|"));
    EXPECT_TRUE(open->leftBoundary()->nucleus.empty());

    const auto nested = only<Inner>(parse("\\left[ \\left( a \\right) b \\right]"));
    ASSERT_EQ(nested->innerList->atoms.size(), 2u);
    EXPECT_EQ(
        std::dynamic_pointer_cast<Inner>(nested->innerList->atoms[0])->rightBoundary()->nucleus,
        ")");
    EXPECT_EQ(nested->rightBoundary()->nucleus, "]");
}

TEST(ParserLeftRight, Errors) {
    EXPECT_EQ(failure("\\left( x"), (ParserError{Code::missingRight, "Missing \\right"}));
    EXPECT_EQ(failure("\\right)"), (ParserError{Code::missingLeft, "Missing \\left"}));
    EXPECT_EQ(failure("\\left( a \\right) \\right)").code, Code::missingLeft);
    EXPECT_EQ(failure("\\left x \\right)"),
              (ParserError{Code::invalidDelimiter, "Invalid delimiter for left: x"}));
    EXPECT_EQ(failure("\\left( x \\right\\foo"),
              (ParserError{Code::invalidDelimiter, "Invalid delimiter for right: foo"}));
    EXPECT_EQ(failure("\\left"),
              (ParserError{Code::missingDelimiter, "Missing delimiter for \\left"}));
    EXPECT_EQ(failure("\\left( x \\right  ").message, "Missing delimiter for \\right");
}

// MARK: Spaces, styles, colours and other commands

TEST(ParserCommands, SpacesAndStyles) {
    const auto list = parse("a\\,b\\;c\\!d\\quad e\\qquad\\displaystyle f\\scriptscriptstyle");
    std::vector<double> amounts;
    std::vector<Style::Level> levels;
    for (const auto& atom : list->atoms) {
        if (const auto space = std::dynamic_pointer_cast<Space>(atom)) {
            amounts.push_back(space->amount);
        }
        if (const auto style = std::dynamic_pointer_cast<Style>(atom)) {
            levels.push_back(style->level);
        }
    }
    EXPECT_EQ(amounts, (std::vector<double>{3, 5, -3, 18, 36}));
    EXPECT_EQ(levels, (std::vector{Style::Level::display, Style::Level::scriptOfScript}));
}

TEST(ParserCommands, Colours) {
    const auto color = only<Color>(parse("\\color{#FF0000}{x}"));
    ASSERT_TRUE(color);
    EXPECT_EQ(color->colorString, "#FF0000");
    EXPECT_EQ(color->innerList->description(), "[x]");
    const auto text = only<TextColor>(parse("\\textcolor{ red }{a+b}"));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->colorString, "red");
    EXPECT_EQ(text->innerList->atoms.size(), 3u);
    const auto box = only<ColorBox>(parse("\\colorbox{}y"));
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->colorString.empty());
    EXPECT_EQ(failure("\\color{red x}"), (ParserError{Code::characterNotFound, "Missing }"}));
    EXPECT_EQ(failure("\\color red"), (ParserError{Code::characterNotFound, "Missing {"}));
}

TEST(ParserCommands, AccentsOverlinesAndOperators) {
    const auto hat = only<Accent>(parse("\\hat{x}"));
    ASSERT_TRUE(hat);
    EXPECT_EQ(hat->nucleus, "\u0302");
    EXPECT_EQ(hat->innerList->description(), "[x]");
    EXPECT_EQ(only<Accent>(parse("\\vec v"))->nucleus, "\u20D7");
    EXPECT_EQ(only<Overline>(parse("\\overline{AB}"))->innerList->atoms.size(), 2u);
    EXPECT_EQ(only<Underline>(parse("\\underline x"))->innerList->atoms.size(), 1u);

    const auto sum = std::dynamic_pointer_cast<LargeOperator>(parse("\\sum\\nolimits_i")->atoms[0]);
    EXPECT_FALSE(sum->limits);
    EXPECT_EQ(sum->subscript()->description(), "[i]");
    EXPECT_TRUE(std::dynamic_pointer_cast<LargeOperator>(parse("\\int\\limits")->atoms[0])->limits);

    const auto pmod = only<Inner>(parse("\\pmod{p}"));
    ASSERT_TRUE(pmod);
    EXPECT_EQ(pmod->leftBoundary()->nucleus, "(");
    ASSERT_EQ(pmod->innerList->atoms.size(), 3u);
    EXPECT_EQ(pmod->innerList->atoms[0]->nucleus, "mod");
    EXPECT_EQ(std::dynamic_pointer_cast<Space>(pmod->innerList->atoms[1])->amount, 6);
    EXPECT_EQ(pmod->innerList->atoms[2]->nucleus, "p");

    const auto notIn = only<Atom>(parse("\\not \\in"));
    EXPECT_EQ(notIn->type, AtomType::relation);
    EXPECT_EQ(notIn->nucleus, "\u2209");
    EXPECT_EQ(only<Atom>(parse("\\not\\equiv"))->nucleus, "\u2262");
}

// MARK: Environments

TEST(ParserEnvironments, NamedEnvironments) {
    const auto pmatrix = only<Inner>(parse("\\begin{pmatrix} a & b \\\\ c & d \\end{pmatrix}"));
    ASSERT_TRUE(pmatrix);
    const auto table = std::dynamic_pointer_cast<Table>(pmatrix->innerList->atoms[0]);
    ASSERT_TRUE(table);
    ASSERT_EQ(table->cells.size(), 2u);
    EXPECT_EQ(table->cells[1][1]->atoms.back()->nucleus, "d");

    const auto aligned = only<Table>(parse("\\begin{aligned} x &= 1 \\cr y &= 2 \\end{aligned}"));
    ASSERT_TRUE(aligned);
    EXPECT_EQ(aligned->environment, "aligned");
    EXPECT_EQ(aligned->cells.size(), 2u);

    const auto cases =
        only<Inner>(parse("\\begin{cases} 1 & x>0 \\\\ 0 & \\text{else} \\end{cases}"));
    ASSERT_TRUE(cases);
    EXPECT_EQ(cases->leftBoundary()->nucleus, "{");

    // Environments nest, and a brace group inside a cell stays a group.
    const auto nested =
        only<Table>(parse("\\begin{matrix} \\begin{matrix} a \\end{matrix} & {b} \\end{matrix}"));
    ASSERT_TRUE(nested);
    EXPECT_EQ(nested->cells[0].size(), 2u);
    EXPECT_TRUE(std::dynamic_pointer_cast<Table>(nested->cells[0][0]->atoms[1]));

    const auto gather = only<Table>(parse("\\begin{gather} a \\\\ b \\\\ c \\end{gather}"));
    EXPECT_EQ(gather->cells.size(), 3u);
    const auto eqnarray = only<Table>(parse("\\begin{eqnarray} a & = & b \\end{eqnarray}"));
    EXPECT_EQ(eqnarray->cells[0].size(), 3u);
    EXPECT_TRUE(only<Table>(parse("\\begin{displaylines} a \\end{displaylines}")));
    EXPECT_TRUE(only<Table>(parse("\\begin{split} a &= b \\end{split}")));
    EXPECT_TRUE(only<Table>(parse("\\begin{eqalign} a &= b \\end{eqalign}")));
}

TEST(ParserEnvironments, EveryMatrixEnvironment) {
    const struct {
        const char* name;
        const char* left; // empty: no delimiters
        const char* right;
    } matrices[] = {{"matrix", "", ""},
                    {"pmatrix", "(", ")"},
                    {"bmatrix", "[", "]"},
                    {"Bmatrix", "{", "}"},
                    {"vmatrix", "|", "|"},
                    {"Vmatrix", "\u2016", "\u2016"},
                    {"smallmatrix", "", ""},
                    {"matrix*", "", ""},
                    {"pmatrix*", "(", ")"},
                    {"bmatrix*", "[", "]"},
                    {"Bmatrix*", "{", "}"},
                    {"vmatrix*", "|", "|"},
                    {"Vmatrix*", "\u2016", "\u2016"}};
    for (const auto& matrix : matrices) {
        const std::string latex =
            std::string("\\begin{") + matrix.name + "} a & b \\\\ c & d \\end{" + matrix.name + "}";
        const auto list = parse(latex);
        ASSERT_EQ(list->atoms.size(), 1u) << latex;
        std::shared_ptr<Table> table;
        if (*matrix.left) {
            const auto inner = std::dynamic_pointer_cast<Inner>(list->atoms[0]);
            ASSERT_TRUE(inner) << latex;
            EXPECT_EQ(inner->leftBoundary()->nucleus, matrix.left);
            EXPECT_EQ(inner->rightBoundary()->nucleus, matrix.right);
            table = std::dynamic_pointer_cast<Table>(inner->innerList->atoms[0]);
        } else {
            table = std::dynamic_pointer_cast<Table>(list->atoms[0]);
        }
        ASSERT_TRUE(table) << latex;
        EXPECT_EQ(table->environment, "matrix");
        EXPECT_EQ(table->cells.size(), 2u);
        EXPECT_EQ(table->cells[1].size(), 2u);
    }
}

TEST(ParserEnvironments, ImplicitTables) {
    const auto row = only<Table>(parse("a & b"));
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->environment.empty());
    ASSERT_EQ(row->cells.size(), 1u);
    EXPECT_EQ(row->cells[0].size(), 2u);
    const auto rows = only<Table>(parse("a \\\\ b"));
    ASSERT_EQ(rows->cells.size(), 2u);
    EXPECT_EQ(rows->cells[1][0]->description(), "[b]");

    // An implicit table inside a group ends at its closing brace.
    const auto grouped = parse("x + {a & b} ");
    ASSERT_EQ(grouped->atoms.size(), 3u);
    EXPECT_TRUE(std::dynamic_pointer_cast<Table>(grouped->atoms[2]));
    const auto substack = only<Table>(parse("\\substack{a \\\\ b}"));
    ASSERT_TRUE(substack);
    EXPECT_EQ(substack->cells.size(), 2u);
    const auto single = only<Table>(parse("\\substack{ab}"));
    ASSERT_TRUE(single);
    EXPECT_EQ(single->cells[0][0]->atoms.size(), 2u);
}

TEST(ParserEnvironments, SeveralRowBreaksInOneCellKeepRowsInRange) {
    // The second cell holds two row breaks, one of them inside a group: the rows are grown to
    // the count instead of running past the end.
    const auto table = only<Table>(parse("a & {b \\\\ c \\\\ d}"));
    ASSERT_TRUE(table);
    ASSERT_EQ(table->cells.size(), 3u);
    EXPECT_EQ(table->cells[0][1]->description(), "[b, c]");
    EXPECT_TRUE(table->cells[1].empty());
    EXPECT_EQ(table->cells[2][0]->description(), "[d]");
}

TEST(ParserEnvironments, Errors) {
    EXPECT_EQ(failure("\\begin{matrix} a \\end{pmatrix}"),
              (ParserError{Code::invalidEnvironment,
                           "Begin environment name matrix does not match end name: pmatrix"}));
    EXPECT_EQ(failure("a & b \\end{x}").message,
              "Begin environment name (none) does not match end name: x");
    EXPECT_EQ(failure("\\end{x}"), (ParserError{Code::missingBegin, "Missing \\begin"}));
    EXPECT_EQ(failure("\\begin{matrix} a"), (ParserError{Code::missingEnd, "Missing \\end"}));
    EXPECT_EQ(failure("\\begin{foo} a \\end{foo}"),
              (ParserError{Code::invalidEnvironment, "Unknown environment foo"}));
    EXPECT_EQ(
        failure("\\begin{aligned} a & b & c \\end{aligned}"),
        (ParserError{Code::invalidNumberOfColumns, "aligned environment can only have 2 columns"}));
    EXPECT_EQ(failure("\\begin{cases} a & b & c \\end{cases}").message,
              "cases environment can have 1 or 2 columns");
    EXPECT_EQ(failure("\\begin{gather} a & b \\end{gather}").message,
              "gather environment can only have 1 column");
    EXPECT_EQ(failure("\\begin matrix"), (ParserError{Code::characterNotFound, "Missing {"}));
    EXPECT_EQ(failure("\\begin{matrix"), (ParserError{Code::characterNotFound, "Missing }"}));
    EXPECT_EQ(failure("\\begin{matrix} a } \\end{matrix}"),
              (ParserError{Code::mismatchedBraces, "Mismatched braces."}));
}

// MARK: Errors

TEST(ParserErrors, EveryCodeWithItsMessage) {
    EXPECT_EQ(failure("a}b"), (ParserError{Code::mismatchedBraces, "Mismatched braces."}));
    EXPECT_EQ(failure("{a"), (ParserError{Code::mismatchedBraces, "Missing closing brace"}));
    EXPECT_EQ(failure(" a & b } c"),
              (ParserError{Code::mismatchedBraces, "Mismatched braces:  a & b } c"}));
    EXPECT_EQ(failure("\\foo\\bar"), (ParserError{Code::invalidCommand, "Invalid command \\foo"}));
    EXPECT_EQ(failure("\\not\\alpha"),
              (ParserError{Code::invalidCommand, "Unsupported \\not\\alpha combination"}));
    EXPECT_EQ(failure("\\not="),
              (ParserError{Code::invalidCommand, "Unsupported \\not\\ combination"}));
    EXPECT_EQ(failure("\\sqrt[3"),
              (ParserError{Code::characterNotFound, "Expected character not found: ]"}));
    EXPECT_EQ(failure("x\\limits"),
              (ParserError{Code::invalidLimits, "Limits can only be applied to an operator."}));
    EXPECT_EQ(failure("\\nolimits"),
              (ParserError{Code::invalidLimits, "No limits can only be applied to an operator."}));
    // As an error value it has the platform's generic text; its message is what says more.
    EXPECT_EQ(failure("}").localizedDescription(),
              "The operation couldn\u2019t be completed. (Math.ParserError error 1.)");
    EXPECT_EQ(static_cast<int>(Code::mismatchedBraces), 1);
    EXPECT_EQ(static_cast<int>(Code::missingEnvironment), 9);
    EXPECT_EQ(static_cast<int>(Code::invalidLimits), 14);
}

TEST(ParserErrors, FirstErrorWins) {
    EXPECT_EQ(failure("\\frac{\\foo}{\\bar}").message, "Invalid command \\foo");
    EXPECT_EQ(failure("\\left( \\begin{x} a \\end{y}").message,
              "Begin environment name x does not match end name: y");
    EXPECT_EQ(failure("\\sqrt[\\right)").code, Code::missingLeft);
}

TEST(ParserErrors, DeepNestingIsAnErrorNotACrash) {
    const auto nested = [](const std::string& open, const std::string& close, int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i) {
            text += open;
        }
        text += "x";
        for (int i = 0; i < depth; ++i) {
            text += close;
        }
        return text;
    };
    const ParserError tooDeep{Code::nestingTooDeep, "Nesting too deep"};
    EXPECT_EQ(failure(nested("{", "}", 100000)), tooDeep);
    EXPECT_EQ(failure(nested("x^{", "}", 50000)), tooDeep);
    EXPECT_EQ(failure(nested("\\left(", "\\right)", 50000)), tooDeep);
    EXPECT_EQ(failure(nested("\\begin{matrix}", "\\end{matrix}", 20000)), tooDeep);
    EXPECT_EQ(failure(nested("\\frac{", "}{}", 50000)), tooDeep);
    std::string radicals;
    for (int i = 0; i < 50000; ++i) {
        radicals += "\\sqrt";
    }
    EXPECT_EQ(failure(radicals), tooDeep);
    // The deepest formula accepted has maximumDepth lists: one more level is refused.
    EXPECT_TRUE(parseLatex(nested("{", "}", Parser::maximumDepth - 1)));
    EXPECT_EQ(failure(nested("{", "}", Parser::maximumDepth)), tooDeep);
    EXPECT_TRUE(parseLatex(nested("\\left(", "\\right)", Parser::maximumDepth - 1)));
    EXPECT_EQ(failure(nested("\\left(", "\\right)", Parser::maximumDepth)), tooDeep);
    // Formulas well inside the limit are fine.
    EXPECT_TRUE(parseLatex(nested("{", "}", 100)));
    EXPECT_TRUE(parseLatex(nested("\\sqrt{", "}", 40)));
}

TEST(ParserErrors, DeepestAcceptedFormulasFitASmallThreadStack) {
    // A worker thread with a modest stack can parse, finalise and write the deepest formulas the
    // parser accepts, whatever construct does the nesting.
    struct Nesting {
        std::string open;
        std::string close;
        int levelsEach; // reading levels one repetition takes
    };
    const Nesting kinds[] = {{"{", "}", 1},
                             {"\\left(", "\\right)", 1},
                             {"\\begin{pmatrix}", "\\end{pmatrix}", 1},
                             {"x^{", "}", 2},
                             {"\\frac{", "}{y}", 2},
                             {"\\sqrt[3]{", "}", 2},
                             {"\\color{red}{\\hat{", "}}", 4}};
    struct Job {
        std::vector<std::string> texts;
        int parsed = 0;
    } job;
    for (const auto& kind : kinds) {
        std::string text;
        const int count = (Parser::maximumDepth - 1) / kind.levelsEach;
        for (int i = 0; i < count; ++i) {
            text += kind.open;
        }
        text += "x";
        for (int i = 0; i < count; ++i) {
            text += kind.close;
        }
        job.texts.push_back(text);
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 1024 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attributes,
                  [](void* argument) -> void* {
                      auto& work = *static_cast<Job*>(argument);
                      for (const auto& text : work.texts) {
                          const auto list = parseLatex(text);
                          if (list && !serializeAtomList(finalizedAtomList(*list)).empty()) {
                              ++work.parsed;
                          }
                      }
                      return nullptr;
                  },
                  &job),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_EQ(job.parsed, static_cast<int>(job.texts.size()));
}

TEST(ParserErrors, MalformedUtf8IsReadAsReplacementCharacters) {
    EXPECT_EQ(nuclei(*parse("a\xFF\xFE"
                            "b")),
              "ab");
    EXPECT_EQ(failure("\\text{\xC3}}").code, Code::mismatchedBraces);
}
