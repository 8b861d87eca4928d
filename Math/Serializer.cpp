#include "Math/Serializer.hpp"

#include "Math/NameTables.hpp"
#include "Math/SymbolTable.hpp"
#include "platform/foundation/ASCII.hpp"

#include <array>
#include <charconv>
#include <utility>

namespace Math {

namespace {

using FontStyle = Atom::FontStyle;

std::string_view fontStyleCommand(FontStyle style) {
    switch (style) {
    case FontStyle::default_:
        return "";
    case FontStyle::roman:
        return "mathrm";
    case FontStyle::bold:
        return "mathbf";
    case FontStyle::caligraphic:
        return "mathcal";
    case FontStyle::typewriter:
        return "mathtt";
    case FontStyle::italic:
        return "mathit";
    case FontStyle::sansSerif:
        return "mathsf";
    case FontStyle::fraktur:
        return "mathfrak";
    case FontStyle::blackboard:
        return "mathbb";
    case FontStyle::boldItalic:
        return "bm";
    }
    return "";
}

std::string_view styleCommand(Style::Level level) {
    switch (level) {
    case Style::Level::display:
        return "displaystyle";
    case Style::Level::text:
        return "textstyle";
    case Style::Level::script:
        return "scriptstyle";
    case Style::Level::scriptOfScript:
        return "scriptscriptstyle";
    }
    return "displaystyle";
}

std::string_view spaceCommand(double amount) {
    static constexpr std::array<std::pair<double, std::string_view>, 6> spaces{
        {{3, ","}, {4, ">"}, {5, ";"}, {-3, "!"}, {18, "quad"}, {36, "qquad"}}};
    for (const auto& [value, command] : spaces) {
        if (amount == value) {
            return command;
        }
    }
    return {};
}

// The command that \not turns into this relation ("equiv" for U+2262), or empty.
std::string_view negatedCommand(const std::string& nucleus) {
    const auto& names = negationValueNames();
    const auto found = names.find(nucleus);
    if (found == names.end() || found->second.empty()) {
        return {};
    }
    for (const char c : found->second) {
        if (!platform::ascii::isAlpha(c)) {
            return {};
        }
    }
    return found->second;
}

// The table of a cases environment as the parser wraps it: an Inner opened by "{", closed by
// the null delimiter, holding a thin space and the table. Null for any other atom.
const Table* casesTable(const Inner& inner) {
    const auto& left = inner.leftBoundary();
    const auto& right = inner.rightBoundary();
    if (!left || !right || left->nucleus != "{" || !right->nucleus.empty() || !inner.innerList ||
        inner.innerList->atoms.size() != 2) {
        return nullptr;
    }
    const auto& atoms = inner.innerList->atoms;
    const auto* space = dynamic_cast<const Space*>(atoms[0].get());
    const auto* table = dynamic_cast<const Table*>(atoms[1].get());
    if (!space || space->amount != 3 || !table || table->environment != "cases" ||
        atoms[0]->subscript() || atoms[0]->superscript()) {
        return nullptr;
    }
    return table;
}

bool holdsLists(const Atom& atom) {
    switch (atom.type) {
    case AtomType::fraction:
    case AtomType::radical:
    case AtomType::inner:
    case AtomType::underline:
    case AtomType::overline:
    case AtomType::accent:
    case AtomType::table:
    case AtomType::color:
    case AtomType::textColor:
    case AtomType::colorBox:
        return true;
    default:
        return false;
    }
}

class Writer {
public:
    explicit Writer(std::string& out)
        : out(out) {}

    // Writes the atoms of `list` from `first` on.
    void writeList(const AtomList* list, std::size_t first = 0) {
        if (!list) {
            return;
        }
        FontStyle current = FontStyle::default_;
        for (std::size_t i = first; i < list->atoms.size(); ++i) {
            const Atom* atom = list->atoms[i].get();
            if (!atom) {
                continue;
            }
            // A list written inside a font group would take its font when read back, so atoms
            // holding lists of their own (whose atoms carry their own fonts) stay outside.
            const FontStyle wanted = holdsLists(*atom) ? FontStyle::default_ : atom->fontStyle;
            if (wanted != current) {
                if (current != FontStyle::default_) {
                    out += '}';
                }
                if (wanted != FontStyle::default_) {
                    out += '\\';
                    out += fontStyleCommand(wanted);
                    out += '{';
                }
                current = wanted;
            }
            writeAtom(*atom);
            if (current != FontStyle::default_ && (atom->superscript() || atom->subscript())) {
                // The scripts are lists too.
                out += '}';
                current = FontStyle::default_;
            }
            if (atom->superscript()) {
                out += "^{";
                writeList(atom->superscript().get());
                out += '}';
            }
            if (atom->subscript()) {
                out += "_{";
                writeList(atom->subscript().get());
                out += '}';
            }
        }
        if (current != FontStyle::default_) {
            out += '}';
        }
    }

private:
    void braced(const std::shared_ptr<AtomList>& list) {
        out += '{';
        writeList(list.get());
        out += '}';
    }

    void writeAtom(const Atom& atom) {
        switch (atom.type) {
        case AtomType::fraction:
            if (const auto* fraction = dynamic_cast<const Fraction*>(&atom)) {
                writeFraction(*fraction);
            }
            return;
        case AtomType::radical:
            out += "\\sqrt";
            if (const auto* radical = dynamic_cast<const Radical*>(&atom)) {
                if (radical->degree) {
                    out += '[';
                    writeList(radical->degree.get());
                    out += ']';
                }
                braced(radical->radicand);
            } else {
                out += "{}";
            }
            return;
        case AtomType::inner:
            if (const auto* inner = dynamic_cast<const Inner*>(&atom)) {
                writeInner(*inner);
            } else {
                out += "{}";
            }
            return;
        case AtomType::underline: {
            const auto* underline = dynamic_cast<const Underline*>(&atom);
            out += "\\underline";
            braced(underline ? underline->innerList : nullptr);
            return;
        }
        case AtomType::overline: {
            const auto* overline = dynamic_cast<const Overline*>(&atom);
            out += "\\overline";
            braced(overline ? overline->innerList : nullptr);
            return;
        }
        case AtomType::accent: {
            const auto* accent = dynamic_cast<const Accent*>(&atom);
            const auto& names = accentValueNames();
            if (const auto name = names.find(atom.nucleus); name != names.end()) {
                out += '\\';
                out += name->second;
            }
            // An unknown mark still keeps its base in a group.
            braced(accent ? accent->innerList : nullptr);
            return;
        }
        case AtomType::largeOperator:
            writeLargeOperator(atom);
            return;
        case AtomType::space: {
            const auto* space = dynamic_cast<const Space*>(&atom);
            const double amount = space ? space->amount : 0;
            if (const auto command = spaceCommand(amount); !command.empty()) {
                out += '\\';
                out += command;
                out += ' ';
            } else {
                // to_chars ignores the C locale, which a GTK host sets from the user's
                // environment (printf would write "6,0" under a German locale).
                // Room for the largest double written out in full (309 digits).
                std::array<char, 330> buffer{};
                const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                  amount, std::chars_format::fixed, 1);
                out += "\\mkern";
                out.append(buffer.data(), result.ptr);
                out += "mu";
            }
            return;
        }
        case AtomType::style: {
            const auto* style = dynamic_cast<const Style*>(&atom);
            out += '\\';
            out += styleCommand(style ? style->level : Style::Level::display);
            out += ' ';
            return;
        }
        case AtomType::table:
            if (const auto* table = dynamic_cast<const Table*>(&atom)) {
                writeTable(*table);
            }
            return;
        case AtomType::color:
            if (const auto* color = dynamic_cast<const Color*>(&atom)) {
                writeColor("color", color->colorString, color->innerList);
                return;
            }
            break;
        case AtomType::textColor:
            if (const auto* color = dynamic_cast<const TextColor*>(&atom)) {
                writeColor("textcolor", color->colorString, color->innerList);
                return;
            }
            break;
        case AtomType::colorBox:
            if (const auto* color = dynamic_cast<const ColorBox*>(&atom)) {
                writeColor("colorbox", color->colorString, color->innerList);
                return;
            }
            break;
        default:
            break;
        }
        writeNucleus(atom);
    }

    void writeNucleus(const Atom& atom) {
        if (atom.nucleus.empty()) {
            out += "{}";
        } else if (atom.nucleus == "\u2236") {
            out += ':';
        } else if (atom.nucleus == "\u2212") {
            out += '-';
        } else if (const auto command = commandNameForAtom(atom)) {
            out += '\\';
            out += *command;
            out += ' ';
        } else if (const auto negated = negatedCommand(atom.nucleus); !negated.empty()) {
            // Negated relations have no command of their own; without \not they would not
            // read back at all.
            out += "\\not\\";
            out += negated;
            out += ' ';
        } else {
            out += atom.nucleus;
        }
    }

    void writeFraction(const Fraction& fraction) {
        if (fraction.isContinuedFraction) {
            out += "\\cfrac";
            if (fraction.alignment != "c") {
                out += '[';
                out += fraction.alignment;
                out += ']';
            }
            braced(fraction.numerator);
            braced(fraction.denominator);
            return;
        }
        if (fraction.hasRule) {
            out += "\\frac";
            braced(fraction.numerator);
            braced(fraction.denominator);
            return;
        }
        const auto& left = fraction.leftDelimiter;
        const auto& right = fraction.rightDelimiter;
        std::string name;
        if (left.empty() && right.empty()) {
            name = "atop";
        } else if (left == "(" && right == ")") {
            name = "choose";
        } else if (left == "{" && right == "}") {
            name = "brace";
        } else if (left == "[" && right == "]") {
            name = "brack";
        } else {
            name = "atopwithdelims" + left + right;
        }
        out += '{';
        writeList(fraction.numerator.get());
        out += " \\" + name + " ";
        writeList(fraction.denominator.get());
        out += '}';
    }

    void writeInner(const Inner& inner) {
        if (const Table* cases = casesTable(inner)) {
            // The brace and the leading space are what the cases environment adds itself.
            writeTable(*cases);
            return;
        }
        if (!inner.leftBoundary() && !inner.rightBoundary()) {
            braced(inner.innerList);
            return;
        }
        // A boundary whose delimiter has no name is written as the null delimiter.
        const auto delimiter = [](const std::shared_ptr<Atom>& boundary) {
            const std::string name = boundary ? delimiterCommandName(*boundary) : "";
            return name.empty() ? std::string(".") : name;
        };
        out += "\\left" + delimiter(inner.leftBoundary()) + " ";
        writeList(inner.innerList.get());
        out += "\\right" + delimiter(inner.rightBoundary()) + " ";
    }

    void writeLargeOperator(const Atom& atom) {
        const auto command = commandNameForAtom(atom);
        if (!command) {
            writeNucleus(atom);
            return;
        }
        out += '\\';
        out += *command;
        out += ' ';
        const auto* op = dynamic_cast<const LargeOperator*>(&atom);
        const auto symbol = symbolAtomForName(*command);
        const auto* tableOp = dynamic_cast<const LargeOperator*>(symbol.get());
        if (op && tableOp && op->limits != tableOp->limits) {
            out += op->limits ? "\\limits " : "\\nolimits ";
        }
    }

    void writeColor(std::string_view command, const std::string& colorString,
                    const std::shared_ptr<AtomList>& innerList) {
        out += '\\';
        out += command;
        out += '{';
        out += colorString;
        out += '}';
        braced(innerList);
    }

    void writeTable(const Table& table) {
        const std::string& environment = table.environment;
        if (!environment.empty()) {
            out += "\\begin{" + environment + "}";
        }
        // The environments put a style atom in front of every cell; it is skipped here.
        const bool matrix = environment == "matrix" || environment == "cases";
        const bool aligned =
            environment == "eqalign" || environment == "aligned" || environment == "split";
        for (std::size_t r = 0; r < table.cells.size(); ++r) {
            const auto& row = table.cells[r];
            for (std::size_t c = 0; c < row.size(); ++c) {
                const AtomList* cell = row[c].get();
                // The style and spacer atoms the environment put in front of the cells are
                // skipped (not removed: the list stays as it was).
                std::size_t first = 0;
                if (cell && !cell->atoms.empty() && cell->atoms.front()) {
                    const Atom& lead = *cell->atoms.front();
                    if ((matrix && lead.type == AtomType::style) ||
                        (aligned && c == 1 && lead.type == AtomType::ordinary &&
                         lead.nucleus.empty())) {
                        first = 1;
                    }
                }
                writeList(cell, first);
                if (c + 1 < row.size()) {
                    out += '&';
                }
            }
            if (r + 1 < table.cells.size()) {
                out += "\\\\ ";
            }
        }
        if (!environment.empty()) {
            out += "\\end{" + environment + "}";
        }
    }

    std::string& out;
};

} // namespace

std::string serializeAtomList(const AtomList* list) {
    std::string out;
    Writer(out).writeList(list);
    return out;
}

std::string serializeAtomList(const std::shared_ptr<AtomList>& list) {
    return serializeAtomList(list.get());
}

std::string serializeAtomList(const AtomList& list) {
    return serializeAtomList(&list);
}

std::string delimiterCommandName(const Atom& atom) {
    if (atom.type != AtomType::boundary) {
        return {};
    }
    const auto& names = delimiterValueNames();
    const auto found = names.find(atom.nucleus);
    if (found == names.end()) {
        return {};
    }
    const std::string& name = found->second;
    static constexpr std::array<std::string_view, 9> plain{"(", ")", "[", "]", "<",
                                                           ">", "|", ".", "/"};
    for (const auto p : plain) {
        if (name == p) {
            return name;
        }
    }
    if (name == "||") {
        return "\\|";
    }
    return "\\" + name;
}

} // namespace Math
