#include "Math/SymbolTable.hpp"

#include <mutex>
#include <vector>

namespace Math {

namespace {

using Entry = std::pair<std::string, std::shared_ptr<const Atom>>;

Entry plain(std::string name, AtomType type, std::string nucleus) {
    return {std::move(name), std::make_shared<const Atom>(type, std::move(nucleus))};
}

Entry largeOperator(std::string name, std::string nucleus, bool limits) {
    auto atom = std::make_shared<LargeOperator>(limits);
    atom->nucleus = std::move(nucleus);
    return {std::move(name), std::move(atom)};
}

Entry space(std::string name, double amount) {
    return {std::move(name), std::make_shared<const Space>(amount)};
}

Entry style(std::string name, Style::Level level) {
    return {std::move(name), std::make_shared<const Style>(level)};
}

SymbolDictionary makeSymbolTable() {
    std::vector<Entry> entries{
        plain("square", AtomType::placeholder, "\U000025A1"),
        plain("alpha", AtomType::variable, "\U000003B1"),
        plain("beta", AtomType::variable, "\U000003B2"),
        plain("gamma", AtomType::variable, "\U000003B3"),
        plain("delta", AtomType::variable, "\U000003B4"),
        plain("varepsilon", AtomType::variable, "\U000003B5"),
        plain("zeta", AtomType::variable, "\U000003B6"),
        plain("eta", AtomType::variable, "\U000003B7"),
        plain("theta", AtomType::variable, "\U000003B8"),
        plain("iota", AtomType::variable, "\U000003B9"),
        plain("kappa", AtomType::variable, "\U000003BA"),
        plain("lambda", AtomType::variable, "\U000003BB"),
        plain("mu", AtomType::variable, "\U000003BC"),
        plain("nu", AtomType::variable, "\U000003BD"),
        plain("xi", AtomType::variable, "\U000003BE"),
        plain("omicron", AtomType::variable, "\U000003BF"),
        plain("pi", AtomType::variable, "\U000003C0"),
        plain("rho", AtomType::variable, "\U000003C1"),
        plain("varsigma", AtomType::variable, "\U000003C2"),
        plain("sigma", AtomType::variable, "\U000003C3"),
        plain("tau", AtomType::variable, "\U000003C4"),
        plain("upsilon", AtomType::variable, "\U000003C5"),
        plain("varphi", AtomType::variable, "\U000003C6"),
        plain("chi", AtomType::variable, "\U000003C7"),
        plain("psi", AtomType::variable, "\U000003C8"),
        plain("omega", AtomType::variable, "\U000003C9"),
        plain("Gamma", AtomType::variable, "\U00000393"),
        plain("Delta", AtomType::variable, "\U00000394"),
        plain("Theta", AtomType::variable, "\U00000398"),
        plain("Lambda", AtomType::variable, "\U0000039B"),
        plain("Xi", AtomType::variable, "\U0000039E"),
        plain("Pi", AtomType::variable, "\U000003A0"),
        plain("Sigma", AtomType::variable, "\U000003A3"),
        plain("Upsilon", AtomType::variable, "\U000003A5"),
        plain("Phi", AtomType::variable, "\U000003A6"),
        plain("Psi", AtomType::variable, "\U000003A8"),
        plain("Omega", AtomType::variable, "\U000003A9"),
        plain("epsilon", AtomType::ordinary, "\U0001D716"),
        plain("vartheta", AtomType::ordinary, "\U0001D717"),
        plain("phi", AtomType::ordinary, "\U0001D719"),
        plain("varrho", AtomType::ordinary, "\U0001D71A"),
        plain("varpi", AtomType::ordinary, "\U0001D71B"),
        plain("partial", AtomType::ordinary, "\U0001D715"),
        plain("imath", AtomType::ordinary, "\U0001D6A4"),
        plain("jmath", AtomType::ordinary, "\U0001D6A5"),
        plain("$", AtomType::ordinary, "$"),
        plain("&", AtomType::ordinary, "&"),
        plain("#", AtomType::ordinary, "#"),
        plain("%", AtomType::ordinary, "%"),
        plain("_", AtomType::ordinary, "_"),
        plain(" ", AtomType::ordinary, " "),
        plain("backslash", AtomType::ordinary, "\\"),
        plain("|", AtomType::ordinary, "\U00002016"),
        plain("vert", AtomType::ordinary, "|"),
        plain("upquote", AtomType::ordinary, "'"),
        plain("angstrom", AtomType::ordinary, "\U000000C5"),
        plain("aa", AtomType::ordinary, "\U000000E5"),
        plain("ae", AtomType::ordinary, "\U000000E6"),
        plain("o", AtomType::ordinary, "\U000000F8"),
        plain("oe", AtomType::ordinary, "\U00000153"),
        plain("ss", AtomType::ordinary, "\U000000DF"),
        plain("cc", AtomType::ordinary, "\U000000E7"),
        plain("CC", AtomType::ordinary, "\U000000C7"),
        plain("O", AtomType::ordinary, "\U000000D8"),
        plain("AE", AtomType::ordinary, "\U000000C6"),
        plain("OE", AtomType::ordinary, "\U00000152"),
        plain("degree", AtomType::ordinary, "\U000000B0"),
        plain("neg", AtomType::ordinary, "\U000000AC"),
        plain("ldots", AtomType::ordinary, "\U00002026"),
        plain("prime", AtomType::ordinary, "\U00002032"),
        plain("hbar", AtomType::ordinary, "\U0000210F"),
        plain("lbar", AtomType::ordinary, "\U0000019B"),
        plain("Im", AtomType::ordinary, "\U00002111"),
        plain("ell", AtomType::ordinary, "\U00002113"),
        plain("wp", AtomType::ordinary, "\U00002118"),
        plain("Re", AtomType::ordinary, "\U0000211C"),
        plain("mho", AtomType::ordinary, "\U00002127"),
        plain("aleph", AtomType::ordinary, "\U00002135"),
        plain("forall", AtomType::ordinary, "\U00002200"),
        plain("exists", AtomType::ordinary, "\U00002203"),
        plain("nexists", AtomType::ordinary, "\U00002204"),
        plain("emptyset", AtomType::ordinary, "\U00002205"),
        plain("nabla", AtomType::ordinary, "\U00002207"),
        plain("infty", AtomType::ordinary, "\U0000221E"),
        plain("angle", AtomType::ordinary, "\U00002220"),
        plain("top", AtomType::ordinary, "\U000022A4"),
        plain("bot", AtomType::ordinary, "\U000022A5"),
        plain("vdots", AtomType::ordinary, "\U000022EE"),
        plain("cdots", AtomType::ordinary, "\U000022EF"),
        plain("ddots", AtomType::ordinary, "\U000022F1"),
        plain("triangle", AtomType::ordinary, "\U000025B3"),
        plain("lceil", AtomType::open, "\U00002308"),
        plain("lfloor", AtomType::open, "\U0000230A"),
        plain("langle", AtomType::open, "\U000027E8"),
        plain("lgroup", AtomType::open, "\U000027EE"),
        plain("{", AtomType::open, "{"),
        plain("rceil", AtomType::close, "\U00002309"),
        plain("rfloor", AtomType::close, "\U0000230B"),
        plain("rangle", AtomType::close, "\U000027E9"),
        plain("rgroup", AtomType::close, "\U000027EF"),
        plain("}", AtomType::close, "}"),
        plain("leftarrow", AtomType::relation, "\U00002190"),
        plain("uparrow", AtomType::relation, "\U00002191"),
        plain("rightarrow", AtomType::relation, "\U00002192"),
        plain("downarrow", AtomType::relation, "\U00002193"),
        plain("leftrightarrow", AtomType::relation, "\U00002194"),
        plain("updownarrow", AtomType::relation, "\U00002195"),
        plain("nwarrow", AtomType::relation, "\U00002196"),
        plain("nearrow", AtomType::relation, "\U00002197"),
        plain("searrow", AtomType::relation, "\U00002198"),
        plain("swarrow", AtomType::relation, "\U00002199"),
        plain("mapsto", AtomType::relation, "\U000021A6"),
        plain("Leftarrow", AtomType::relation, "\U000021D0"),
        plain("Uparrow", AtomType::relation, "\U000021D1"),
        plain("Rightarrow", AtomType::relation, "\U000021D2"),
        plain("Downarrow", AtomType::relation, "\U000021D3"),
        plain("Leftrightarrow", AtomType::relation, "\U000021D4"),
        plain("Updownarrow", AtomType::relation, "\U000021D5"),
        plain("longleftarrow", AtomType::relation, "\U000027F5"),
        plain("longrightarrow", AtomType::relation, "\U000027F6"),
        plain("longleftrightarrow", AtomType::relation, "\U000027F7"),
        plain("Longleftarrow", AtomType::relation, "\U000027F8"),
        plain("Longrightarrow", AtomType::relation, "\U000027F9"),
        plain("Longleftrightarrow", AtomType::relation, "\U000027FA"),
        plain("implies", AtomType::relation, "\U000027F9"),
        plain("leq", AtomType::relation, "\U00002264"),
        plain("geq", AtomType::relation, "\U00002265"),
        plain("neq", AtomType::relation, "\U00002260"),
        plain("in", AtomType::relation, "\U00002208"),
        plain("notin", AtomType::relation, "\U00002209"),
        plain("ni", AtomType::relation, "\U0000220B"),
        plain("propto", AtomType::relation, "\U0000221D"),
        plain("mid", AtomType::relation, "\U00002223"),
        plain("parallel", AtomType::relation, "\U00002225"),
        plain("sim", AtomType::relation, "\U0000223C"),
        plain("simeq", AtomType::relation, "\U00002243"),
        plain("cong", AtomType::relation, "\U00002245"),
        plain("approx", AtomType::relation, "\U00002248"),
        plain("asymp", AtomType::relation, "\U0000224D"),
        plain("doteq", AtomType::relation, "\U00002250"),
        plain("equiv", AtomType::relation, "\U00002261"),
        plain("gg", AtomType::relation, "\U0000226B"),
        plain("ll", AtomType::relation, "\U0000226A"),
        plain("prec", AtomType::relation, "\U0000227A"),
        plain("succ", AtomType::relation, "\U0000227B"),
        plain("subset", AtomType::relation, "\U00002282"),
        plain("supset", AtomType::relation, "\U00002283"),
        plain("subseteq", AtomType::relation, "\U00002286"),
        plain("supseteq", AtomType::relation, "\U00002287"),
        plain("sqsubset", AtomType::relation, "\U0000228F"),
        plain("sqsupset", AtomType::relation, "\U00002290"),
        plain("sqsubseteq", AtomType::relation, "\U00002291"),
        plain("sqsupseteq", AtomType::relation, "\U00002292"),
        plain("models", AtomType::relation, "\U000022A7"),
        plain("perp", AtomType::relation, "\U000027C2"),
        plain("times", AtomType::binaryOperator, "\U000000D7"),
        plain("div", AtomType::binaryOperator, "\U000000F7"),
        plain("pm", AtomType::binaryOperator, "\U000000B1"),
        plain("dagger", AtomType::binaryOperator, "\U00002020"),
        plain("ddagger", AtomType::binaryOperator, "\U00002021"),
        plain("mp", AtomType::binaryOperator, "\U00002213"),
        plain("setminus", AtomType::binaryOperator, "\U00002216"),
        plain("ast", AtomType::binaryOperator, "\U00002217"),
        plain("circ", AtomType::binaryOperator, "\U00002218"),
        plain("bullet", AtomType::binaryOperator, "\U00002219"),
        plain("wedge", AtomType::binaryOperator, "\U00002227"),
        plain("vee", AtomType::binaryOperator, "\U00002228"),
        plain("cap", AtomType::binaryOperator, "\U00002229"),
        plain("cup", AtomType::binaryOperator, "\U0000222A"),
        plain("wr", AtomType::binaryOperator, "\U00002240"),
        plain("uplus", AtomType::binaryOperator, "\U0000228E"),
        plain("sqcap", AtomType::binaryOperator, "\U00002293"),
        plain("sqcup", AtomType::binaryOperator, "\U00002294"),
        plain("oplus", AtomType::binaryOperator, "\U00002295"),
        plain("ominus", AtomType::binaryOperator, "\U00002296"),
        plain("otimes", AtomType::binaryOperator, "\U00002297"),
        plain("oslash", AtomType::binaryOperator, "\U00002298"),
        plain("odot", AtomType::binaryOperator, "\U00002299"),
        plain("star", AtomType::binaryOperator, "\U000022C6"),
        plain("cdot", AtomType::binaryOperator, "\U000022C5"),
        plain("amalg", AtomType::binaryOperator, "\U00002A3F"),
        plain("colon", AtomType::punctuation, ":"),
        plain("cdotp", AtomType::punctuation, "\U000000B7"),
        largeOperator("log", "log", false),
        largeOperator("lg", "lg", false),
        largeOperator("ln", "ln", false),
        largeOperator("sin", "sin", false),
        largeOperator("arcsin", "arcsin", false),
        largeOperator("sinh", "sinh", false),
        largeOperator("cos", "cos", false),
        largeOperator("arccos", "arccos", false),
        largeOperator("cosh", "cosh", false),
        largeOperator("tan", "tan", false),
        largeOperator("arctan", "arctan", false),
        largeOperator("tanh", "tanh", false),
        largeOperator("cot", "cot", false),
        largeOperator("coth", "coth", false),
        largeOperator("sec", "sec", false),
        largeOperator("csc", "csc", false),
        largeOperator("arg", "arg", false),
        largeOperator("ker", "ker", false),
        largeOperator("dim", "dim", false),
        largeOperator("hom", "hom", false),
        largeOperator("exp", "exp", false),
        largeOperator("deg", "deg", false),
        largeOperator("mod", "mod", false),
        largeOperator("lim", "lim", true),
        largeOperator("max", "max", true),
        largeOperator("min", "min", true),
        largeOperator("sup", "sup", true),
        largeOperator("inf", "inf", true),
        largeOperator("det", "det", true),
        largeOperator("Pr", "Pr", true),
        largeOperator("gcd", "gcd", true),
        largeOperator("limsup", "lim sup", true),
        largeOperator("liminf", "lim inf", true),
        largeOperator("prod", "\U0000220F", true),
        largeOperator("coprod", "\U00002210", true),
        largeOperator("sum", "\U00002211", true),
        largeOperator("bigwedge", "\U000022C0", true),
        largeOperator("bigvee", "\U000022C1", true),
        largeOperator("bigcap", "\U000022C2", true),
        largeOperator("bigcup", "\U000022C3", true),
        largeOperator("bigodot", "\U00002A00", true),
        largeOperator("bigoplus", "\U00002A01", true),
        largeOperator("bigotimes", "\U00002A02", true),
        largeOperator("biguplus", "\U00002A04", true),
        largeOperator("bigsqcup", "\U00002A06", true),
        largeOperator("int", "\U0000222B", false),
        largeOperator("iint", "\U0000222C", false),
        largeOperator("iiint", "\U0000222D", false),
        largeOperator("iiiint", "\U00002A0C", false),
        largeOperator("oint", "\U0000222E", false),
        space(",", 3),
        space(">", 4),
        space(";", 5),
        space("!", -3),
        space("quad", 18),
        space("qquad", 36),
        style("displaystyle", Style::Level::display),
        style("textstyle", Style::Level::text),
        style("scriptstyle", Style::Level::script),
        style("scriptscriptstyle", Style::Level::scriptOfScript),
    };
    return SymbolDictionary(std::make_move_iterator(entries.begin()),
                            std::make_move_iterator(entries.end()));
}

using ReverseDictionary = std::optional<std::unordered_map<std::string, std::string>>;

ReadWriteLockIsolated<ReverseDictionary>& reverseSymbolTable() {
    static ReadWriteLockIsolated<ReverseDictionary> box{std::nullopt};
    return box;
}

// Keeps the shortest name for a key and, at equal length, the first in byte order, so that the
// outcome does not depend on the order in which names are offered.
void offerName(std::unordered_map<std::string, std::string>& names, const std::string& key,
               const std::string& name) {
    const auto found = names.find(key);
    if (found == names.end()) {
        names.emplace(key, name);
        return;
    }
    const std::string& current = found->second;
    if (current.size() < name.size()) {
        return;
    }
    if (name.size() < current.size() || !(name > current)) {
        found->second = name;
    }
}

std::unordered_map<std::string, std::string> buildReverseSymbolTable() {
    const SymbolDictionary snapshot =
        symbolTable().withReadLock([](const SymbolDictionary& table) { return table; });
    std::unordered_map<std::string, std::string> names;
    for (const auto& [name, atom] : snapshot) {
        if (!atom->nucleus.empty()) {
            offerName(names, atom->nucleus, name);
        }
    }
    return names;
}

} // namespace

ReadWriteLockIsolated<SymbolDictionary>& symbolTable() {
    static ReadWriteLockIsolated<SymbolDictionary> box{makeSymbolTable()};
    return box;
}

const std::unordered_map<std::string, std::string>& symbolAliases() {
    static const std::unordered_map<std::string, std::string> aliases{
        {"lnot", "neg"},       {"land", "wedge"},    {"lor", "vee"},
        {"ne", "neq"},         {"le", "leq"},        {"ge", "geq"},
        {"lbrace", "{"},       {"rbrace", "}"},      {"Vert", "|"},
        {"gets", "leftarrow"}, {"to", "rightarrow"}, {"iff", "Longleftrightarrow"},
        {"AA", "angstrom"},
    };
    return aliases;
}

std::string_view resolveSymbolAlias(std::string_view name) {
    const auto& aliases = symbolAliases();
    const auto found = aliases.find(std::string(name));
    return found == aliases.end() ? name : std::string_view(found->second);
}

std::shared_ptr<Atom> copySymbolAtom(const SymbolDictionary& table, std::string_view name) {
    const auto found = table.find(std::string(name));
    return found == table.end() ? nullptr : found->second->copy();
}

std::shared_ptr<Atom> symbolAtomForName(std::string_view name) {
    const std::string_view resolved = resolveSymbolAlias(name);
    return symbolTable().withReadLock(
        [resolved](const SymbolDictionary& table) { return copySymbolAtom(table, resolved); });
}

std::optional<std::string> commandNameForAtom(const Atom& atom) {
    if (atom.nucleus.empty()) {
        return std::nullopt;
    }
    // Lock order: the reverse box first, then (inside the builder) the symbol table.
    return reverseSymbolTable().withWriteLock(
        [&atom](ReverseDictionary& reverse) -> std::optional<std::string> {
            if (!reverse) {
                reverse = buildReverseSymbolTable();
            }
            const auto found = reverse->find(atom.nucleus);
            if (found == reverse->end()) {
                return std::nullopt;
            }
            return found->second;
        });
}

} // namespace Math
