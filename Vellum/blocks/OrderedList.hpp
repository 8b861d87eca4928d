#pragma once

// An ordered list: one item per list item of the markdown, each a marker and the item's own
// blocks (nested lists included) placed side by side by the environment's list item style, the
// items stacked with the list item spacing. The markers of one list share the width of the widest
// one and line up at their trailing edge, so "9." and "10." end at the same x.

#include "Vellum/blocks/BlockContent.hpp"
#include "platform/ui/UI.hpp"

#include <optional>

namespace vellum::structured {

class OrderedList {
public:
    OrderedList(std::optional<IntentType> intent, platform::AttributedSubstring content)
        : intent_(std::move(intent))
        , content_(std::move(content)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const OrderedList&, const OrderedList&) = default;

    // The natural widths of a list's markers, merged to the widest.
    struct MarkerWidthKey {
        using Value = std::optional<double>;
        static Value defaultValue() { return std::nullopt; }
        static void reduce(Value& value, Value next);
    };

private:
    std::optional<IntentType> intent_;
    platform::AttributedSubstring content_;
};

// What every list writes for the blocks inside it: the list item spacing resolved with the list's
// font, and the flag that makes the block stacks below use it.
[[nodiscard]] platform::ui::AnyView withListItemSpacing(platform::ui::AnyView stack,
                                                        platform::ui::ViewContext& context);

} // namespace vellum::structured
