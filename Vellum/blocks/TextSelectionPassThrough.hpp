#pragma once

// The two selection modifiers a document wraps its blocks in, standing in until the selection
// layer provides them: the document's body keeps its final shape, and each passes its content
// through unchanged for now.

#include "platform/ui/UI.hpp"

namespace vellum::structured {

// Will map pointer and keys over the document's text to a selection.
struct TextSelectionInteraction {
    [[nodiscard]] platform::ui::AnyView body(platform::ui::AnyView content) const {
        return content;
    }
    friend bool operator==(const TextSelectionInteraction&,
                           const TextSelectionInteraction&) = default;
};

// Will keep the coordinator through which the selections inside one document agree.
struct TextSelectionCoordination {
    [[nodiscard]] platform::ui::AnyView body(platform::ui::AnyView content) const {
        return content;
    }
    friend bool operator==(const TextSelectionCoordination&,
                           const TextSelectionCoordination&) = default;
};

} // namespace vellum::structured
