#pragma once

// A vertical alignment on the middle of a view's first line of text: a list marker beside a
// paragraph of several lines sits level with the first line, whatever the font size.

#include "platform/ui/Layout.hpp"

namespace vellum {

// The middle of the first line when all lines have the same height (half the height for a single
// line); views without text (a marker drawn as a shape) centre on their own middle.
[[nodiscard]] platform::ui::VerticalAlignment firstTextCenter();

} // namespace vellum
