#pragma once

// The highlight of a selected range: rectangles per visual line, one per stretch of neighbouring
// selected glyphs of one writing direction, stretched so that the lines of one text touch.

#include "Vellum/selection/TextLayoutCollection.hpp"
#include "Vellum/selection/TextRange.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vellum {

struct TextSelectionRect {
    platform::Rect rect;
    LayoutDirection layoutDirection = LayoutDirection::leftToRight;
    /// Set on the first rectangle of a result.
    bool containsStart = false;
    /// Set on the last rectangle of a result.
    bool containsEnd = false;

    friend bool operator==(const TextSelectionRect& a, const TextSelectionRect& b) {
        return a.rect.equalTo(b.rect) && a.layoutDirection == b.layoutDirection &&
               a.containsStart == b.containsStart && a.containsEnd == b.containsEnd;
    }
    /// "((0.0, 2.0, 40.5, 17.0), LTR)"; the flags are left out.
    std::string description() const;
};

/// The characters of the text at index `layout` that an ordered range selects (UTF-16 offsets
/// into its string); none when it selects none there. In right-to-left text the range's ends,
/// ordered as drawn, may stand in the opposite order in the text.
std::optional<CharacterRange> selectedCharacterRange(const TextLayoutCollection& collection,
                                                     const TextRange& range, std::size_t layout);
/// The rectangles of an ordered range, in the collection's space: the glyphs of the selected
/// characters, one rectangle per stretch of neighbouring glyphs of one direction on a line. Texts
/// not placed yet have none.
std::vector<TextSelectionRect> buildSelectionRects(const TextLayoutCollection& collection,
                                                   const TextRange& range);
/// The share of `range` that falls in the text laid out as `layout`, in that text's own space; its
/// first and last rectangle are flagged even where the range goes on in another text.
std::vector<TextSelectionRect> selectionRectsInLayout(const TextLayoutCollection& collection,
                                                      const TextRange& range,
                                                      const platform::ui::Text::Layout& layout);

} // namespace vellum

template <>
struct std::hash<vellum::TextSelectionRect> {
    std::size_t operator()(const vellum::TextSelectionRect& r) const noexcept;
};
