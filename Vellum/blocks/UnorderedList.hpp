#pragma once

// An unordered list: as an ordered list, with the environment's bullet for each item's level as
// its marker (bullets are not aligned to a common width).

#include "Vellum/blocks/BlockContent.hpp"
#include "platform/ui/UI.hpp"

#include <optional>

namespace vellum::structured {

class UnorderedList {
public:
    UnorderedList(std::optional<IntentType> intent, platform::AttributedSubstring content)
        : intent_(std::move(intent))
        , content_(std::move(content)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const UnorderedList&, const UnorderedList&) = default;

private:
    std::optional<IntentType> intent_;
    platform::AttributedSubstring content_;
};

} // namespace vellum::structured
