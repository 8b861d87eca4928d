#pragma once

// The characters (grapheme clusters) of a formula's text, found quickly for the symbols formulas
// are mostly made of. Line breaking splits the pending text into characters again and again;
// a character iterator costs far more than the few symbols it is asked about.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace Math {

// UTF-16 units in valid UTF-8.
std::size_t utf16Length(std::string_view text);

// The scalar of valid UTF-8 starting at byte `at`; `at` moves past it.
char32_t decodeScalar(std::string_view text, std::size_t& at);

// Whether the scalar is a character of its own whatever stands before or after it: it joins no
// neighbour, extends none, and is no emoji or prepended mark. Between two such scalars there is
// always a character boundary.
bool standsAlone(char32_t scalar);

// Where the last scalar of valid UTF-8 `text` starts, when every scalar from byte `from` on
// stands alone; nothing otherwise (or when there is none).
std::optional<std::size_t> lastScalarIfAllStandAlone(std::string_view text, std::size_t from);

// Whether `text` is valid UTF-8 of at least one scalar, each standing alone; with its UTF-16
// length, and where its last scalar starts and how many UTF-16 units that one takes. Checked in
// one pass: a formula's symbols are checked one by one.
bool standAloneScalars(std::string_view text, std::size_t& units, std::size_t& lastStart,
                       std::size_t& lastUnits);

// The characters of `text`, as platform::unicode::graphemeClusters gives them.
std::vector<std::string_view> textCharacters(std::string_view text);

} // namespace Math
