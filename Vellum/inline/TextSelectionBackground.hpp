#pragma once

// The selection highlight behind a laid-out text: each text fragment paints only its own share of
// the selection of the selectable text around it (`TextSelectionHighlightKey`).

#include "Vellum/attachments/TextSelectionHighlight.hpp"
#include "platform/ui/UI.hpp"

#include <memory>

namespace vellum {

/// Paints the selection behind the first text laid out inside the content.
struct TextSelectionBackground {
    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context,
                                             platform::ui::AnyView content) const;
    friend bool operator==(const TextSelectionBackground&,
                           const TextSelectionBackground&) = default;
};

/// The same for content whose only text starts at the content's own origin (a text fragment's):
/// nothing needs to be measured to place the highlight, so it is built from the text's published
/// layout alone, behind the content, without observers or state of its own. Nothing is added
/// without a `highlight`.
[[nodiscard]] platform::ui::AnyView
withSelectionBehindText(platform::ui::AnyView content,
                        std::shared_ptr<const TextSelectionHighlight> highlight);

} // namespace vellum
