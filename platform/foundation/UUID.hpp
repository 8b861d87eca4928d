#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A 128-bit universally unique identifier.
class UUID {
public:
    using Bytes = std::array<std::uint8_t, 16>;

    // A fresh random (version 4, RFC 4122 variant) identifier.
    UUID();
    explicit UUID(const Bytes& bytes)
        : bytes_(bytes) {}

    // Parses the 8-4-4-4-12 hexadecimal form (either letter case); nullopt for anything else.
    [[nodiscard]] static std::optional<UUID> fromString(std::string_view text);

    // "E621E1F8-C36C-495A-93FC-0C247A3E6E5F": upper case, hyphenated.
    [[nodiscard]] std::string uuidString() const;
    [[nodiscard]] const Bytes& bytes() const { return bytes_; }

    friend bool operator==(const UUID&, const UUID&) = default;
    friend auto operator<=>(const UUID&, const UUID&) = default;

private:
    Bytes bytes_{};
};

} // namespace platform

template <>
struct std::hash<platform::UUID> {
    std::size_t operator()(const platform::UUID& uuid) const noexcept;
};
