#include "Vellum/inline/SelectableText.hpp"

#include "Vellum/selection/TextSelectionInteraction.hpp"

namespace vellum {

namespace {

struct SelectableTextModifier {
    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context,
                                             platform::ui::AnyView content) const {
        if (context.environment<TextSelectionModelKey>()) {
            return content;
        }
        return content.modifier(TextSelectionInteraction());
    }
    friend bool operator==(const SelectableTextModifier&, const SelectableTextModifier&) = default;
};

} // namespace

platform::ui::AnyView selectableText(platform::ui::AnyView content) {
    return content.modifier(SelectableTextModifier());
}

} // namespace vellum
