// Atoms and lists: types, script rules, deep copies, fusing, descriptions and finalisation.

#include "Math/AtomList.hpp"
#include "Math/Parser.hpp"
#include "Math/Serializer.hpp"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace Math;

namespace {

std::shared_ptr<Atom> atom(AtomType type, std::string nucleus, IndexRange range = {}) {
    auto a = std::make_shared<Atom>(type, std::move(nucleus));
    a->indexRange = range;
    return a;
}

std::shared_ptr<AtomList> list(std::vector<std::shared_ptr<Atom>> atoms) {
    return std::make_shared<AtomList>(std::move(atoms));
}

std::vector<AtomType> types(const AtomList& l) {
    std::vector<AtomType> out;
    for (const auto& a : l.atoms) {
        out.push_back(a->type);
    }
    return out;
}

// Every atom object reachable from a list (scripts, nested lists, cells, fused parts).
void collect(const AtomList* l, std::set<const Atom*>& out);

void collect(const Atom& a, std::set<const Atom*>& out) {
    out.insert(&a);
    collect(a.subscript().get(), out);
    collect(a.superscript().get(), out);
    for (const auto& part : a.fusedAtoms) {
        collect(*part, out);
    }
    if (const auto* f = dynamic_cast<const Fraction*>(&a)) {
        collect(f->numerator.get(), out);
        collect(f->denominator.get(), out);
    } else if (const auto* r = dynamic_cast<const Radical*>(&a)) {
        collect(r->radicand.get(), out);
        collect(r->degree.get(), out);
    } else if (const auto* i = dynamic_cast<const Inner*>(&a)) {
        collect(i->innerList.get(), out);
        if (i->leftBoundary()) {
            out.insert(i->leftBoundary().get());
        }
    } else if (const auto* t = dynamic_cast<const Table*>(&a)) {
        for (const auto& row : t->cells) {
            for (const auto& cell : row) {
                collect(cell.get(), out);
            }
        }
    } else if (const auto* c = dynamic_cast<const Color*>(&a)) {
        collect(c->innerList.get(), out);
    } else if (const auto* ac = dynamic_cast<const Accent*>(&a)) {
        collect(ac->innerList.get(), out);
    }
}

void collect(const AtomList* l, std::set<const Atom*>& out) {
    if (l) {
        for (const auto& a : l->atoms) {
            collect(*a, out);
        }
    }
}

} // namespace

TEST(AtomType, RawValuesOrderingAndText) {
    EXPECT_LT(AtomType::accent, AtomType::boundary);
    EXPECT_LT(AtomType::boundary, AtomType::space);
    EXPECT_LT(AtomType::space, AtomType::table);
    EXPECT_EQ(atomTypeFromRawValue(101), AtomType::boundary);
    EXPECT_EQ(atomTypeFromRawValue(1001), AtomType::table);
    EXPECT_EQ(atomTypeFromRawValue(18), std::nullopt);
    EXPECT_EQ(atomTypeFromRawValue(0), std::nullopt);
    EXPECT_EQ(atomTypeFromRawValue(206), std::nullopt);
    EXPECT_EQ(description(AtomType::largeOperator), "Large Operator");
    EXPECT_EQ(description(AtomType::colorBox), "Colorbox");
    EXPECT_EQ(description(AtomType::textColor), "TextColor");
    EXPECT_EQ(Atom::fontStyleFromRawValue(9), Atom::FontStyle::boldItalic);
    EXPECT_EQ(Atom::fontStyleFromRawValue(10), std::nullopt);
}

TEST(AtomScripts, ScriptlessTypesDropTheirScripts) {
    for (const auto type : {AtomType::space, AtomType::style, AtomType::color, AtomType::textColor,
                            AtomType::colorBox, AtomType::table, AtomType::boundary}) {
        Atom a(type);
        a.setSuperscript(list({atom(AtomType::number, "2")}));
        a.setSubscript(list({}));
        EXPECT_FALSE(a.superscript()) << description(type);
        EXPECT_FALSE(a.subscript()) << description(type);
    }
    Atom accent(AtomType::accent);
    accent.setSuperscript(list({}));
    EXPECT_TRUE(accent.superscript());
}

TEST(AtomList, AppendAndInsertKeepBoundariesOut) {
    AtomList l;
    l.append(atom(AtomType::boundary, "("));
    l.append(atom(AtomType::variable, "x"));
    l.insert(atom(AtomType::variable, "a"), 0);
    l.insert(atom(AtomType::variable, "z"), 2); // at the end: appends
    l.insert(atom(AtomType::variable, "q"), 7); // past the end: nothing
    l.insert(atom(AtomType::boundary, ")"), 1);
    EXPECT_EQ(l.description(), "[a, x, z]");
}

TEST(AtomDescription, ShowsStructure) {
    auto x = atom(AtomType::variable, "x");
    x->setSuperscript(list({atom(AtomType::number, "2")}));
    EXPECT_EQ(x->description(), "x^{[2]}");
    EXPECT_EQ(Fraction().description(), "\\frac{placeholder}{placeholder}");
    Fraction binom;
    binom.hasRule = false;
    binom.leftDelimiter = "(";
    binom.rightDelimiter = ")";
    binom.numerator = list({atom(AtomType::variable, "n")});
    binom.denominator = list({atom(AtomType::variable, "k")});
    EXPECT_EQ(binom.description(), "\\atop[(][)]{[n]}{[k]}");
    EXPECT_EQ(Radical(list({atom(AtomType::variable, "x")}), list({atom(AtomType::number, "3")}))
                  .description(),
              "\\sqrt[[3]]{[x]}");
    const Inner inner(list({atom(AtomType::variable, "x")}), atom(AtomType::boundary, "("),
                      atom(AtomType::boundary, ")"));
    EXPECT_EQ(inner.description(), "\\inner[(]{[x]}[)]");
    EXPECT_EQ(Color("red", list({atom(AtomType::variable, "x")})).description(),
              "\\color{red}{[x]}");
    EXPECT_EQ(ColorBox("#fff").description(), "\\colorbox{#fff}");
}

TEST(AtomCopy, IsDeepAndKeepsClassFields) {
    const auto parsed = parseLatex(
        "\\frac{a^2}{b_1} + \\sqrt[3]{x} \\left( y \\right) \\begin{pmatrix} 1 & 2 \\end{pmatrix}"
        " \\color{red}{z} \\hat{w} \\int\\limits 12");
    ASSERT_TRUE(parsed);
    const auto finalized = finalizedAtomList(*parsed); // has fused atoms
    for (const auto& source : {parsed, finalized}) {
        const auto copy = source->deepCopy();
        EXPECT_EQ(copy->description(), source->description());
        EXPECT_EQ(serializeAtomList(copy), serializeAtomList(source));
        std::set<const Atom*> original;
        std::set<const Atom*> copied;
        collect(source.get(), original);
        collect(copy.get(), copied);
        for (const Atom* a : copied) {
            EXPECT_FALSE(original.contains(a)) << "shared atom " << a->description();
        }
    }
    const auto integral = std::find_if(parsed->atoms.begin(), parsed->atoms.end(),
                                       [](auto& a) { return a->type == AtomType::largeOperator; });
    ASSERT_NE(integral, parsed->atoms.end());
    const auto op = std::dynamic_pointer_cast<LargeOperator>((*integral)->copy());
    ASSERT_TRUE(op);
    EXPECT_TRUE(op->limits);
}

TEST(AtomCopy, FollowsTheTypeNotTheClass) {
    Atom plainFraction(AtomType::fraction, "x");
    plainFraction.setSuperscript(list({}));
    const auto copy = std::dynamic_pointer_cast<Fraction>(plainFraction.copy());
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->hasRule);
    EXPECT_EQ(copy->alignment, "c");
    EXPECT_TRUE(copy->nucleus.empty());
    EXPECT_FALSE(copy->numerator || copy->denominator || copy->superscript());

    // A subclass whose type was changed copies as a plain atom of its new type.
    Fraction fraction;
    fraction.type = AtomType::ordinary;
    fraction.nucleus = "f";
    const auto plain = fraction.copy();
    EXPECT_FALSE(dynamic_cast<Fraction*>(plain.get()));
    EXPECT_EQ(plain->type, AtomType::ordinary);
    EXPECT_EQ(plain->nucleus, "f");
}

TEST(AtomFuse, MergesDigits) {
    auto one = atom(AtomType::number, "1", {0, 1});
    const auto two = atom(AtomType::number, "2", {1, 1});
    const auto three = atom(AtomType::number, "3", {2, 1});
    three->setSubscript(list({atom(AtomType::variable, "i")}));
    one->fuse(two);
    EXPECT_EQ(one->nucleus, "12");
    EXPECT_EQ(one->indexRange, (IndexRange{0, 2}));
    ASSERT_EQ(one->fusedAtoms.size(), 2u);
    EXPECT_EQ(one->fusedAtoms[0]->nucleus, "1");
    EXPECT_NE(one->fusedAtoms[0], one);
    EXPECT_EQ(one->fusedAtoms[1], two);
    one->fuse(three);
    EXPECT_EQ(one->nucleus, "123");
    EXPECT_EQ(one->indexRange, (IndexRange{0, 3}));
    EXPECT_EQ(one->fusedAtoms.size(), 3u);
    EXPECT_EQ(one->subscript(), three->subscript()); // the scripts move over
}

TEST(AtomFuse, RefusesScriptsAndOtherTypes) {
    auto one = atom(AtomType::number, "1", {0, 1});
    one->setSubscript(list({}));
    one->fuse(atom(AtomType::number, "2", {1, 1}));
    EXPECT_EQ(one->nucleus, "1");
    EXPECT_TRUE(one->fusedAtoms.empty());
    auto x = atom(AtomType::variable, "x");
    x->fuse(atom(AtomType::number, "2"));
    EXPECT_EQ(x->nucleus, "x");
    EXPECT_EQ(x->indexRange, (IndexRange{}));
}

// MARK: Finalisation

TEST(Finalization, BinaryOperatorsWithoutLeftOperandBecomeUnary) {
    const auto check = [](std::vector<AtomType> in, std::vector<AtomType> expected) {
        std::vector<std::shared_ptr<Atom>> atoms;
        for (const auto t : in) {
            atoms.push_back(atom(t, "?"));
        }
        EXPECT_EQ(types(*finalizedAtomList(*list(atoms))), expected);
    };
    using T = AtomType;
    check({T::binaryOperator, T::variable}, {T::unaryOperator, T::variable});
    check({T::variable, T::binaryOperator}, {T::variable, T::unaryOperator});
    check({T::variable, T::binaryOperator, T::relation, T::variable},
          {T::variable, T::unaryOperator, T::relation, T::variable});
    check({T::open, T::binaryOperator, T::variable, T::close},
          {T::open, T::unaryOperator, T::variable, T::close});
    check({T::variable, T::binaryOperator, T::variable},
          {T::variable, T::binaryOperator, T::variable});
    check({T::largeOperator, T::binaryOperator, T::variable},
          {T::largeOperator, T::unaryOperator, T::variable});
    check({T::variable, T::binaryOperator, T::punctuation},
          {T::variable, T::unaryOperator, T::punctuation});
    // A boundary hides the operator context: the operator after it stays binary, the one
    // before a trailing boundary too.
    check({T::boundary, T::binaryOperator, T::variable}, {T::binaryOperator, T::variable});
    check({T::variable, T::binaryOperator, T::boundary}, {T::variable, T::binaryOperator});
    EXPECT_TRUE(finalizedAtomList(AtomList())->atoms.empty());
}

TEST(Finalization, StylesAndSpacesAreNoOperands) {
    const auto check = [](std::vector<AtomType> in, std::vector<AtomType> expected) {
        std::vector<std::shared_ptr<Atom>> atoms;
        for (const auto t : in) {
            atoms.push_back(atom(t, "?"));
        }
        EXPECT_EQ(types(*finalizedAtomList(*list(atoms))), expected);
    };
    using T = AtomType;
    // Every matrix and cases cell starts with a style atom: its leading minus is a sign.
    check({T::style, T::binaryOperator, T::variable}, {T::style, T::unaryOperator, T::variable});
    check({T::relation, T::space, T::binaryOperator, T::variable},
          {T::relation, T::space, T::unaryOperator, T::variable});
    check({T::variable, T::binaryOperator, T::space, T::relation},
          {T::variable, T::unaryOperator, T::space, T::relation});
    check({T::variable, T::binaryOperator, T::style}, {T::variable, T::unaryOperator, T::style});
    // Between two operands they change nothing.
    check({T::variable, T::style, T::binaryOperator, T::space, T::variable},
          {T::variable, T::style, T::binaryOperator, T::space, T::variable});

    const auto parsed = parseLatex("\\begin{matrix} -x & y \\end{matrix}");
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->atoms.size(), 1u);
    const auto* table = dynamic_cast<const Table*>(parsed->atoms[0].get());
    ASSERT_TRUE(table);
    const auto cell = finalizedAtomList(*table->cells.at(0).at(0));
    ASSERT_GE(cell->atoms.size(), 2u);
    EXPECT_EQ(cell->atoms[0]->type, AtomType::style);
    EXPECT_EQ(cell->atoms[1]->type, AtomType::unaryOperator);
}

TEST(Finalization, RangesAndDigitRuns) {
    const auto digits = list({atom(AtomType::number, "1"), atom(AtomType::number, "2"),
                              atom(AtomType::number, "3"), atom(AtomType::variable, "x")});
    const auto result = finalizedAtomList(*digits);
    ASSERT_EQ(result->atoms.size(), 2u);
    EXPECT_EQ(result->atoms[0]->nucleus, "123");
    EXPECT_EQ(result->atoms[0]->indexRange, (IndexRange{0, 3}));
    EXPECT_EQ(result->atoms[0]->fusedAtoms.size(), 3u);
    EXPECT_EQ(result->atoms[1]->indexRange, (IndexRange{3, 1}));

    auto scripted = atom(AtomType::number, "1");
    scripted->setSuperscript(list({atom(AtomType::number, "2")}));
    const auto separate = finalizedAtomList(*list({scripted, atom(AtomType::number, "3")}));
    ASSERT_EQ(separate->atoms.size(), 2u);
    EXPECT_EQ(separate->atoms[1]->nucleus, "3");

    // Ranges already set are kept; zero ranges continue from them.
    const auto kept = finalizedAtomList(
        *list({atom(AtomType::variable, "a", {5, 2}), atom(AtomType::variable, "b")}));
    EXPECT_EQ(kept->atoms[0]->indexRange, (IndexRange{5, 2}));
    EXPECT_EQ(kept->atoms[1]->indexRange, (IndexRange{7, 1}));
}

TEST(Finalization, ReachesNestedListsAndLeavesTheInputAlone) {
    const auto parsed = parseLatex("\\frac{-1 2}{3} - \\sqrt{-x}^{-2} + \\left( -a \\right) "
                                   "\\begin{matrix} -b & 4 5 \\end{matrix} \\color{red}{-c}");
    ASSERT_TRUE(parsed);
    const std::string before = parsed->description();
    const std::string latexBefore = serializeAtomList(parsed);
    const auto result = finalizedAtomList(*parsed);
    EXPECT_EQ(parsed->description(), before);
    EXPECT_EQ(serializeAtomList(parsed), latexBefore);
    for (const auto& a : parsed->atoms) {
        EXPECT_TRUE(a->indexRange.isZero());
    }

    const auto fraction = std::dynamic_pointer_cast<Fraction>(result->atoms[0]);
    ASSERT_TRUE(fraction);
    EXPECT_EQ(types(*fraction->numerator),
              (std::vector{AtomType::unaryOperator, AtomType::number}));
    EXPECT_EQ(fraction->numerator->atoms[1]->nucleus, "12");
    EXPECT_EQ(result->atoms[1]->type, AtomType::binaryOperator);
    const auto radical = std::dynamic_pointer_cast<Radical>(result->atoms[2]);
    EXPECT_EQ(radical->radicand->atoms[0]->type, AtomType::unaryOperator);
    EXPECT_EQ(radical->superscript()->atoms[0]->type, AtomType::unaryOperator);
    const auto inner = std::dynamic_pointer_cast<Inner>(result->atoms[4]);
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->innerList->atoms[0]->type, AtomType::unaryOperator);
    EXPECT_EQ(inner->leftBoundary()->nucleus, "(");
    const auto table = std::dynamic_pointer_cast<Table>(result->atoms[5]);
    ASSERT_TRUE(table);
    // Each cell starts with its style atom; the digits after it are fused.
    EXPECT_EQ(table->cells[0][1]->atoms[0]->type, AtomType::style);
    EXPECT_EQ(table->cells[0][1]->atoms[1]->nucleus, "45");
    const auto color = std::dynamic_pointer_cast<Color>(result->atoms[6]);
    ASSERT_TRUE(color);
    EXPECT_EQ(color->innerList->atoms[0]->type, AtomType::unaryOperator);

    // Finalising twice gives the same text.
    EXPECT_EQ(finalizedAtomList(*result)->description(), result->description());
}
