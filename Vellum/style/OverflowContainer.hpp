#pragma once

// Content that may be wider than the text column (tables, code), fitted as the environment's
// overflow mode says: wrapped to the column, or scrolled sideways in a region whose frame is
// published for the selection layer.
//
// The container is a block view (`Overflow`, blocks/Overflow), above the styles in the order of
// the library's folders, yet the styles wrap their tables and code in it. They call this function,
// defined with the view, so that the styles need not see the block views' headers.

#include "Vellum/style/OverflowMode.hpp"
#include "platform/ui/View.hpp"

#include <functional>
#include <vector>

namespace vellum {

// The frames of the horizontally scrolling regions of a text, in its "textContainer" coordinate
// space, in tree order: the selection overlay lets the pointer through to the scroll views there.
struct OverflowFrameKey {
    using Value = std::vector<platform::Rect>;
    static Value defaultValue() {
        static const Value none;
        return none;
    }
    static void reduce(Value& value, Value next) {
        value.insert(value.end(), next.begin(), next.end());
    }
};

// An `Overflow` around the views `content` makes for the state it is handed.
[[nodiscard]] platform::ui::AnyView
overflowContainer(std::function<platform::ui::AnyView(const OverflowState&)> content);

} // namespace vellum
