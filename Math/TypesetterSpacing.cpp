#include "Math/TypesetterSpacing.hpp"

#include <array>

namespace Math {

namespace {

using enum InterElementSpaceType;

// Rows by the left atom, columns by the right one: ordinary, large operator, binary operator,
// relation, open, close, punctuation, fraction/inner, and (as left atom only) radical.
constexpr std::array<std::array<InterElementSpaceType, 8>, 9> spacingTable{{
    {none, thin, nsMedium, nsThick, none, none, none, nsThin},
    {thin, thin, invalid, nsThick, none, none, none, nsThin},
    {nsMedium, nsMedium, invalid, invalid, nsMedium, invalid, invalid, nsMedium},
    {nsThick, nsThick, invalid, none, nsThick, none, none, nsThick},
    {none, none, invalid, none, none, none, none, none},
    {none, thin, nsMedium, nsThick, none, none, none, nsThin},
    {nsThin, nsThin, invalid, nsThin, nsThin, nsThin, nsThin, nsThin},
    {nsThin, thin, nsMedium, nsThick, nsThin, none, nsThin, nsThin},
    {nsMedium, nsThin, nsMedium, nsThick, none, none, none, nsThin},
}};

// Index shared by rows and columns; a radical has a row of its own but reads column 0.
std::size_t tableIndex(AtomType type, bool asRow) {
    switch (type) {
    case AtomType::largeOperator:
        return 1;
    case AtomType::binaryOperator:
        return 2;
    case AtomType::relation:
        return 3;
    case AtomType::open:
        return 4;
    case AtomType::close:
        return 5;
    case AtomType::punctuation:
        return 6;
    case AtomType::fraction:
    case AtomType::inner:
        return 7;
    case AtomType::radical:
        return asRow ? 8 : 0;
    default:
        return 0;
    }
}

} // namespace

std::optional<InterElementSpaceType> interElementSpaceTypeFromRawValue(int rawValue) {
    if (rawValue < -1 || rawValue > 4) {
        return std::nullopt;
    }
    return static_cast<InterElementSpaceType>(rawValue);
}

InterElementSpaceType interElementSpaceType(AtomType left, AtomType right) {
    return spacingTable[tableIndex(left, true)][tableIndex(right, false)];
}

double interElementSpace(AtomType left, AtomType right, Style::Level style, double mu) {
    const bool scriptLevel = style == Style::Level::script || style == Style::Level::scriptOfScript;
    switch (interElementSpaceType(left, right)) {
    case invalid:
    case none:
        return 0;
    case thin:
        return 3 * mu;
    case nsThin:
        return scriptLevel ? 0 : 3 * mu;
    case nsMedium:
        return scriptLevel ? 0 : 4 * mu;
    case nsThick:
        return scriptLevel ? 0 : 5 * mu;
    }
    return 0;
}

} // namespace Math
