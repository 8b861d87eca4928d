#pragma once

// Locale-independent ASCII character helpers. The <cctype> functions follow the process locale,
// which GTK sets at start-up, so protocol and syntax code (HTTP headers, URLs, JSON, LaTeX
// commands) uses these instead. Bytes outside ASCII are never letters, digits or space here.

#include <cstddef>
#include <string_view>

namespace platform::ascii {

constexpr bool isDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}
constexpr bool isUpper(char c) noexcept {
    return c >= 'A' && c <= 'Z';
}
constexpr bool isLower(char c) noexcept {
    return c >= 'a' && c <= 'z';
}
constexpr bool isAlpha(char c) noexcept {
    return isUpper(c) || isLower(c);
}
constexpr bool isAlnum(char c) noexcept {
    return isAlpha(c) || isDigit(c);
}
constexpr bool isHexDigit(char c) noexcept {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
// Space, tab, line feed, vertical tab, form feed and carriage return, as the "C" locale has it.
constexpr bool isSpace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr char toLower(char c) noexcept {
    return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char toUpper(char c) noexcept {
    return isLower(c) ? static_cast<char>(c - 'a' + 'A') : c;
}

// The value of a hexadecimal digit, or -1 for any other character.
constexpr int hexValue(char c) noexcept {
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

constexpr bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (toLower(a[i]) != toLower(b[i])) {
            return false;
        }
    }
    return true;
}

constexpr bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) noexcept {
    return text.size() >= prefix.size() &&
           equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// `text` without leading and trailing ASCII white space.
constexpr std::string_view trimmed(std::string_view text) noexcept {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace platform::ascii
