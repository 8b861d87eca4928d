#pragma once

// Where a run of text inside a formula may end its first line: the shaper proposes a position for
// a width, and positions that would split a number (3.14, 1,000, 2 500) are walked back to the
// nearest acceptable one.

#include "platform/text/GlyphFont.hpp"

#include <cstddef>
#include <optional>
#include <string_view>

namespace Math {

// The byte offset (at a character boundary) before which the first line of `text` ends when set
// in `font` at most `width` wide; nothing when not even one character fits. The result may be 0:
// the text is one unbreakable number and the line before it should end instead. `shaped`, when
// given, is the text already shaped in `font` without extra space.
std::optional<std::size_t> suggestBreak(std::string_view text, const platform::GlyphFont& font,
                                        double width, const platform::ShapedRun* shaped = nullptr);

// Whether a line may end just before the character starting at byte offset `index` of `text`.
// The start and the end of the text always qualify; inside numbers nothing does.
bool isValidBreakPoint(std::string_view text, std::size_t index);

} // namespace Math
