#include "platform/foundation/PercentEncoding.hpp"

#include "platform/foundation/ASCII.hpp"

#include <array>
#include <cstdint>

namespace platform {

namespace {

using Table = std::array<bool, 128>;

constexpr Table makeTable(std::string_view extra) {
    Table table{};
    for (std::size_t c = 0; c < table.size(); ++c) {
        table[c] = ascii::isAlnum(static_cast<char>(c));
    }
    for (const char c : extra) {
        table[static_cast<std::size_t>(c)] = true;
    }
    return table;
}

constexpr Table pathTable = makeTable("-._~!$&'()*+,=:@/");
constexpr Table queryTable = makeTable("-._~!$&'()*+,;=:@/?");
constexpr Table pathSegmentTable = makeTable("-._~!$&'()*+,=:@");
constexpr Table queryItemTable = makeTable("-._~!$'()*,:@/?");
constexpr Table fragmentTable = makeTable("-._~!$&'()*+,;=:@/?");
constexpr Table hostTable = makeTable("-._~!$&'()*+,;=:[]");
constexpr Table userTable = makeTable("-._~!$&'()*+,;=");
constexpr Table passwordTable = makeTable("-._~!$&'()*+,;=");

const Table& tableFor(URLCharacterSet set) {
    switch (set) {
    case URLCharacterSet::urlPathAllowed:
        return pathTable;
    case URLCharacterSet::urlPathSegmentAllowed:
        return pathSegmentTable;
    case URLCharacterSet::urlQueryAllowed:
        return queryTable;
    case URLCharacterSet::urlQueryItemAllowed:
        return queryItemTable;
    case URLCharacterSet::urlFragmentAllowed:
        return fragmentTable;
    case URLCharacterSet::urlHostAllowed:
        return hostTable;
    case URLCharacterSet::urlUserAllowed:
        return userTable;
    case URLCharacterSet::urlPasswordAllowed:
        return passwordTable;
    }
    return pathTable;
}

} // namespace

bool isAllowed(URLCharacterSet set, unsigned char byte) {
    return byte < 128 && tableFor(set)[byte];
}

bool isValidUTF8(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        std::uint32_t minimum = 0;
        if ((b0 & 0xE0U) == 0xC0U) {
            length = 2;
            codePoint = b0 & 0x1FU;
            minimum = 0x80;
        } else if ((b0 & 0xF0U) == 0xE0U) {
            length = 3;
            codePoint = b0 & 0x0FU;
            minimum = 0x800;
        } else if ((b0 & 0xF8U) == 0xF0U) {
            length = 4;
            codePoint = b0 & 0x07U;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (n - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0U) != 0x80U) {
                return false;
            }
            codePoint = (codePoint << 6U) | (b & 0x3FU);
        }
        if (codePoint < minimum || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::optional<std::string> addingPercentEncoding(std::string_view text, URLCharacterSet set) {
    if (!isValidUTF8(text)) {
        return std::nullopt;
    }
    static constexpr char digits[] = "0123456789ABCDEF";
    const Table& table = tableFor(set);
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 128 && table[byte]) {
            result.push_back(c);
        } else {
            result.push_back('%');
            result.push_back(digits[byte >> 4U]);
            result.push_back(digits[byte & 0x0FU]);
        }
    }
    return result;
}

std::optional<std::string> removingPercentEncoding(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            result.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = hexDigitValue(text[i + 1]);
        const int low = hexDigitValue(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        result.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    if (!isValidUTF8(result)) {
        return std::nullopt;
    }
    return result;
}

int hexDigitValue(char c) {
    return ascii::hexValue(c);
}

bool isPercentEncoded(std::string_view text, URLCharacterSet set, std::string_view alsoAllowed) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || hexDigitValue(text[i + 1]) < 0 ||
                hexDigitValue(text[i + 2]) < 0) {
                return false;
            }
            i += 2;
            continue;
        }
        if (!isAllowed(set, static_cast<unsigned char>(c)) &&
            alsoAllowed.find(c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

} // namespace platform
