#pragma once

// The colours of the default look. Each has a light and a dark variant and no increased-contrast
// one (an increased-contrast environment takes the plain colour of its scheme). They are built
// once, on first use, and shared by every style that draws with them.

#include "Vellum/text/DynamicColor.hpp"

namespace vellum {

// The code block outline and the thematic break.
[[nodiscard]] const DynamicColor& defaultSeparator();
// The tinted panel behind a block quote.
[[nodiscard]] const DynamicColor& defaultQuoteBackground();
// The bar along a block quote's leading edge.
[[nodiscard]] const DynamicColor& defaultQuoteBorder();
// The grid lines between table cells.
[[nodiscard]] const DynamicColor& defaultTableBorder();

} // namespace vellum
