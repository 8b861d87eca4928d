// The symbol, name, character and environment tables, and the lock box around the symbol table.

#include "Math/AtomList.hpp"
#include "Math/CharacterClassification.hpp"
#include "Math/EnvironmentTable.hpp"
#include "Math/NameTables.hpp"
#include "Math/Parser.hpp"
#include "Math/ReadWriteLockIsolated.hpp"
#include "Math/SymbolTable.hpp"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <set>
#include <stdexcept>
#include <thread>

using namespace Math;

namespace {

std::shared_ptr<AtomList> listOf(std::initializer_list<std::string> variables) {
    auto list = std::make_shared<AtomList>();
    for (const auto& v : variables) {
        list->append(std::make_shared<Atom>(AtomType::variable, v));
    }
    return list;
}

std::string cellText(const AtomList& cell) {
    std::string text;
    for (const auto& atom : cell.atoms) {
        text += atom->type == AtomType::style ? "|" : atom->nucleus;
    }
    return text;
}

} // namespace

// MARK: Symbols and aliases

TEST(SymbolTable, HoldsEveryCommandOnceWithPrototypeAtoms) {
    const auto size = symbolTable().withWriteLock([](SymbolDictionary& table) {
        for (const auto& [name, atom] : table) {
            EXPECT_TRUE(atom->indexRange.isZero()) << name;
            EXPECT_EQ(atom->fontStyle, Atom::FontStyle::default_) << name;
            EXPECT_FALSE(atom->subscript() || atom->superscript()) << name;
        }
        return table.size();
    });
    EXPECT_EQ(size, 243u);
}

TEST(SymbolTable, LookupsGiveIndependentCopies) {
    auto alpha = symbolAtomForName("alpha");
    ASSERT_TRUE(alpha);
    EXPECT_EQ(alpha->type, AtomType::variable);
    EXPECT_EQ(alpha->nucleus, "\u03B1");
    alpha->nucleus = "changed";
    alpha->type = AtomType::number;
    const auto again = symbolAtomForName("alpha");
    EXPECT_EQ(again->nucleus, "\u03B1");
    EXPECT_EQ(again->type, AtomType::variable);
    EXPECT_NE(again.get(), alpha.get());
    EXPECT_FALSE(symbolAtomForName("frac"));
    EXPECT_FALSE(symbolAtomForName(""));
}

TEST(SymbolTable, ClassesAndTheirFields) {
    const auto limsup = std::dynamic_pointer_cast<LargeOperator>(symbolAtomForName("limsup"));
    ASSERT_TRUE(limsup);
    EXPECT_TRUE(limsup->limits);
    EXPECT_EQ(limsup->nucleus, "lim sup");
    const auto log = std::dynamic_pointer_cast<LargeOperator>(symbolAtomForName("log"));
    ASSERT_TRUE(log);
    EXPECT_FALSE(log->limits);
    EXPECT_EQ(log->nucleus, "log");
    const auto integral = std::dynamic_pointer_cast<LargeOperator>(symbolAtomForName("int"));
    ASSERT_TRUE(integral);
    EXPECT_FALSE(integral->limits);
    EXPECT_EQ(integral->nucleus, "\u222B");
    EXPECT_TRUE(std::dynamic_pointer_cast<LargeOperator>(symbolAtomForName("sum"))->limits);

    const auto quad = std::dynamic_pointer_cast<Space>(symbolAtomForName("quad"));
    ASSERT_TRUE(quad);
    EXPECT_EQ(quad->amount, 18);
    EXPECT_TRUE(quad->nucleus.empty());
    EXPECT_EQ(std::dynamic_pointer_cast<Space>(symbolAtomForName("!"))->amount, -3);
    EXPECT_EQ(std::dynamic_pointer_cast<Space>(symbolAtomForName(","))->amount, 3);
    const auto text = std::dynamic_pointer_cast<Style>(symbolAtomForName("textstyle"));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->level, Style::Level::text);

    EXPECT_EQ(symbolAtomForName("{")->type, AtomType::open);
    EXPECT_EQ(symbolAtomForName("rangle")->nucleus, "\u27E9");
    EXPECT_EQ(symbolAtomForName("times")->type, AtomType::binaryOperator);
    EXPECT_EQ(symbolAtomForName("colon")->type, AtomType::punctuation);
    EXPECT_EQ(symbolAtomForName("implies")->type, AtomType::relation);
    EXPECT_EQ(symbolAtomForName("square")->type, AtomType::placeholder);
    EXPECT_EQ(symbolAtomForName("partial")->nucleus, "\U0001D715");
    EXPECT_EQ(symbolAtomForName("backslash")->nucleus, "\\");
}

TEST(SymbolTable, AliasesResolveToTheirTargets) {
    const auto le = symbolAtomForName("le");
    const auto leq = symbolAtomForName("leq");
    EXPECT_EQ(le->nucleus, leq->nucleus);
    EXPECT_EQ(le->type, leq->type);
    const auto vert = symbolAtomForName("Vert");
    EXPECT_EQ(vert->type, AtomType::ordinary);
    EXPECT_EQ(vert->nucleus, "\u2016");
    EXPECT_EQ(symbolAtomForName("lbrace")->nucleus, "{");
    EXPECT_EQ(symbolAtomForName("to")->nucleus, "\u2192");
    EXPECT_EQ(symbolAtomForName("iff")->nucleus, "\u27FA");
    EXPECT_EQ(symbolAtomForName("AA")->nucleus, "\u00C5");
    EXPECT_EQ(symbolAliases().size(), 13u);
}

TEST(SymbolTable, ReverseLookupPrefersTheShortestName) {
    const auto name = [](const std::string& nucleus) {
        return commandNameForAtom(Atom(AtomType::ordinary, nucleus));
    };
    EXPECT_EQ(name("\u27F9"), "implies"); // not Longrightarrow
    EXPECT_EQ(name("\u2016"), "|");
    EXPECT_EQ(name("|"), "vert");
    EXPECT_EQ(name("\u03C1"), "rho");
    EXPECT_EQ(name("lim sup"), "limsup");
    EXPECT_EQ(name("x"), std::nullopt);
    EXPECT_EQ(name(""), std::nullopt);
    // The type plays no part.
    EXPECT_EQ(commandNameForAtom(Atom(AtomType::number, "\u03B1")), "alpha");
}

TEST(SymbolTable, ConcurrentLookupsAreIndependent) {
    std::vector<std::thread> threads;
    std::array<bool, 8> ok{};
    for (std::size_t t = 0; t < ok.size(); ++t) {
        threads.emplace_back([t, &ok] {
            bool good = true;
            for (int i = 0; i < 500; ++i) {
                auto atom = symbolAtomForName(t % 2 ? "beta" : "sum");
                good = good && atom && atom->nucleus == (t % 2 ? "\u03B2" : "\u2211");
                atom->nucleus = "scribbled";
                good = good && commandNameForAtom(Atom(AtomType::ordinary, "\u03B2")) == "beta";
            }
            ok[t] = good;
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const bool good : ok) {
        EXPECT_TRUE(good);
    }
}

TEST(SymbolTable, LookupsShareTheTableWithOtherReaders) {
    // While one thread reads the table, parsing on another goes on: lookups take the read lock.
    // (With the write lock the parse would wait until the reader is done; the wait below is far
    // longer than any parse takes, and the future is collected after the reader has let go.)
    std::future<bool> parsed;
    const bool finishedWhileHeld =
        symbolTable().withReadLock([&parsed](const SymbolDictionary& table) {
            EXPECT_TRUE(table.contains("alpha"));
            parsed = std::async(std::launch::async, [] {
                const auto list = parseLatex("\\alpha+\\sum\\to\\beta");
                return list && list->atoms.size() == 5 && symbolAtomForName("le") &&
                       commandNameForAtom(Atom(AtomType::ordinary, "\u03B2")) == "beta";
            });
            return parsed.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
        });
    EXPECT_TRUE(finishedWhileHeld);
    EXPECT_TRUE(parsed.get());
}

// MARK: Lock box

namespace {

struct Counted {
    int* destroyed;
    explicit Counted(int* d)
        : destroyed(d) {}
    Counted(Counted&& other) noexcept
        : destroyed(std::exchange(other.destroyed, nullptr)) {}
    ~Counted() {
        if (destroyed) {
            ++*destroyed;
        }
    }
};

} // namespace

TEST(ReadWriteLockIsolated, SerialisesAccessAndReleasesOnThrow) {
    ReadWriteLockIsolated<int> box{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&box] {
            for (int i = 0; i < 1000; ++i) {
                box.withWriteLock([](int& v) { ++v; });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(box.withWriteLock([](int& v) { return v; }), 4000);
    EXPECT_THROW(box.withWriteLock([](int&) -> int { throw std::runtime_error("boom"); }),
                 std::runtime_error);
    // Had the throw kept the lock, this would deadlock.
    EXPECT_EQ(box.withWriteLock([](int& v) { return v + 1; }), 4001);
}

TEST(ReadWriteLockIsolated, DestroysItsValueOnce) {
    int destroyed = 0;
    {
        ReadWriteLockIsolated<Counted> box{Counted{&destroyed}};
        box.withWriteLock([](Counted&) {});
    }
    EXPECT_EQ(destroyed, 1);
}

// MARK: Delimiters, accents and font styles

TEST(NameTables, Delimiters) {
    EXPECT_EQ(delimiterNames().size(), 32u);
    const auto langle = boundaryAtomForDelimiterName("langle");
    ASSERT_TRUE(langle);
    EXPECT_EQ(langle->type, AtomType::boundary);
    EXPECT_EQ(langle->nucleus, "\u2329");
    const auto null = boundaryAtomForDelimiterName(".");
    ASSERT_TRUE(null);
    EXPECT_TRUE(null->nucleus.empty());
    EXPECT_EQ(boundaryAtomForDelimiterName("||")->nucleus, "\u2016");
    EXPECT_FALSE(boundaryAtomForDelimiterName("lbrack"));

    const auto& reverse = delimiterValueNames();
    EXPECT_EQ(reverse.at("\u2016"), "||");
    EXPECT_EQ(reverse.at("{"), "{");
    EXPECT_EQ(reverse.at("}"), "}");
    EXPECT_EQ(reverse.at("|"), "|");
    EXPECT_EQ(reverse.at("\\"), "\\");
    EXPECT_EQ(reverse.at("\u2329"), "<");
    EXPECT_EQ(reverse.at("\u232A"), ">");
    EXPECT_EQ(reverse.at(""), ".");
}

TEST(NameTables, InversionIgnoresVisitingOrder) {
    // Same-length names: the first in byte order wins whichever is offered first.
    EXPECT_EQ(invertNameTable({{"bb", "v"}, {"ba", "v"}, {"bc", "v"}}).at("v"), "ba");
    EXPECT_EQ(invertNameTable({{"long", "v"}, {"s", "v"}}).at("v"), "s");
}

TEST(NameTables, AccentsAndFontStyles) {
    const auto widehat = accentAtomForName("widehat");
    ASSERT_TRUE(widehat);
    EXPECT_EQ(widehat->nucleus, "\u0302");
    EXPECT_FALSE(widehat->innerList);
    EXPECT_EQ(accentValueNames().at("\u0302"), "hat");
    EXPECT_EQ(accentValueNames().at("\u0303"), "tilde");
    EXPECT_FALSE(accentAtomForName("hatt"));

    EXPECT_EQ(fontStyleNames().size(), 22u);
    EXPECT_EQ(fontStyleForName("bm"), Atom::FontStyle::boldItalic);
    EXPECT_EQ(fontStyleForName("text"), Atom::FontStyle::roman);
    EXPECT_EQ(fontStyleForName("mathnormal"), Atom::FontStyle::default_);
    EXPECT_EQ(fontStyleForName("frak"), Atom::FontStyle::fraktur);
    EXPECT_EQ(fontStyleForName("mathscr"), std::nullopt);
}

// MARK: Character classification

TEST(CharacterClassification, AsciiRules) {
    const auto type = [](std::string_view c) {
        const auto atom = atomForCharacter(c);
        return atom ? std::optional(atom->type) : std::nullopt;
    };
    EXPECT_EQ(type("x"), AtomType::variable);
    EXPECT_EQ(type("Z"), AtomType::variable);
    EXPECT_EQ(type("7"), AtomType::number);
    EXPECT_EQ(type("."), AtomType::number);
    EXPECT_EQ(type("!"), AtomType::close);
    EXPECT_EQ(type("?"), AtomType::close);
    EXPECT_EQ(type("["), AtomType::open);
    EXPECT_EQ(type("|"), AtomType::ordinary);
    EXPECT_EQ(type("@"), AtomType::ordinary);
    EXPECT_EQ(type(";"), AtomType::punctuation);
    EXPECT_EQ(type("<"), AtomType::relation);
    EXPECT_EQ(type("*"), AtomType::binaryOperator);
    EXPECT_EQ(atomForCharacter("-")->nucleus, "\u2212");
    EXPECT_EQ(atomForCharacter("-")->type, AtomType::binaryOperator);
    EXPECT_EQ(atomForCharacter(":")->nucleus, "\u2236");
    EXPECT_EQ(atomForCharacter(":")->type, AtomType::relation);
    for (const auto* rejected :
         {"$", "^", "_", "~", "{", "}", "\\", "%", "#", "&", " ", "\t", "\r\n", "\x7F"}) {
        EXPECT_FALSE(atomForCharacter(rejected)) << rejected;
    }
    // The apostrophe is looked up before it would be rejected.
    const auto quote = atomForCharacter("'");
    ASSERT_TRUE(quote);
    EXPECT_EQ(quote->type, AtomType::ordinary);
    EXPECT_EQ(quote->nucleus, "'");
}

TEST(CharacterClassification, AccentedLettersAlsoWhenDecomposed) {
    for (const auto* e : {"\u00E9", "e\u0301"}) {
        const auto accent = std::dynamic_pointer_cast<Accent>(atomForCharacter(e));
        ASSERT_TRUE(accent) << e;
        EXPECT_EQ(accent->nucleus, "\u0301");
        ASSERT_TRUE(accent->innerList);
        ASSERT_EQ(accent->innerList->atoms.size(), 1u);
        EXPECT_EQ(accent->innerList->atoms[0]->type, AtomType::variable);
        EXPECT_EQ(accent->innerList->atoms[0]->nucleus, "e");
    }
    const auto n = std::dynamic_pointer_cast<Accent>(atomForCharacter("N\u0303"));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->nucleus, "\u0303");
    EXPECT_EQ(n->innerList->atoms[0]->nucleus, "N");

    EXPECT_EQ(atomForCharacter("\u00DF")->nucleus, "\u00DF");
    EXPECT_EQ(atomForCharacter("\u00E7")->type, AtomType::ordinary);
    // Å written three ways reaches the angstrom symbol through the alias.
    for (const auto* a : {"\u00C5", "A\u030A", "\u212B"}) {
        const auto atom = atomForCharacter(a);
        ASSERT_TRUE(atom) << a;
        EXPECT_EQ(atom->nucleus, "\u00C5");
    }
    EXPECT_EQ(accentedCharacters().size(), 61u);
}

TEST(CharacterClassification, CyrillicAndOtherScripts) {
    const auto zhe = atomForCharacter("\u0416");
    ASSERT_TRUE(zhe);
    EXPECT_EQ(zhe->type, AtomType::ordinary);
    EXPECT_EQ(zhe->nucleus, "\u0416");
    EXPECT_TRUE(atomForCharacter("\u0410"));
    EXPECT_TRUE(atomForCharacter("\u044F"));
    EXPECT_FALSE(atomForCharacter("\u0450")); // past small ya
    EXPECT_FALSE(atomForCharacter("\u03B1")); // Greek only through commands
    EXPECT_FALSE(atomForCharacter("x\u0301"));
    EXPECT_FALSE(atomForCharacter("\U0001F600"));
    EXPECT_FALSE(atomForCharacter("\u037E")); // equivalent to ";" but not ASCII as written
}

// MARK: Environment tables

TEST(EnvironmentTable, MatrixEnvironments) {
    std::optional<ParserError> error;
    const auto atom = makeEnvironmentTable(
        "pmatrix", {{listOf({"a"}), listOf({"b"})}, {listOf({"c"}), listOf({"d"})}}, std::nullopt,
        error);
    EXPECT_FALSE(error);
    const auto inner = std::dynamic_pointer_cast<Inner>(atom);
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->leftBoundary()->nucleus, "(");
    EXPECT_EQ(inner->rightBoundary()->nucleus, ")");
    ASSERT_EQ(inner->innerList->atoms.size(), 1u);
    const auto table = std::dynamic_pointer_cast<Table>(inner->innerList->atoms[0]);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->environment, "matrix");
    EXPECT_EQ(table->interColumnSpacing, 18);
    EXPECT_EQ(table->interRowAdditionalSpacing, 0);
    EXPECT_TRUE(table->alignments.empty());
    EXPECT_EQ(cellText(*table->cells[1][1]), "|d");
    const auto style = std::dynamic_pointer_cast<Style>(table->cells[0][0]->atoms[0]);
    ASSERT_TRUE(style);
    EXPECT_EQ(style->level, Style::Level::text);

    const auto small = std::dynamic_pointer_cast<Table>(
        makeEnvironmentTable("smallmatrix", {{listOf({"a"}), std::make_shared<AtomList>()}},
                             Table::ColumnAlignment::right, error));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->interColumnSpacing, 6);
    EXPECT_EQ(std::dynamic_pointer_cast<Style>(small->cells[0][1]->atoms[0])->level,
              Style::Level::script); // empty cells get one too
    EXPECT_EQ(small->alignments,
              (std::vector{Table::ColumnAlignment::right, Table::ColumnAlignment::right}));

    const auto v = std::dynamic_pointer_cast<Inner>(
        makeEnvironmentTable("vmatrix", {{listOf({"a"})}}, std::nullopt, error));
    EXPECT_EQ(v->leftBoundary()->nucleus, "|");
    const auto vv = std::dynamic_pointer_cast<Inner>(
        makeEnvironmentTable("Vmatrix*", {{listOf({"a"})}}, std::nullopt, error));
    EXPECT_EQ(vv->rightBoundary()->nucleus, "\u2016");
    EXPECT_FALSE(error);
}

TEST(EnvironmentTable, AlignmentEnvironments) {
    std::optional<ParserError> error;
    auto eq = std::make_shared<AtomList>();
    eq->append(std::make_shared<Atom>(AtomType::relation, "="));
    eq->append(std::make_shared<Atom>(AtomType::variable, "y"));
    const auto aligned = std::dynamic_pointer_cast<Table>(makeEnvironmentTable(
        "aligned", {{listOf({"x"}), eq}, {listOf({"z"})}}, std::nullopt, error));
    ASSERT_TRUE(aligned);
    EXPECT_EQ(aligned->alignments,
              (std::vector{Table::ColumnAlignment::right, Table::ColumnAlignment::left}));
    EXPECT_EQ(aligned->cells[0][1]->atoms.size(), 3u);
    EXPECT_EQ(aligned->cells[0][1]->atoms[0]->type, AtomType::ordinary);
    EXPECT_TRUE(aligned->cells[0][1]->atoms[0]->nucleus.empty());
    EXPECT_EQ(aligned->cells[1].size(), 1u);
    EXPECT_EQ(aligned->interRowAdditionalSpacing, 1);

    const auto eqnarray = std::dynamic_pointer_cast<Table>(makeEnvironmentTable(
        "eqnarray", {{listOf({"a"}), listOf({"b"}), listOf({"c"})}}, std::nullopt, error));
    ASSERT_TRUE(eqnarray);
    EXPECT_EQ(eqnarray->alignments,
              (std::vector{Table::ColumnAlignment::right, Table::ColumnAlignment::center,
                           Table::ColumnAlignment::left}));
    EXPECT_EQ(eqnarray->interColumnSpacing, 18);
    EXPECT_EQ(eqnarray->interRowAdditionalSpacing, 1);

    const auto gather = std::dynamic_pointer_cast<Table>(
        makeEnvironmentTable("gather", {{listOf({"a"})}, {listOf({"b"})}}, std::nullopt, error));
    ASSERT_TRUE(gather);
    EXPECT_EQ(gather->alignments, (std::vector{Table::ColumnAlignment::center}));

    const auto implicit = std::dynamic_pointer_cast<Table>(makeEnvironmentTable(
        std::nullopt, {{listOf({"a"})}, {listOf({"b"}), listOf({"c"}), listOf({"d"})}},
        std::nullopt, error));
    ASSERT_TRUE(implicit);
    EXPECT_EQ(implicit->alignments,
              std::vector<Table::ColumnAlignment>(3, Table::ColumnAlignment::left));
    EXPECT_EQ(implicit->interRowAdditionalSpacing, 1);
    EXPECT_TRUE(implicit->environment.empty());
    EXPECT_FALSE(error);
}

TEST(EnvironmentTable, Cases) {
    std::optional<ParserError> error;
    const auto inner = std::dynamic_pointer_cast<Inner>(
        makeEnvironmentTable("cases", {{listOf({"a"}), listOf({"b"})}}, std::nullopt, error));
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->leftBoundary()->nucleus, "{");
    EXPECT_TRUE(inner->rightBoundary()->nucleus.empty());
    ASSERT_EQ(inner->innerList->atoms.size(), 2u);
    EXPECT_EQ(std::dynamic_pointer_cast<Space>(inner->innerList->atoms[0])->amount, 3);
    const auto table = std::dynamic_pointer_cast<Table>(inner->innerList->atoms[1]);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->alignments,
              (std::vector{Table::ColumnAlignment::left, Table::ColumnAlignment::left}));
    EXPECT_EQ(cellText(*table->cells[0][1]), "|b");
    EXPECT_FALSE(error);
}

TEST(EnvironmentTable, ColumnAndNameErrors) {
    const auto failure = [](const std::optional<std::string>& name, TableRows rows) {
        std::optional<ParserError> error;
        EXPECT_FALSE(makeEnvironmentTable(name, rows, std::nullopt, error));
        return error.value_or(ParserError{ParserError::Code::internalError, "no error"});
    };
    const auto three = TableRows{{listOf({"a"}), listOf({"b"}), listOf({"c"})}};
    EXPECT_EQ(failure("aligned", three),
              (ParserError{ParserError::Code::invalidNumberOfColumns,
                           "aligned environment can only have 2 columns"}));
    EXPECT_EQ(failure("split", {}).message, "split environment can only have 2 columns");
    EXPECT_EQ(failure("gather", {{listOf({"a"}), listOf({"b"})}}).message,
              "gather environment can only have 1 column");
    EXPECT_EQ(failure("eqnarray", {{listOf({"a"})}}).message,
              "eqnarray environment can only have 3 columns");
    EXPECT_EQ(failure("cases", three), (ParserError{ParserError::Code::invalidNumberOfColumns,
                                                    "cases environment can have 1 or 2 columns"}));
    EXPECT_EQ(failure("foo", three),
              (ParserError{ParserError::Code::invalidEnvironment, "Unknown environment foo"}));

    // A column error keeps an earlier error; an unknown name replaces it.
    std::optional<ParserError> error = ParserError{ParserError::Code::missingLeft, "earlier"};
    EXPECT_FALSE(makeEnvironmentTable("aligned", three, std::nullopt, error));
    EXPECT_EQ(error->message, "earlier");
    EXPECT_FALSE(makeEnvironmentTable("foo", three, std::nullopt, error));
    EXPECT_EQ(error->code, ParserError::Code::invalidEnvironment);
}
