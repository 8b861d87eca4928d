#pragma once

// The atom model of a parsed formula: TeX-style math atoms (ordinary symbols, numbers, binary
// operators, fractions, radicals, tables ...) held by reference in atom lists. Copies are explicit
// and deep; the typesetter works on finalised copies so that parsed lists can stay cached.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Math {

class AtomList;

// The kinds of atom. Raw values are not contiguous; ordering compares them, and every type from
// `boundary` on never carries a subscript or superscript.
enum class AtomType : std::int16_t {
    ordinary = 1,
    number = 2,
    variable = 3,
    largeOperator = 4,
    binaryOperator = 5,
    unaryOperator = 6,
    relation = 7,
    open = 8,
    close = 9,
    fraction = 10,
    radical = 11,
    punctuation = 12,
    placeholder = 13,
    inner = 14,
    underline = 15,
    overline = 16,
    accent = 17,
    boundary = 101,
    space = 201,
    style = 202,
    color = 203,
    textColor = 204,
    colorBox = 205,
    table = 1001,
};

// "Ordinary", "Large Operator", "Colorbox" ...
std::string_view description(AtomType type);
// The type with this raw value, or nothing for an integer that names none.
std::optional<AtomType> atomTypeFromRawValue(int rawValue);
// Types from `boundary` on: they never hold scripts.
constexpr bool isScriptlessType(AtomType type) {
    return type >= AtomType::boundary;
}

// Position of an atom in the formula's text.
struct IndexRange {
    std::int64_t location = 0;
    std::int64_t length = 0;
    bool operator==(const IndexRange&) const = default;
    bool isZero() const { return location == 0 && length == 0; }
};

class Atom {
public:
    // The alphabet a nucleus is drawn in. (`default` is spelt `default_`: the word is reserved.)
    enum class FontStyle : std::uint8_t {
        default_ = 0,
        roman,
        bold,
        caligraphic,
        typewriter,
        italic,
        sansSerif,
        fraktur,
        blackboard,
        boldItalic,
    };
    static std::optional<FontStyle> fontStyleFromRawValue(int rawValue);

    Atom(AtomType type, std::string nucleus = {});
    virtual ~Atom();
    Atom(const Atom&) = delete;
    Atom& operator=(const Atom&) = delete;

    // The style sits beside the type, in the room the type leaves before the nucleus: a long
    // formula holds one atom per symbol.
    AtomType type;
    FontStyle fontStyle = FontStyle::default_;
    std::string nucleus;
    IndexRange indexRange;
    // The atoms a fused atom was made of; filled only by fuse().
    std::vector<std::shared_ptr<Atom>> fusedAtoms;

    const std::shared_ptr<AtomList>& subscript() const {
        return scripts_ ? scripts_->subscript : noScript_;
    }
    const std::shared_ptr<AtomList>& superscript() const {
        return scripts_ ? scripts_->superscript : noScript_;
    }
    // Store the script; for the scriptless types the value is dropped again.
    void setSubscript(std::shared_ptr<AtomList> list);
    void setSuperscript(std::shared_ptr<AtomList> list);

    // Debugging text: the nucleus followed by ^{...} and _{...} for the scripts.
    virtual std::string description() const;

    // A copy of the class that matches `type`, with every contained list deep-copied. When this
    // object is not of that class the result is a fresh default instance of it.
    std::shared_ptr<Atom> copy() const;

    // A copy whose scripts and contained lists are finalised (see finalizedAtomList).
    virtual std::shared_ptr<Atom> finalized() const;

    // Merges `other` into this atom (used for runs of digits): nothing happens unless this atom
    // has no scripts and both have the same type. The nucleus is appended, the range extended,
    // the parts recorded in fusedAtoms, and `other`'s scripts become this atom's.
    void fuse(const std::shared_ptr<Atom>& other);

    // A plain Atom with this atom's base fields; the scripts and fused atoms are deep copies.
    static std::shared_ptr<Atom> initCopying(const Atom& source);
    // Copies the base fields of `source` into this atom (scripts and fused atoms deep-copied;
    // the scripts left out when `withScripts` is false).
    void copyBaseFieldsFrom(const Atom& source);
    void copyBaseFieldsFrom(const Atom& source, bool withScripts);

protected:
    // copy() and initCopying(), with the scripts left out when `withScripts` is false.
    std::shared_ptr<Atom> copy(bool withScripts) const;
    static std::shared_ptr<Atom> initCopying(const Atom& source, bool withScripts);
    // "^{...}" and "_{...}" for the scripts that are present.
    std::string scriptsDescription() const;

private:
    // The scripts are held apart, and only by an atom that has one: most atoms have none, and a
    // formula of a megabyte is hundreds of thousands of atoms, held again by each typeset tree.
    struct Scripts {
        std::shared_ptr<AtomList> subscript;
        std::shared_ptr<AtomList> superscript;
    };
    void setScript(std::shared_ptr<AtomList> Scripts::*script, std::shared_ptr<AtomList> list);

    inline static const std::shared_ptr<AtomList> noScript_;
    std::unique_ptr<Scripts> scripts_;
};

class LargeOperator final : public Atom {
public:
    explicit LargeOperator(bool limits = false);
    bool limits;
};

class Fraction final : public Atom {
public:
    Fraction();
    bool hasRule = true;
    std::string leftDelimiter;
    std::string rightDelimiter;
    std::shared_ptr<AtomList> numerator;
    std::shared_ptr<AtomList> denominator;
    bool isContinuedFraction = false;
    std::string alignment = "c";

    std::string description() const override;
    std::shared_ptr<Atom> finalized() const override;
};

class Radical final : public Atom {
public:
    explicit Radical(std::shared_ptr<AtomList> radicand = {},
                     std::shared_ptr<AtomList> degree = {});
    std::shared_ptr<AtomList> radicand;
    std::shared_ptr<AtomList> degree;

    std::string description() const override;
    std::shared_ptr<Atom> finalized() const override;
};

class Inner final : public Atom {
public:
    explicit Inner(std::shared_ptr<AtomList> innerList = {},
                   std::shared_ptr<Atom> leftBoundary = {},
                   std::shared_ptr<Atom> rightBoundary = {});
    std::shared_ptr<AtomList> innerList;

    const std::shared_ptr<Atom>& leftBoundary() const { return leftBoundary_; }
    const std::shared_ptr<Atom>& rightBoundary() const { return rightBoundary_; }
    // Only boundary atoms are kept; any other atom leaves the field empty.
    void setLeftBoundary(std::shared_ptr<Atom> atom);
    void setRightBoundary(std::shared_ptr<Atom> atom);

    std::string description() const override;
    std::shared_ptr<Atom> finalized() const override;

private:
    std::shared_ptr<Atom> leftBoundary_;
    std::shared_ptr<Atom> rightBoundary_;
};

class Underline final : public Atom {
public:
    explicit Underline(std::shared_ptr<AtomList> innerList = {});
    std::shared_ptr<AtomList> innerList;
    std::shared_ptr<Atom> finalized() const override;
};

class Overline final : public Atom {
public:
    explicit Overline(std::shared_ptr<AtomList> innerList = {});
    std::shared_ptr<AtomList> innerList;
    std::shared_ptr<Atom> finalized() const override;
};

// The nucleus holds the combining accent mark; innerList the accented base.
class Accent final : public Atom {
public:
    explicit Accent(std::string nucleus = {}, std::shared_ptr<AtomList> innerList = {});
    std::shared_ptr<AtomList> innerList;
    std::shared_ptr<Atom> finalized() const override;
};

// Horizontal space in mu.
class Space final : public Atom {
public:
    explicit Space(double amount = 0);
    double amount;
};

class Style final : public Atom {
public:
    // Display, text, script and script-of-script style; the order is the depth.
    enum class Level : std::uint8_t { display = 0, text, script, scriptOfScript };
    explicit Style(Level level = Level::display);
    Level level;
};

// The three colour groups share their shape: a colour as written ("#ff0000", "red") and a list.
class Color final : public Atom {
public:
    explicit Color(std::string colorString = {}, std::shared_ptr<AtomList> innerList = {});
    std::string colorString;
    std::shared_ptr<AtomList> innerList;
    std::string description() const override;
    std::shared_ptr<Atom> finalized() const override;
};

class TextColor final : public Atom {
public:
    explicit TextColor(std::string colorString = {}, std::shared_ptr<AtomList> innerList = {});
    std::string colorString;
    std::shared_ptr<AtomList> innerList;
    std::string description() const override;
    std::shared_ptr<Atom> finalized() const override;
};

class ColorBox final : public Atom {
public:
    explicit ColorBox(std::string colorString = {}, std::shared_ptr<AtomList> innerList = {});
    std::string colorString;
    std::shared_ptr<AtomList> innerList;
    std::string description() const override;
    std::shared_ptr<Atom> finalized() const override;
};

class Table final : public Atom {
public:
    enum class ColumnAlignment : std::uint8_t { left, center, right };

    Table();
    std::vector<ColumnAlignment> alignments;
    std::vector<std::vector<std::shared_ptr<AtomList>>> cells;
    std::string environment;
    double interColumnSpacing = 0;        // in mu
    double interRowAdditionalSpacing = 0; // in jots

    // Grows the grid with empty rows and empty lists as needed, then stores `list` there.
    void setCell(std::shared_ptr<AtomList> list, std::size_t row, std::size_t column);
    // Grows the alignments with `center` as needed, then stores `alignment` for `column`.
    void setAlignment(ColumnAlignment alignment, std::size_t column);

    std::shared_ptr<Atom> finalized() const override;
};

} // namespace Math
