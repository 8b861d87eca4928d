#pragma once

// The colours of the GitHub look, light and dark, built once on first use. Like the default
// palette they have no increased-contrast variants.

#include "Vellum/text/DynamicColor.hpp"

namespace vellum {

// Block quote text.
[[nodiscard]] const DynamicColor& gitHubQuoteText();
// Headings of level 6 and deeper.
[[nodiscard]] const DynamicColor& gitHubMutedHeading();
// Code block panels and table stripes.
[[nodiscard]] const DynamicColor& gitHubSecondaryBackground();
// Block quote bar, table grid and outline, thematic break.
[[nodiscard]] const DynamicColor& gitHubBorder();
// The rule under level 1 and 2 headings.
[[nodiscard]] const DynamicColor& gitHubHeadingDivider();

} // namespace vellum
