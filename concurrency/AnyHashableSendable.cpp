#include "concurrency/AnyHashableSendable.hpp"

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

} // namespace detail

std::ostream& operator<<(std::ostream& out, const AnyHashableSendable& key) {
    return out << key.description();
}

} // namespace concurrency
