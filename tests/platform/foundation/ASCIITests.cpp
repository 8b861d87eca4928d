// The ASCII helpers: exact classes, and no folding outside ASCII letters.

#include "platform/foundation/ASCII.hpp"

#include <gtest/gtest.h>
#include <string>

namespace ascii = platform::ascii;

namespace {

// Every byte a classifier accepts, as a string.
template <class Predicate>
std::string accepted(Predicate predicate) {
    std::string out;
    for (int byte = 0; byte < 256; ++byte) {
        if (predicate(static_cast<char>(byte))) {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

} // namespace

TEST(ASCII, ClassesHoldExactlyTheirCharacters) {
    EXPECT_EQ(accepted(ascii::isDigit), "0123456789");
    EXPECT_EQ(accepted(ascii::isHexDigit), "0123456789ABCDEFabcdef");
    EXPECT_EQ(accepted(ascii::isSpace), "\t\n\v\f\r ");
    EXPECT_EQ(accepted(ascii::isAlpha), "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(accepted(ascii::isAlnum),
              "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(ascii::hexValue('f'), 15);
    EXPECT_EQ(ascii::hexValue('A'), 10);
    EXPECT_EQ(ascii::hexValue('9'), 9);
    EXPECT_EQ(ascii::hexValue('g'), -1);
    EXPECT_EQ(ascii::hexValue('\xC3'), -1);
}

TEST(ASCII, CaseFoldingTouchesOnlyASCIILetters) {
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        if (!ascii::isAlpha(c)) {
            EXPECT_EQ(ascii::toLower(c), c) << byte;
            EXPECT_EQ(ascii::toUpper(c), c) << byte;
        }
    }
    EXPECT_EQ(ascii::toLower('Q'), 'q');
    EXPECT_EQ(ascii::toUpper('q'), 'Q');
    EXPECT_TRUE(ascii::equalsIgnoringCase("Content-Length", "content-LENGTH"));
    // UTF-8 "É" and "é" differ in one byte; they are not ASCII case pairs.
    EXPECT_FALSE(ascii::equalsIgnoringCase("\xC3\x89", "\xC3\xA9"));
    EXPECT_FALSE(ascii::equalsIgnoringCase("ab", "abc"));
    EXPECT_TRUE(ascii::startsWithIgnoringCase("HTTP/1.1 200", "http/"));
    EXPECT_FALSE(ascii::startsWithIgnoringCase("HT", "http"));
    EXPECT_EQ(ascii::trimmed(" \t value \r\n"), "value");
    EXPECT_EQ(ascii::trimmed("\xC2\xA0x"), "\xC2\xA0x"); // a no-break space is not ASCII space
    EXPECT_EQ(ascii::trimmed(" \n "), "");
}
