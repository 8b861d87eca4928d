#pragma once

// The selection highlight behind a laid-out text. The selection itself lives further up (the
// selectable text around the fragment publishes it under `TextSelectionHighlightKey`); each text
// fragment paints only its own share of it, so a selection over many paragraphs is drawn by each
// paragraph behind its own text.

#include "platform/ui/UI.hpp"

#include <memory>
#include <vector>

namespace vellum {

class TextSelectionHighlight {
public:
    virtual ~TextSelectionHighlight() = default;
    /// The selection's rectangles inside the text laid out as `layout`, in that text's own
    /// space; a read is observed, so views that draw them follow the selection.
    [[nodiscard]] virtual std::vector<platform::Rect>
    selectionRects(const platform::ui::Text::Layout& layout) const = 0;
};

/// The selection of the selectable text around; none outside selectable text.
struct TextSelectionHighlightKey {
    using Value = std::shared_ptr<const TextSelectionHighlight>;
    static Value defaultValue() { return nullptr; }
};

/// Paints the selection behind the first text laid out inside the content.
struct TextSelectionBackground {
    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context,
                                             platform::ui::AnyView content) const;
    friend bool operator==(const TextSelectionBackground&,
                           const TextSelectionBackground&) = default;
};

} // namespace vellum
