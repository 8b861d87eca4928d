#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// An absolute or relative URL reference, held in its percent-encoded text form and parsed into
// its parts once.
class URL {
public:
    // Parses a URL reference. nullopt for an empty text, for characters that may not appear in
    // a URL (spaces, controls, non-ASCII, a stray "%"), or for a malformed authority or port.
    [[nodiscard]] static std::optional<URL> fromString(std::string_view text);

    // The complete text, exactly as parsed or built.
    [[nodiscard]] const std::string& absoluteString() const { return text_; }

    // "https" (as written; empty for a relative reference).
    [[nodiscard]] std::string scheme() const;
    // The host without brackets for IPv6, percent-decoded; nullopt when there is no authority.
    [[nodiscard]] std::optional<std::string> host() const;
    [[nodiscard]] std::optional<int> port() const;
    // The percent-decoded path ("" when there is none).
    [[nodiscard]] std::string path() const;
    [[nodiscard]] std::string percentEncodedPath() const;
    // The query after "?" as written (still percent-encoded); nullopt without "?".
    [[nodiscard]] std::optional<std::string> query() const;
    [[nodiscard]] std::optional<std::string> fragment() const;

    friend bool operator==(const URL& a, const URL& b) { return a.text_ == b.text_; }

private:
    friend class URLComponents;
    URL() = default;

    struct Range {
        std::size_t begin = 0;
        std::size_t length = 0;
        bool present = false;
    };
    [[nodiscard]] std::string_view part(const Range& range) const;

    std::string text_;
    Range scheme_;
    Range user_;
    Range password_;
    Range host_;
    Range port_;
    Range path_;
    Range query_;
    Range fragment_;
};

} // namespace platform

template <>
struct std::hash<platform::URL> {
    std::size_t operator()(const platform::URL& url) const noexcept {
        return std::hash<std::string>()(url.absoluteString());
    }
};
