#include "platform/net/DataURL.hpp"

#include "platform/foundation/ASCII.hpp"
#include "platform/net/URLError.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

namespace {

[[noreturn]] void fail(const URL& url, URLError::Code code, std::string detail) {
    throw URLError(code, url, std::move(detail));
}

void append(Data& bytes, std::uint8_t byte, std::size_t maximumBytes, const URL& url) {
    if (bytes.size() >= maximumBytes) {
        fail(url, URLError::dataLengthExceedsMaximum, "data: address holds too many bytes");
    }
    bytes.push_back(byte);
}

// The bytes `text` spells, its "%XX" escapes decoded.
Data percentDecoded(std::string_view text, std::size_t maximumBytes, const URL& url) {
    Data bytes;
    bytes.reserve(std::min(text.size(), maximumBytes));
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            append(bytes, static_cast<std::uint8_t>(text[i]), maximumBytes, url);
            continue;
        }
        if (i + 2 >= text.size() || !ascii::isHexDigit(text[i + 1]) ||
            !ascii::isHexDigit(text[i + 2])) {
            fail(url, URLError::badURL, "data: address with a malformed escape");
        }
        const int value = ascii::hexValue(text[i + 1]) * 16 + ascii::hexValue(text[i + 2]);
        append(bytes, static_cast<std::uint8_t>(value), maximumBytes, url);
        i += 2;
    }
    return bytes;
}

int base64Value(std::uint8_t c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

// Base64 as browsers read it in data: addresses: white space is skipped and the padding may be
// left out, but any other character outside the alphabet, or a length no padding explains, makes
// the whole invalid.
Data base64Decoded(const Data& text, std::size_t maximumBytes, const URL& url) {
    std::string digits;
    digits.reserve(text.size());
    for (const std::uint8_t c : text) {
        if (!ascii::isSpace(static_cast<char>(c))) {
            digits.push_back(static_cast<char>(c));
        }
    }
    if (digits.size() % 4 == 0 && !digits.empty() && digits.back() == '=') {
        digits.pop_back();
        if (digits.back() == '=') {
            digits.pop_back();
        }
    }
    if (digits.size() % 4 == 1) {
        fail(url, URLError::badURL, "data: address with base64 of an impossible length");
    }
    // Known before anything is decoded: three bytes for every four digits, and one or two for
    // the rest.
    const std::size_t length =
        digits.size() / 4 * 3 + (digits.size() % 4 == 0 ? 0 : digits.size() % 4 - 1);
    if (length > maximumBytes) {
        fail(url, URLError::dataLengthExceedsMaximum, "data: address holds too many bytes");
    }
    Data bytes;
    bytes.reserve(length);
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : digits) {
        const int value = base64Value(static_cast<std::uint8_t>(c));
        if (value < 0) {
            fail(url, URLError::badURL, "data: address with a character outside base64");
        }
        bits = (bits << 6U) | static_cast<std::uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes.push_back(
                static_cast<std::uint8_t>((bits >> static_cast<unsigned>(count)) & 0xffU));
        }
    }
    return bytes;
}

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = ascii::toLower(c);
    }
    return result;
}

} // namespace

bool isDataURL(const URL& url) {
    return ascii::equalsIgnoringCase(url.scheme(), "data");
}

std::pair<Data, std::shared_ptr<URLResponse>> decodeDataURL(const URL& url,
                                                            std::size_t maximumBytes) {
    std::string_view text = url.absoluteString();
    text.remove_prefix(std::min(text.size(), url.scheme().size() + 1));
    // The fragment names a part of the resource; it is not part of its bytes.
    text = text.substr(0, text.find('#'));
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) {
        fail(url, URLError::badURL, "data: address without the comma before its data");
    }
    std::string_view header = ascii::trimmed(text.substr(0, comma));
    const std::string_view payload = text.substr(comma + 1);

    bool base64 = false;
    if (const std::size_t last = header.rfind(';');
        last != std::string_view::npos &&
        ascii::equalsIgnoringCase(ascii::trimmed(header.substr(last + 1)), "base64")) {
        base64 = true;
        header = ascii::trimmed(header.substr(0, last));
    }
    std::optional<std::string> mimeType;
    std::optional<std::string> charset;
    const std::size_t semicolon = header.find(';');
    const std::string_view type = ascii::trimmed(header.substr(0, semicolon));
    if (!type.empty()) {
        mimeType = lowered(type);
    }
    for (std::size_t at = semicolon; at != std::string_view::npos;) {
        const std::size_t next = header.find(';', at + 1);
        const std::string_view parameter = ascii::trimmed(header.substr(at + 1, next - at - 1));
        if (ascii::startsWithIgnoringCase(parameter, "charset=")) {
            charset = std::string(parameter.substr(8));
        }
        at = next;
    }
    if (!mimeType) {
        mimeType = "text/plain";
        if (header.empty()) {
            charset = "US-ASCII";
        }
    }

    Data bytes = percentDecoded(payload, base64 ? payload.size() : maximumBytes, url);
    if (base64) {
        bytes = base64Decoded(bytes, maximumBytes, url);
    }
    const auto length = static_cast<std::int64_t>(bytes.size());
    return {std::move(bytes),
            std::make_shared<URLResponse>(url, std::move(mimeType), length, std::move(charset))};
}

} // namespace platform
