#pragma once

// Letters and digits of numbers and variables are drawn in the Unicode mathematical alphanumeric
// alphabets (italic, bold, script, fraktur, double-struck ...) chosen by the atom's font style.
// The mappers take one character (a grapheme cluster in UTF-8) and give the code point to draw.

#include "Math/Atom.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Math {

// `nucleus` with every character mapped to the alphabet of `style`. A character made of several
// scalars is kept as written: the alphabets only hold single letters and digits.
// `drawable`, when given, tells whether the font has a glyph for a character: a letter whose
// styled form the font lacks is kept as written (an upright font such as Euler has no italic
// alphabet) rather than drawn as a missing glyph.
std::string styleCharacters(std::string_view nucleus, Atom::FontStyle style,
                            const std::function<bool(char32_t)>& drawable = {});

// One mapper per alphabet. Characters an alphabet has no letter for come back unchanged (the
// non-default alphabets fall back to the default one first).
char32_t italicCharacter(std::string_view character);
char32_t boldCharacter(std::string_view character);
char32_t boldItalicCharacter(std::string_view character);
// Latin letters and small Greek become italic; digits, capital Greek and "." stay upright.
// Anything else is not expected in a number or variable and is kept unchanged.
char32_t defaultStyleCharacter(std::string_view character);
char32_t caligraphicCharacter(std::string_view character);
char32_t typewriterCharacter(std::string_view character);
char32_t sansSerifCharacter(std::string_view character);
char32_t frakturCharacter(std::string_view character);
char32_t blackboardCharacter(std::string_view character);

// The character's scalar values in order.
std::vector<std::uint32_t> unicodeScalarArray(std::string_view text);
bool isUpperGreek(std::string_view character);
bool isLowerGreek(std::string_view character);
// Position of a Greek symbol variant in the order lunate epsilon, theta, kappa, phi, rho, pi
// symbol; nothing for other characters.
std::optional<int> greekSymbolOrder(std::string_view character);

} // namespace Math
