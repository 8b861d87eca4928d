#pragma once

// The selection highlight behind a laid-out text: each text fragment paints only its own share of
// the selection of the selectable text around it (`TextSelectionHighlightKey`).

#include "Vellum/attachments/TextSelectionHighlight.hpp"
#include "platform/ui/UI.hpp"

namespace vellum {

/// Paints the selection behind the first text laid out inside the content.
struct TextSelectionBackground {
    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context,
                                             platform::ui::AnyView content) const;
    friend bool operator==(const TextSelectionBackground&,
                           const TextSelectionBackground&) = default;
};

} // namespace vellum
