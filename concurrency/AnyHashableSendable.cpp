#include "concurrency/AnyHashableSendable.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace concurrency {

namespace detail {

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[16];
                std::snprintf(escaped, sizeof escaped, "\\u{%x}", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string describeDouble(double value) {
    // to_chars writes the shortest form that reads back exactly, whatever the C locale.
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    std::string text(buffer.data(), result.ptr);
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos) {
        text += ".0"; // a whole number still reads as a floating-point one
    }
    return text;
}

} // namespace detail

std::ostream& operator<<(std::ostream& out, const AnyHashableSendable& key) {
    return out << key.description();
}

} // namespace concurrency
