#include "Math/Atom.hpp"

#include "Math/AtomList.hpp"

#include <initializer_list>

namespace Math {

namespace {

// Appends the parts in order. (Chains of operator+ on strings trip a false -Wrestrict report of
// g++ 12 at -O3.)
void append(std::string& text, std::initializer_list<std::string_view> parts) {
    for (const auto part : parts) {
        text += part;
    }
}

std::shared_ptr<AtomList> deepCopyOf(const std::shared_ptr<AtomList>& list) {
    return list ? list->deepCopy() : nullptr;
}

std::string listDescription(const std::shared_ptr<AtomList>& list) {
    return list ? list->description() : "placeholder";
}

// Copies a subclass: its own fields first, then the base fields. When `source` is not of class
// `T` (its type was set on another class) the result is a default `T`.
template <class T, class CopyFields>
std::shared_ptr<Atom> copyAs(const Atom& source, bool withScripts, CopyFields copyFields) {
    auto result = std::make_shared<T>();
    if (const auto* typed = dynamic_cast<const T*>(&source)) {
        copyFields(*typed, *result);
        result->copyBaseFieldsFrom(source, withScripts);
    }
    return result;
}

} // namespace

std::string_view description(AtomType type) {
    switch (type) {
    case AtomType::ordinary:
        return "Ordinary";
    case AtomType::number:
        return "Number";
    case AtomType::variable:
        return "Variable";
    case AtomType::largeOperator:
        return "Large Operator";
    case AtomType::binaryOperator:
        return "Binary Operator";
    case AtomType::unaryOperator:
        return "Unary Operator";
    case AtomType::relation:
        return "Relation";
    case AtomType::open:
        return "Open";
    case AtomType::close:
        return "Close";
    case AtomType::fraction:
        return "Fraction";
    case AtomType::radical:
        return "Radical";
    case AtomType::punctuation:
        return "Punctuation";
    case AtomType::placeholder:
        return "Placeholder";
    case AtomType::inner:
        return "Inner";
    case AtomType::underline:
        return "Underline";
    case AtomType::overline:
        return "Overline";
    case AtomType::accent:
        return "Accent";
    case AtomType::boundary:
        return "Boundary";
    case AtomType::space:
        return "Space";
    case AtomType::style:
        return "Style";
    case AtomType::color:
        return "Color";
    case AtomType::textColor:
        return "TextColor";
    case AtomType::colorBox:
        return "Colorbox";
    case AtomType::table:
        return "Table";
    }
    return "";
}

std::optional<AtomType> atomTypeFromRawValue(int rawValue) {
    if ((rawValue >= 1 && rawValue <= 17) || rawValue == 101 ||
        (rawValue >= 201 && rawValue <= 205) || rawValue == 1001) {
        return static_cast<AtomType>(rawValue);
    }
    return std::nullopt;
}

std::optional<Atom::FontStyle> Atom::fontStyleFromRawValue(int rawValue) {
    if (rawValue >= 0 && rawValue <= 9) {
        return static_cast<FontStyle>(rawValue);
    }
    return std::nullopt;
}

// MARK: Atom

Atom::Atom(AtomType type, std::string nucleus)
    : type(type)
    , nucleus(std::move(nucleus)) {}

Atom::~Atom() = default;

void Atom::setSubscript(std::shared_ptr<AtomList> list) {
    setScript(&Scripts::subscript, std::move(list));
}

void Atom::setSuperscript(std::shared_ptr<AtomList> list) {
    setScript(&Scripts::superscript, std::move(list));
}

void Atom::setScript(std::shared_ptr<AtomList> Scripts::*script, std::shared_ptr<AtomList> list) {
    if (isScriptlessType(type)) {
        list.reset();
    }
    if (!scripts_) {
        if (!list) {
            return;
        }
        scripts_ = std::make_unique<Scripts>();
    }
    (*scripts_).*script = std::move(list);
    if (!scripts_->subscript && !scripts_->superscript) {
        scripts_.reset();
    }
}

std::string Atom::scriptsDescription() const {
    std::string text;
    if (superscript()) {
        append(text, {"^{", superscript()->description(), "}"});
    }
    if (subscript()) {
        append(text, {"_{", subscript()->description(), "}"});
    }
    return text;
}

std::string Atom::description() const {
    return nucleus + scriptsDescription();
}

void Atom::copyBaseFieldsFrom(const Atom& source) {
    copyBaseFieldsFrom(source, true);
}

void Atom::copyBaseFieldsFrom(const Atom& source, bool withScripts) {
    type = source.type;
    nucleus = source.nucleus;
    indexRange = source.indexRange;
    fontStyle = source.fontStyle;
    // Fused atoms are copied too, so that no atom object is shared between a list and its copy.
    fusedAtoms.clear();
    fusedAtoms.reserve(source.fusedAtoms.size());
    for (const auto& part : source.fusedAtoms) {
        fusedAtoms.push_back(part ? part->copy() : nullptr);
    }
    if (withScripts) {
        setSubscript(deepCopyOf(source.subscript()));
        setSuperscript(deepCopyOf(source.superscript()));
    }
}

std::shared_ptr<Atom> Atom::initCopying(const Atom& source) {
    return initCopying(source, true);
}

std::shared_ptr<Atom> Atom::initCopying(const Atom& source, bool withScripts) {
    auto result = std::make_shared<Atom>(source.type, source.nucleus);
    // Most atoms of a formula are single symbols with nothing inside them: a long formula is
    // copied once per symbol, and their fields are copied without the walk over parts and scripts.
    if (source.fusedAtoms.empty() && !source.scripts_) {
        result->indexRange = source.indexRange;
        result->fontStyle = source.fontStyle;
    } else {
        result->copyBaseFieldsFrom(source, withScripts);
    }
    return result;
}

std::shared_ptr<Atom> Atom::copy() const {
    return copy(true);
}

std::shared_ptr<Atom> Atom::copy(bool withScripts) const {
    switch (type) {
    case AtomType::largeOperator:
        return copyAs<LargeOperator>(
            *this, withScripts,
            [](const LargeOperator& s, LargeOperator& d) { d.limits = s.limits; });
    case AtomType::fraction:
        return copyAs<Fraction>(*this, withScripts, [](const Fraction& s, Fraction& d) {
            d.hasRule = s.hasRule;
            d.leftDelimiter = s.leftDelimiter;
            d.rightDelimiter = s.rightDelimiter;
            d.numerator = deepCopyOf(s.numerator);
            d.denominator = deepCopyOf(s.denominator);
            d.isContinuedFraction = s.isContinuedFraction;
            d.alignment = s.alignment;
        });
    case AtomType::radical:
        return copyAs<Radical>(*this, withScripts, [](const Radical& s, Radical& d) {
            d.radicand = deepCopyOf(s.radicand);
            d.degree = deepCopyOf(s.degree);
        });
    case AtomType::inner:
        return copyAs<Inner>(*this, withScripts, [](const Inner& s, Inner& d) {
            d.innerList = deepCopyOf(s.innerList);
            d.setLeftBoundary(s.leftBoundary() ? s.leftBoundary()->copy() : nullptr);
            d.setRightBoundary(s.rightBoundary() ? s.rightBoundary()->copy() : nullptr);
        });
    case AtomType::underline:
        return copyAs<Underline>(*this, withScripts, [](const Underline& s, Underline& d) {
            d.innerList = deepCopyOf(s.innerList);
        });
    case AtomType::overline:
        return copyAs<Overline>(*this, withScripts, [](const Overline& s, Overline& d) {
            d.innerList = deepCopyOf(s.innerList);
        });
    case AtomType::accent:
        return copyAs<Accent>(*this, withScripts, [](const Accent& s, Accent& d) {
            d.innerList = deepCopyOf(s.innerList);
        });
    case AtomType::space:
        return copyAs<Space>(*this, withScripts,
                             [](const Space& s, Space& d) { d.amount = s.amount; });
    case AtomType::style:
        return copyAs<Style>(*this, withScripts,
                             [](const Style& s, Style& d) { d.level = s.level; });
    case AtomType::color:
        return copyAs<Color>(*this, withScripts, [](const Color& s, Color& d) {
            d.colorString = s.colorString;
            d.innerList = deepCopyOf(s.innerList);
        });
    case AtomType::textColor:
        return copyAs<TextColor>(*this, withScripts, [](const TextColor& s, TextColor& d) {
            d.colorString = s.colorString;
            d.innerList = deepCopyOf(s.innerList);
        });
    case AtomType::colorBox:
        return copyAs<ColorBox>(*this, withScripts, [](const ColorBox& s, ColorBox& d) {
            d.colorString = s.colorString;
            d.innerList = deepCopyOf(s.innerList);
        });
    case AtomType::table:
        return copyAs<Table>(*this, withScripts, [](const Table& s, Table& d) {
            d.alignments = s.alignments;
            d.cells.reserve(s.cells.size());
            for (const auto& row : s.cells) {
                auto& newRow = d.cells.emplace_back();
                newRow.reserve(row.size());
                for (const auto& cell : row) {
                    newRow.push_back(deepCopyOf(cell));
                }
            }
            d.environment = s.environment;
            d.interColumnSpacing = s.interColumnSpacing;
            d.interRowAdditionalSpacing = s.interRowAdditionalSpacing;
        });
    default:
        return initCopying(*this, withScripts);
    }
}

std::shared_ptr<Atom> Atom::finalized() const {
    // The scripts are finalised from this atom's own: a copy of them made only to be finalised
    // was copied again.
    auto result = copy(false);
    if (superscript()) {
        result->setSuperscript(finalizedAtomList(superscript()));
    }
    if (subscript()) {
        result->setSubscript(finalizedAtomList(subscript()));
    }
    return result;
}

void Atom::fuse(const std::shared_ptr<Atom>& other) {
    if (!other || other.get() == this || scripts_ || type != other->type) {
        return;
    }
    if (fusedAtoms.empty()) {
        fusedAtoms.push_back(initCopying(*this));
    }
    if (other->fusedAtoms.empty()) {
        fusedAtoms.push_back(other);
    } else {
        fusedAtoms.insert(fusedAtoms.end(), other->fusedAtoms.begin(), other->fusedAtoms.end());
    }
    nucleus += other->nucleus;
    indexRange.length += other->indexRange.length;
    setSuperscript(other->superscript());
    setSubscript(other->subscript());
}

// MARK: Subclasses

LargeOperator::LargeOperator(bool limits)
    : Atom(AtomType::largeOperator)
    , limits(limits) {}

Fraction::Fraction()
    : Atom(AtomType::fraction) {}

std::string Fraction::description() const {
    std::string text = hasRule ? "\\frac" : "\\atop";
    if (!leftDelimiter.empty()) {
        append(text, {"[", leftDelimiter, "]"});
    }
    if (!rightDelimiter.empty()) {
        append(text, {"[", rightDelimiter, "]"});
    }
    append(text, {"{", listDescription(numerator), "}{", listDescription(denominator), "}"});
    return text + scriptsDescription();
}

std::shared_ptr<Atom> Fraction::finalized() const {
    auto result = Atom::finalized();
    if (auto* fraction = dynamic_cast<Fraction*>(result.get())) {
        fraction->numerator = finalizedAtomList(fraction->numerator);
        fraction->denominator = finalizedAtomList(fraction->denominator);
    }
    return result;
}

Radical::Radical(std::shared_ptr<AtomList> radicand, std::shared_ptr<AtomList> degree)
    : Atom(AtomType::radical)
    , radicand(std::move(radicand))
    , degree(std::move(degree)) {}

std::string Radical::description() const {
    std::string text = "\\sqrt";
    if (degree) {
        append(text, {"[", degree->description(), "]"});
    }
    append(text, {"{", listDescription(radicand), "}"});
    return text + scriptsDescription();
}

std::shared_ptr<Atom> Radical::finalized() const {
    auto result = Atom::finalized();
    if (auto* radical = dynamic_cast<Radical*>(result.get())) {
        radical->radicand = finalizedAtomList(radical->radicand);
        radical->degree = finalizedAtomList(radical->degree);
    }
    return result;
}

Inner::Inner(std::shared_ptr<AtomList> innerList, std::shared_ptr<Atom> leftBoundary,
             std::shared_ptr<Atom> rightBoundary)
    : Atom(AtomType::inner)
    , innerList(std::move(innerList)) {
    setLeftBoundary(std::move(leftBoundary));
    setRightBoundary(std::move(rightBoundary));
}

void Inner::setLeftBoundary(std::shared_ptr<Atom> atom) {
    leftBoundary_ = (atom && atom->type == AtomType::boundary) ? std::move(atom) : nullptr;
}

void Inner::setRightBoundary(std::shared_ptr<Atom> atom) {
    rightBoundary_ = (atom && atom->type == AtomType::boundary) ? std::move(atom) : nullptr;
}

std::string Inner::description() const {
    std::string text = "\\inner";
    if (leftBoundary_) {
        append(text, {"[", leftBoundary_->nucleus, "]"});
    }
    if (innerList) {
        append(text, {"{", innerList->description(), "}"});
    }
    if (rightBoundary_) {
        append(text, {"[", rightBoundary_->nucleus, "]"});
    }
    return text + scriptsDescription();
}

std::shared_ptr<Atom> Inner::finalized() const {
    auto result = Atom::finalized();
    if (auto* inner = dynamic_cast<Inner*>(result.get())) {
        inner->innerList = finalizedAtomList(inner->innerList);
    }
    return result;
}

Underline::Underline(std::shared_ptr<AtomList> innerList)
    : Atom(AtomType::underline)
    , innerList(std::move(innerList)) {}

std::shared_ptr<Atom> Underline::finalized() const {
    auto result = Atom::finalized();
    if (auto* underline = dynamic_cast<Underline*>(result.get())) {
        underline->innerList = finalizedAtomList(underline->innerList);
    }
    return result;
}

Overline::Overline(std::shared_ptr<AtomList> innerList)
    : Atom(AtomType::overline)
    , innerList(std::move(innerList)) {}

std::shared_ptr<Atom> Overline::finalized() const {
    auto result = Atom::finalized();
    if (auto* overline = dynamic_cast<Overline*>(result.get())) {
        overline->innerList = finalizedAtomList(overline->innerList);
    }
    return result;
}

Accent::Accent(std::string nucleus, std::shared_ptr<AtomList> innerList)
    : Atom(AtomType::accent, std::move(nucleus))
    , innerList(std::move(innerList)) {}

std::shared_ptr<Atom> Accent::finalized() const {
    auto result = Atom::finalized();
    if (auto* accent = dynamic_cast<Accent*>(result.get())) {
        accent->innerList = finalizedAtomList(accent->innerList);
    }
    return result;
}

Space::Space(double amount)
    : Atom(AtomType::space)
    , amount(amount) {}

Style::Style(Level level)
    : Atom(AtomType::style)
    , level(level) {}

namespace {

std::string colorDescription(std::string_view command, const std::string& colorString,
                             const std::shared_ptr<AtomList>& innerList) {
    std::string text;
    append(text, {command, "{", colorString, "}"});
    if (innerList) {
        append(text, {"{", innerList->description(), "}"});
    }
    return text;
}

template <class T>
std::shared_ptr<Atom> finalizeColor(std::shared_ptr<Atom> result) {
    if (auto* color = dynamic_cast<T*>(result.get())) {
        color->innerList = finalizedAtomList(color->innerList);
    }
    return result;
}

} // namespace

Color::Color(std::string colorString, std::shared_ptr<AtomList> innerList)
    : Atom(AtomType::color)
    , colorString(std::move(colorString))
    , innerList(std::move(innerList)) {}

std::string Color::description() const {
    return colorDescription("\\color", colorString, innerList);
}

std::shared_ptr<Atom> Color::finalized() const {
    return finalizeColor<Color>(Atom::finalized());
}

TextColor::TextColor(std::string colorString, std::shared_ptr<AtomList> innerList)
    : Atom(AtomType::textColor)
    , colorString(std::move(colorString))
    , innerList(std::move(innerList)) {}

std::string TextColor::description() const {
    return colorDescription("\\textcolor", colorString, innerList);
}

std::shared_ptr<Atom> TextColor::finalized() const {
    return finalizeColor<TextColor>(Atom::finalized());
}

ColorBox::ColorBox(std::string colorString, std::shared_ptr<AtomList> innerList)
    : Atom(AtomType::colorBox)
    , colorString(std::move(colorString))
    , innerList(std::move(innerList)) {}

std::string ColorBox::description() const {
    return colorDescription("\\colorbox", colorString, innerList);
}

std::shared_ptr<Atom> ColorBox::finalized() const {
    return finalizeColor<ColorBox>(Atom::finalized());
}

Table::Table()
    : Atom(AtomType::table) {}

void Table::setCell(std::shared_ptr<AtomList> list, std::size_t row, std::size_t column) {
    while (cells.size() <= row) {
        cells.emplace_back();
    }
    auto& cellsOfRow = cells[row];
    while (cellsOfRow.size() <= column) {
        cellsOfRow.push_back(std::make_shared<AtomList>());
    }
    cellsOfRow[column] = std::move(list);
}

void Table::setAlignment(ColumnAlignment alignment, std::size_t column) {
    while (alignments.size() <= column) {
        alignments.push_back(ColumnAlignment::center);
    }
    alignments[column] = alignment;
}

std::shared_ptr<Atom> Table::finalized() const {
    auto result = Atom::finalized();
    if (auto* table = dynamic_cast<Table*>(result.get())) {
        for (auto& row : table->cells) {
            for (auto& cell : row) {
                cell = finalizedAtomList(cell);
            }
        }
    }
    return result;
}

} // namespace Math
