#include "Vellum/style/Ordinal.hpp"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

namespace {

using namespace vellum;

TEST(Ordinal, RomanNumeralsUseSubtractivePairsAcrossTheRange) {
    EXPECT_EQ(upperRomanOrdinal(1), "I");
    EXPECT_EQ(upperRomanOrdinal(4), "IV");
    EXPECT_EQ(upperRomanOrdinal(9), "IX");
    EXPECT_EQ(upperRomanOrdinal(40), "XL");
    EXPECT_EQ(upperRomanOrdinal(90), "XC");
    EXPECT_EQ(upperRomanOrdinal(400), "CD");
    EXPECT_EQ(upperRomanOrdinal(1994), "MCMXCIV");
    EXPECT_EQ(upperRomanOrdinal(3999), "MMMCMXCIX");
    EXPECT_EQ(upperRomanOrdinal(2888), "MMDCCCLXXXVIII");
    EXPECT_EQ(lowerRomanOrdinal(14), "xiv");
    EXPECT_EQ(lowerRomanOrdinal(1994), "mcmxciv");
}

TEST(Ordinal, NumbersNoSystemCanWriteFallBackToDecimal) {
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t highest = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(upperRomanOrdinal(0), "0");
    EXPECT_EQ(upperRomanOrdinal(4000), "4000");
    EXPECT_EQ(upperRomanOrdinal(-3), "-3");
    EXPECT_EQ(lowerRomanOrdinal(-3), "-3");
    EXPECT_EQ(upperRomanOrdinal(highest), "9223372036854775807");
    EXPECT_EQ(upperRomanOrdinal(lowest), "-9223372036854775808");
    EXPECT_EQ(upperAlphaOrdinal(0), "0");
    EXPECT_EQ(upperAlphaOrdinal(27), "27");
    EXPECT_EQ(lowerAlphaOrdinal(-1), "-1");
    EXPECT_EQ(lowerAlphaOrdinal(lowest), "-9223372036854775808");
    EXPECT_EQ(decimalOrdinal(lowest), "-9223372036854775808");
}

TEST(Ordinal, LettersCoverOneToTwentySix) {
    EXPECT_EQ(upperAlphaOrdinal(1), "A");
    EXPECT_EQ(upperAlphaOrdinal(26), "Z");
    EXPECT_EQ(lowerAlphaOrdinal(3), "c");
    EXPECT_EQ(lowerAlphaOrdinal(26), "z");
}

} // namespace
