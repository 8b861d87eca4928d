#pragma once

// How deep blocks may nest. A quote inside a quote a hundred thousand times is a few hundred
// kilobytes of markdown; every view, export and walk over its blocks would recurse as deep. Text
// nested deeper than the limit keeps its innermost blocks and the outermost ones, up to the limit
// in all, and loses the levels between; its characters all stay.

#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/PresentationIntent.hpp"

#include <cstddef>
#include <vector>

namespace vellum {

inline constexpr std::size_t maximumNestingDepth = 64;

// The intent's components cut to the limit, innermost first: its innermost blocks up to the
// nearest list item or quote around them (a paragraph, or a table's cell, row and table) and the
// outermost blocks down to a list item or quote, as many as fit, so that a list keeps its items
// and text nested too deep joins the deepest item kept. Empty when the intent fits as it is.
[[nodiscard]] std::vector<platform::PresentationIntent::IntentType>
limitedComponents(const platform::PresentationIntent& intent);

// `text` with every run nested deeper than the limit given its cut intent; runs of one intent
// share one cut. The same text (no copy) when nothing is too deep.
[[nodiscard]] platform::AttributedString withNestingLimited(platform::AttributedString text);

} // namespace vellum
