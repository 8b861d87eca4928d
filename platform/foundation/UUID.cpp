#include "platform/foundation/UUID.hpp"

#include "platform/foundation/PercentEncoding.hpp"

#include <random>

namespace platform {

namespace {

// Random bytes from the operating system's generator; a v4 identifier needs 122 random bits
// that no other process or run can predict.
UUID::Bytes randomBytes() {
    std::random_device device;
    UUID::Bytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const std::uint32_t word = device();
        for (std::size_t j = 0; j < 4; ++j) {
            bytes[i + j] = static_cast<std::uint8_t>(word >> (8U * j));
        }
    }
    return bytes;
}

bool isHyphenPosition(std::size_t i) {
    return i == 8 || i == 13 || i == 18 || i == 23;
}

} // namespace

UUID::UUID()
    : bytes_(randomBytes()) {
    bytes_[6] = static_cast<std::uint8_t>((bytes_[6] & 0x0FU) | 0x40U); // version 4
    bytes_[8] = static_cast<std::uint8_t>((bytes_[8] & 0x3FU) | 0x80U); // RFC 4122 variant
}

std::optional<UUID> UUID::fromString(std::string_view text) {
    if (text.size() != 36) {
        return std::nullopt;
    }
    Bytes bytes{};
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (isHyphenPosition(i)) {
            if (text[i] != '-') {
                return std::nullopt;
            }
            ++i;
            continue;
        }
        const int high = hexDigitValue(text[i]);
        const int low = hexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes[byte++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
    }
    return UUID(bytes);
}

std::string UUID::uuidString() const {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text.push_back('-');
        }
        text.push_back(digits[bytes_[i] >> 4U]);
        text.push_back(digits[bytes_[i] & 0x0FU]);
    }
    return text;
}

} // namespace platform

std::size_t std::hash<platform::UUID>::operator()(const platform::UUID& uuid) const noexcept {
    // The bytes are random already; fold them.
    std::size_t h = 0;
    for (const std::uint8_t b : uuid.bytes()) {
        h = h * 131 + b;
    }
    return h;
}
