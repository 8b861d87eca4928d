#pragma once

// The mark a text fragment puts on every run of the text it builds. Only texts that carry it take
// part in selection: texts drawn by other views (labels, list markers) are left alone.

#include <cstddef>
#include <functional>

namespace vellum {

struct TextFragmentAttribute {
    friend constexpr bool operator==(const TextFragmentAttribute&,
                                     const TextFragmentAttribute&) = default;
};

} // namespace vellum

template <>
struct std::hash<vellum::TextFragmentAttribute> {
    std::size_t operator()(const vellum::TextFragmentAttribute&) const noexcept { return 0; }
};
