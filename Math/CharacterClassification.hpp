#pragma once

// What a plain character of a formula stands for: digits are numbers, Latin letters variables,
// signs operators and relations, brackets open and close atoms, accented letters accents over
// their base letter. Characters are compared by canonical equivalence, so a letter written with a
// combining mark is the same as its precomposed form.

#include "Math/Atom.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace Math {

// Accented or special character (NFC) to (command, base letter); the base is empty for the
// letters that are symbol commands of their own (ß, å, æ ...).
const std::unordered_map<std::string, std::pair<std::string, std::string>>& accentedCharacters();

// The atom for one character (a grapheme cluster), or null when the character stands for nothing
// by itself (spaces, control and most non-ASCII characters, and the characters the parser treats
// itself: $ % # & ~ ' ^ _ { } and the backslash).
std::shared_ptr<Atom> atomForCharacter(std::string_view character);

// The atom for a character of accentedCharacters(), or null.
std::shared_ptr<Atom> atomForAccentedCharacter(std::string_view character);

} // namespace Math
