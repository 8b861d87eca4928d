#pragma once

// A block quote: its own blocks (paragraphs, lists, nested quotes, ...) stacked as a document's
// are, in the look of the environment's block quote style.

#include "Vellum/blocks/BlockContent.hpp"
#include "platform/ui/UI.hpp"

namespace vellum::structured {

class BlockQuote {
public:
    BlockQuote(std::optional<IntentType> intent, platform::AttributedSubstring content)
        : intent_(std::move(intent))
        , content_(std::move(content)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const BlockQuote&, const BlockQuote&) = default;

private:
    std::optional<IntentType> intent_;
    platform::AttributedSubstring content_;
};

} // namespace vellum::structured
