#pragma once

// The mark a text fragment puts on every run of the text it builds. Only texts that carry it take
// part in selection: texts drawn by other views (labels, list markers) are left alone. It also
// carries the attributed string the text was built from, so that a copy of selected text keeps
// its structure (paragraphs, emphasis, links) and not only its characters.

#include "platform/foundation/AttributedString.hpp"

#include <cstddef>
#include <functional>
#include <memory>

namespace vellum {

struct TextFragmentAttribute {
    /// The content the text was built from; absent for texts built without one.
    std::shared_ptr<const platform::AttributedString> source;

    /// Identity of the source: one builder's texts share it.
    friend bool operator==(const TextFragmentAttribute& a, const TextFragmentAttribute& b) {
        return a.source == b.source;
    }
};

} // namespace vellum

template <>
struct std::hash<vellum::TextFragmentAttribute> {
    std::size_t operator()(const vellum::TextFragmentAttribute& a) const noexcept {
        return std::hash<const void*>()(a.source.get());
    }
};
