#pragma once

// A paragraph of inline text, in the look of the environment's paragraph style.

#include "platform/foundation/AttributedString.hpp"
#include "platform/ui/UI.hpp"

namespace vellum::structured {

class Paragraph {
public:
    explicit Paragraph(platform::AttributedSubstring content)
        : content_(std::move(content)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const Paragraph&, const Paragraph&) = default;

private:
    platform::AttributedSubstring content_;
};

} // namespace vellum::structured
