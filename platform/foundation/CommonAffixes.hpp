#pragma once

// How much two texts hold alike at their start and at their end, in bytes: what an edit of a
// long text left alone. Compared a stretch at a time, so that a document of megabytes with one
// character changed is passed over at memory speed.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace platform {

[[nodiscard]] inline std::size_t commonPrefix(std::string_view a, std::string_view b) {
    constexpr std::size_t stretch = 64;
    const std::size_t shorter = std::min(a.size(), b.size());
    std::size_t at = 0;
    while (at + stretch <= shorter && std::memcmp(a.data() + at, b.data() + at, stretch) == 0) {
        at += stretch;
    }
    while (at < shorter && a[at] == b[at]) {
        ++at;
    }
    return at;
}

[[nodiscard]] inline std::size_t commonSuffix(std::string_view a, std::string_view b) {
    constexpr std::size_t stretch = 64;
    const std::size_t shorter = std::min(a.size(), b.size());
    std::size_t length = 0;
    while (length + stretch <= shorter &&
           std::memcmp(a.data() + a.size() - length - stretch,
                       b.data() + b.size() - length - stretch, stretch) == 0) {
        length += stretch;
    }
    while (length < shorter && a[a.size() - 1 - length] == b[b.size() - 1 - length]) {
        ++length;
    }
    return length;
}

} // namespace platform
