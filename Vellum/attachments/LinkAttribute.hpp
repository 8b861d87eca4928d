#pragma once

// The text attribute on the runs of a link: the text builder writes it, hit testing and link taps
// read the address back from the laid-out text.

#include "platform/foundation/URL.hpp"

#include <cstddef>
#include <functional>

namespace vellum {

struct LinkAttribute {
    platform::URL url;
    friend bool operator==(const LinkAttribute& a, const LinkAttribute& b) {
        return a.url == b.url;
    }
};

} // namespace vellum

template <>
struct std::hash<vellum::LinkAttribute> {
    std::size_t operator()(const vellum::LinkAttribute& link) const noexcept {
        return std::hash<platform::URL>()(link.url);
    }
};
