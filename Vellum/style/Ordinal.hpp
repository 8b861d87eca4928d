#pragma once

// Ordinal numbers of list items written as text: decimal, Roman numerals and letters. Every
// integer has a text; what a system cannot write (zero, negatives, numbers past its range) falls
// back to the decimal digits, so a marker is never empty and never throws.

#include <cstdint>
#include <string>

namespace vellum {

// "7", "0", "-3".
[[nodiscard]] std::string decimalOrdinal(std::int64_t ordinal);
// "MCMXCIV" for 1994; decimal outside 1...3999.
[[nodiscard]] std::string upperRomanOrdinal(std::int64_t ordinal);
// The upper-case numeral lower-cased: "xiv" for 14.
[[nodiscard]] std::string lowerRomanOrdinal(std::int64_t ordinal);
// "A" to "Z" for 1...26; decimal otherwise (there is no "AA").
[[nodiscard]] std::string upperAlphaOrdinal(std::int64_t ordinal);
// "a" to "z" for 1...26; decimal otherwise.
[[nodiscard]] std::string lowerAlphaOrdinal(std::int64_t ordinal);

} // namespace vellum
