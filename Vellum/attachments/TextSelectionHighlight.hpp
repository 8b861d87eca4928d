#pragma once

// The selection as the texts inside a selectable text see it. The selection itself lives further
// up (the selectable text around publishes it under `TextSelectionHighlightKey`); each laid-out
// text asks only for its own share, so a selection over many paragraphs is drawn by each
// paragraph behind its own text, and the attachments of a text dim only while their own
// characters are selected. A read is observed per text: a text whose share stays the same is not
// drawn again when the selection moves elsewhere.

#include "platform/text/TextLayout.hpp"
#include "platform/ui/UI.hpp"

#include <memory>
#include <optional>
#include <vector>

namespace vellum {

class TextSelectionHighlight {
public:
    virtual ~TextSelectionHighlight() = default;
    /// The selection's rectangles inside the text laid out as `layout`, in that text's own space.
    [[nodiscard]] virtual std::vector<platform::Rect>
    selectionRects(const platform::ui::Text::Layout& layout) const = 0;
    /// The selected characters of that text (UTF-16 offsets into its string); none when the
    /// selection leaves it out.
    [[nodiscard]] virtual std::optional<platform::CharacterRange>
    selectedCharacters(const platform::ui::Text::Layout& layout) const = 0;
};

/// The selection of the selectable text around; none outside selectable text.
struct TextSelectionHighlightKey {
    using Value = std::shared_ptr<const TextSelectionHighlight>;
    static Value defaultValue() { return nullptr; }
};

} // namespace vellum
