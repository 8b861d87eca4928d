#pragma once

// A custom emoji: the name written between colons and the URL of its image. The library ships no
// list of its own; callers decode theirs from JSON objects with the members "shortcode" and "url".

#include "platform/foundation/Hash.hpp"
#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"
#include "platform/foundation/URL.hpp"

#include <string>

namespace vellum {

struct Emoji {
    std::string shortcode; // without the colons, e.g. "smile"
    platform::URL url;

    friend bool operator==(const Emoji&, const Emoji&) = default;

    // Both members are required; a "url" that is not a URL is dataCorrupted.
    static Emoji decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

} // namespace vellum

template <>
struct std::hash<vellum::Emoji> {
    std::size_t operator()(const vellum::Emoji& emoji) const noexcept {
        const std::size_t seed = std::hash<std::string>()(emoji.shortcode);
        return platform::hashCombine(seed, std::hash<platform::URL>()(emoji.url));
    }
};
