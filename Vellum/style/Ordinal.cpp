#include "Vellum/style/Ordinal.hpp"

#include "platform/foundation/ASCII.hpp"

#include <array>
#include <string_view>

namespace vellum {

namespace {

struct RomanDigit {
    std::int64_t value;
    std::string_view symbol;
};

// Subtractive pairs sit between the plain digits, so one greedy pass writes the canonical form.
constexpr std::array<RomanDigit, 13> romanDigits{{{1000, "M"},
                                                  {900, "CM"},
                                                  {500, "D"},
                                                  {400, "CD"},
                                                  {100, "C"},
                                                  {90, "XC"},
                                                  {50, "L"},
                                                  {40, "XL"},
                                                  {10, "X"},
                                                  {9, "IX"},
                                                  {5, "V"},
                                                  {4, "IV"},
                                                  {1, "I"}}};

// Past 3999 a numeral would need an overline, which plain text cannot carry.
constexpr std::int64_t largestRoman = 3999;

std::string alphaOrdinal(std::int64_t ordinal, char first) {
    if (ordinal < 1 || ordinal > 26) {
        return decimalOrdinal(ordinal);
    }
    return std::string(1, static_cast<char>(first + (ordinal - 1)));
}

} // namespace

std::string decimalOrdinal(std::int64_t ordinal) {
    return std::to_string(ordinal);
}

std::string upperRomanOrdinal(std::int64_t ordinal) {
    if (ordinal < 1 || ordinal > largestRoman) {
        return decimalOrdinal(ordinal);
    }
    std::string numeral;
    std::int64_t rest = ordinal;
    for (const RomanDigit& digit : romanDigits) {
        for (std::int64_t count = rest / digit.value; count > 0; --count) {
            numeral += digit.symbol;
        }
        rest %= digit.value;
    }
    return numeral;
}

std::string lowerRomanOrdinal(std::int64_t ordinal) {
    std::string numeral = upperRomanOrdinal(ordinal);
    for (char& c : numeral) {
        c = platform::ascii::toLower(c);
    }
    return numeral;
}

std::string upperAlphaOrdinal(std::int64_t ordinal) {
    return alphaOrdinal(ordinal, 'A');
}

std::string lowerAlphaOrdinal(std::int64_t ordinal) {
    return alphaOrdinal(ordinal, 'a');
}

} // namespace vellum
