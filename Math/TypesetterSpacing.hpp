#pragma once

// The space TeX puts between two adjacent atoms, chosen by their types and the math style.

#include "Math/Atom.hpp"

#include <cstdint>
#include <optional>

namespace Math {

// The kinds of space between two atoms. `invalid` marks pairs a finalised list never contains
// (two binary operators in a row); it measures 0 like `none`.
enum class InterElementSpaceType : std::int8_t {
    invalid = -1,
    none = 0,
    thin = 1,
    nsThin = 2,
    nsMedium = 3,
    nsThick = 4,
};

// The type with this raw value; nothing outside -1...4.
std::optional<InterElementSpaceType> interElementSpaceTypeFromRawValue(int rawValue);

// The kind of space between a left and a right atom of these types.
InterElementSpaceType interElementSpaceType(AtomType left, AtomType right);

// The space in points between atoms of these types in `style`, where one mu is `mu` points.
// Thin spaces stay in every style; the others vanish in script and script-of-script style.
double interElementSpace(AtomType left, AtomType right, Style::Level style, double mu);

} // namespace Math
